#include "platform/files.h"
#include "platform/lasting_state.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/errors.h"

namespace {

using namespace error_number;

struct open_file {
    int descriptor = -1;
    bool readable = false;
    bool writable = false;
};

// The numbered open files. The converter thread opens, reads, writes and closes them; the
// shutdown's close_all_files runs on the housekeeping thread once the converter has stopped.
// The lock makes that hand-over safe; nobody holds it while waiting for anything but a file.
struct file_table {
    std::mutex lock;
    // Guarded by lock; written by the converter thread, and by close_all_files at shutdown.
    std::map<int32_t, open_file> files;
};

// The process's one table of open files.
file_table& open_files() { return lasting_state<file_table>(); }

// The name as the system takes it: its bytes up to a first zero byte.
std::string system_name(const string_descriptor& name) {
    const size_t zero = name.bytes.find('\0');
    return zero == std::string::npos ? name.bytes : name.bytes.substr(0, zero);
}

// The mode bits of `name` (following links), or 0 when it cannot be looked at.
mode_t entry_type(const string_descriptor& name) {
    struct stat status {};
    if (stat(system_name(name).c_str(), &status) != 0) return 0;
    return status.st_mode & S_IFMT;
}

// The run-time error for an open that the system refused with `code`.
int32_t open_error(int code) {
    switch (code) {
        case ENOENT:
        case ENOTDIR:
            return path_not_found;
        case EACCES:
        case EPERM:
        case EROFS:
        case ETXTBSY:
        case EISDIR:
            return permission_denied;
        case ENXIO:
        case ENODEV:
        case ENOMEDIUM:
            return device_unavailable;
        default:
            return file_not_found;
    }
}

// 70 for a read or write that the system refused for lack of rights, else 75.
int32_t transfer_error(int code) {
    return code == EACCES || code == EPERM ? permission_denied : path_file_access_error;
}

// Opens `name` for reading and writing, else reading only, else writing only, creating it
// empty when missing and never truncating it; the error number when all three fail.
int32_t open_binary(const std::string& name, open_file& file) {
    struct attempt {
        int access;
        bool readable;
        bool writable;
    };
    static constexpr attempt attempts[] = {
        {O_RDWR, true, true}, {O_RDONLY, true, false}, {O_WRONLY, false, true}};
    int code = 0;
    for (const attempt& next : attempts) {
        // O_NONBLOCK: a FIFO opened for one direction only must not wait for the other end.
        // Regular files do not notice it.
        const int flags = next.access | O_CREAT | O_CLOEXEC | O_NONBLOCK;
        const int descriptor = open(name.c_str(), flags, 0666);
        if (descriptor >= 0) {
            file = {descriptor, next.readable, next.writable};
            return 0;
        }
        code = errno;
        // A folder is refused as a whole: no weaker access would open it either.
        if (code == EISDIR) break;
    }
    return open_error(code);
}

// The open file `file_number` of `table`, or nullptr after raising 52.
open_file* find_open(file_table& table, int32_t file_number) {
    const auto found = table.files.find(file_number);
    if (found != table.files.end()) return &found->second;
    raise_error(bad_file_name_or_number);
    return nullptr;
}

// Reads `length` bytes to `into`, zeros past the end; errno of a failed read, else 0.
int read_fully(int descriptor, char* into, size_t length) {
    size_t done = 0;
    while (done < length) {
        const ssize_t got = read(descriptor, into + done, length - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return errno;
        if (got == 0) break;
        done += static_cast<size_t>(got);
    }
    std::fill(into + done, into + length, '\0');
    return 0;
}

// Writes all `length` bytes; the run-time error of a refused or short write, else 0.
int32_t write_fully(int descriptor, const char* from, size_t length) {
    size_t done = 0;
    while (done < length) {
        const ssize_t put = write(descriptor, from + done, length - done);
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) return transfer_error(errno);
        if (put == 0) return path_file_access_error;
        done += static_cast<size_t>(put);
    }
    return 0;
}

// Ends a regular file at the current position, so that nothing of an older, longer content
// stays; other kinds of file have no end to cut. The run-time error when that fails, else 0.
int32_t end_file_here(int descriptor) {
    struct stat status {};
    if (fstat(descriptor, &status) != 0) return path_file_access_error;
    if (!S_ISREG(status.st_mode)) return 0;
    const off_t position = lseek(descriptor, 0, SEEK_CUR);
    if (position < 0 || ftruncate(descriptor, position) != 0) return transfer_error(errno);
    return 0;
}

}  // namespace

int32_t file_exists(const string_descriptor& name) {
    if (error_is_pending()) return 0;
    const mode_t type = entry_type(name);
    return type != 0 && type != S_IFDIR ? -1 : 0;
}

int32_t directory_exists(const string_descriptor& name) {
    if (error_is_pending()) return 0;
    return entry_type(name) == S_IFDIR ? -1 : 0;
}

void open_file_by_mode_letter(const string_descriptor& mode, int32_t file_number,
                              const string_descriptor& name) {
    if (error_is_pending()) return;
    // Only the binary mode exists here; the letters of the other modes are refused like any
    // unknown letter rather than opened in a way their users would not expect.
    if (mode.bytes.empty() || (mode.bytes[0] & ~0x20) != 'B') {
        raise_error(bad_file_mode);
        return;
    }
    if (file_number < 1) {
        raise_error(bad_file_name_or_number);
        return;
    }
    file_table& table = open_files();
    std::lock_guard hold(table.lock);
    if (table.files.contains(file_number)) {
        raise_error(file_already_open);
        return;
    }
    open_file file;
    if (const int32_t error = open_binary(system_name(name), file)) {
        raise_error(error);
        return;
    }
    table.files.emplace(file_number, file);
}

int64_t file_length(int32_t file_number) {
    file_table& table = open_files();
    std::lock_guard hold(table.lock);
    const open_file* file = find_open(table, file_number);
    if (file == nullptr) return 0;
    struct stat status {};
    if (fstat(file->descriptor, &status) != 0) {
        raise_error(bad_file_mode);
        return 0;
    }
    return static_cast<int64_t>(status.st_size);
}

void get_string_from_file(int32_t file_number, string_descriptor& variable) {
    if (error_is_pending()) return;
    file_table& table = open_files();
    std::lock_guard hold(table.lock);
    const open_file* file = find_open(table, file_number);
    if (file == nullptr) return;
    if (!file->readable) {
        raise_error(path_file_access_error);
        return;
    }
    if (const int code = read_fully(file->descriptor, variable.bytes.data(), variable.bytes.size())) {
        raise_error(transfer_error(code));
    }
}

byte_block& make_byte_block(const char* data, int32_t length, byte_block& block) {
    block.data = data;
    block.length = length < 0 ? 0 : length;
    return block;
}

void put_bytes_to_file(int32_t file_number, const byte_block& block) {
    if (error_is_pending()) return;
    file_table& table = open_files();
    std::lock_guard hold(table.lock);
    const open_file* file = find_open(table, file_number);
    if (file == nullptr) return;
    if (!file->writable) {
        raise_error(path_file_access_error);
        return;
    }
    // A block made by hand may carry a negative length; it writes nothing, as make_byte_block's would.
    const size_t length = block.length > 0 ? static_cast<size_t>(block.length) : 0;
    int32_t error = write_fully(file->descriptor, block.data, length);
    if (error == 0) error = end_file_here(file->descriptor);
    if (error != 0) raise_error(error);
}

void close_file(int32_t file_number) {
    if (error_is_pending()) return;
    file_table& table = open_files();
    std::lock_guard hold(table.lock);
    const auto found = table.files.find(file_number);
    if (found == table.files.end()) return;
    close(found->second.descriptor);
    table.files.erase(found);
}

void close_all_files() {
    if (error_is_pending()) return;
    file_table& table = open_files();
    std::lock_guard hold(table.lock);
    for (const auto& [number, file] : table.files) close(file.descriptor);
    table.files.clear();
}

void change_to_executable_folder() {
    std::vector<char> path(65536);
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<size_t>(length) >= path.size()) return;
    const std::string executable(path.data(), static_cast<size_t>(length));
    const size_t cut = executable.rfind('/');
    if (cut == std::string::npos) return;
    // An executable in the root folder keeps the "/" that names it.
    const std::string folder = cut == 0 ? "/" : executable.substr(0, cut);
    // A failure leaves the current directory as it was.
    [[maybe_unused]] const int changed = chdir(folder.c_str());
}
