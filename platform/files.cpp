#include "platform/files.h"
#include "platform/lasting_state.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/errors.h"

namespace {

using namespace error_number;

struct open_file {
    int descriptor = -1;
    bool readable = false;
    bool writable = false;
    std::string name;  // as the system took it, for a write that replaces the file whole
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

// Opens `name` for reading and writing, else reading only, else writing only, never
// truncating it and creating it empty when missing if `creation` allows; the error number when
// all three fail.
int32_t open_binary(const std::string& name, file_creation creation, open_file& file) {
    struct attempt {
        int access;
        bool readable;
        bool writable;
    };
    static constexpr attempt attempts[] = {
        {O_RDWR, true, true}, {O_RDONLY, true, false}, {O_WRONLY, false, true}};
    const bool create = creation == file_creation::create_when_missing;
    int code = 0;
    for (const attempt& next : attempts) {
        // O_NONBLOCK: a FIFO opened for one direction only must not wait for the other end.
        // Regular files do not notice it.
        const int flags = next.access | (create ? O_CREAT : 0) | O_CLOEXEC | O_NONBLOCK;
        const int descriptor = open(name.c_str(), flags, 0666);
        if (descriptor >= 0) {
            file = {descriptor, next.readable, next.writable, name};
            return 0;
        }
        code = errno;
        // A folder is refused as a whole: no weaker access would open it either.
        if (code == EISDIR) break;
    }
    // Without creation, a name that leads nowhere (a dangling link included) is a missing file.
    return code == ENOENT && !create ? file_not_found : open_error(code);
}

// A file that must exist is there to be read whole: one that holds nothing, as an earlier
// open with creation may have left it, counts as missing (53), and anything but a regular file
// is refused as a folder is (70), so that a device or a FIFO never stands in for it. The
// error number, else 0.
int32_t existing_file_error(int descriptor) {
    struct stat status {};
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) return permission_denied;
    return status.st_size == 0 ? file_not_found : 0;
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

// Writes `length` bytes in place at the current position and ends the file after them.
int32_t write_in_place(int descriptor, const char* from, size_t length) {
    const int32_t error = write_fully(descriptor, from, length);
    return error != 0 ? error : end_file_here(descriptor);
}

// The folder part of `name`, with its "/", or "" for a name in the current directory.
std::string folder_of(const std::string& name) {
    const size_t slash = name.rfind('/');
    return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

// A fresh hidden name in `folder` for a new file, unique to this process and call.
std::string fresh_name(const std::string& folder) {
    static std::atomic<unsigned> calls{0};
    return folder + ".morvane-" + std::to_string(getpid()) + "-" + std::to_string(calls++);
}

// The new file that takes the place of an old one: unnamed while it is written where the file
// system allows it, so that a process killed part-way leaves nothing behind; else under a
// fresh hidden name, removed again on any failure.
struct new_file {
    int descriptor = -1;
    std::string name;  // empty while it has none
};

// A new, empty file in `folder` with the owner and permission bits of `old`; errno when none
// can be made.
int make_new_file(const std::string& folder, const struct stat& old, new_file& fresh) {
    fresh.descriptor = open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fresh.descriptor < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        fresh.name = fresh_name(folder);
        fresh.descriptor = open(fresh.name.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
        if (fresh.descriptor < 0) fresh.name.clear();
    }
    if (fresh.descriptor < 0) return errno;
    // Root writing another user's file keeps that user the owner; anyone else stays the owner.
    [[maybe_unused]] const int owned = fchown(fresh.descriptor, old.st_uid, old.st_gid);
    // Not cut by the umask. Without the owner's write bit the open descriptor still writes.
    return fchmod(fresh.descriptor, old.st_mode & 07777) == 0 ? 0 : errno;
}

// Gives `fresh` the name `name` in one step, replacing whatever entry was there (a symbolic
// link itself, never its target); errno when that fails.
int rename_over(new_file& fresh, const std::string& name) {
    if (fresh.name.empty()) {
        const std::string unnamed = "/proc/self/fd/" + std::to_string(fresh.descriptor);
        fresh.name = fresh_name(folder_of(name));
        if (linkat(AT_FDCWD, unnamed.c_str(), AT_FDCWD, fresh.name.c_str(), AT_SYMLINK_FOLLOW) != 0) {
            fresh.name.clear();
            return errno;
        }
    }
    if (rename(fresh.name.c_str(), name.c_str()) != 0) return errno;
    fresh.name.clear();
    return 0;
}

// Removes a new file that did not take the old one's place.
void discard(new_file& fresh) {
    if (!fresh.name.empty()) unlink(fresh.name.c_str());
    if (fresh.descriptor >= 0) close(fresh.descriptor);
}

// True when `name` is a symbolic link itself.
bool is_link(const std::string& name) {
    struct stat status {};
    return lstat(name.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

// True for the system's answers of a folder that takes no new file or rename from us.
bool folder_refuses(int code) { return code == EACCES || code == EPERM || code == EROFS; }

// The content of `file` := the `length` bytes at `from`, by a new file in its folder with the
// old one's owner and permission bits, flushed to the disk and renamed over the name; `file`
// then reads and writes the new file. Whatever fails leaves the old file as it was and gives
// its error. Only when the folder refuses the new file or the rename, nothing: the caller then
// writes in place, as it can into a file open for writing; but a symbolic link is never written
// through, and for one the refusal is the error.
std::optional<int32_t> replace_whole(open_file& file, const char* from, size_t length) {
    struct stat old {};
    if (fstat(file.descriptor, &old) != 0) return path_file_access_error;
    new_file fresh;
    int code = make_new_file(folder_of(file.name), old, fresh);
    if (code == 0) {
        if (const int32_t error = write_fully(fresh.descriptor, from, length)) {
            discard(fresh);
            return error;
        }
        // The data reach the disk before the name points at them, so that even a crash leaves
        // the old content or the new one whole.
        code = fsync(fresh.descriptor) == 0 ? rename_over(fresh, file.name) : errno;
        if (code == 0) {
            close(file.descriptor);
            file.descriptor = fresh.descriptor;
            return 0;
        }
    }
    discard(fresh);
    if (!folder_refuses(code) || is_link(file.name)) return transfer_error(code);
    return std::nullopt;
}

// True when the next write of `descriptor` starts at the first byte of a regular file, so that
// it gives the file a whole new content.
bool writes_whole_file(int descriptor) {
    struct stat status {};
    return fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) && lseek(descriptor, 0, SEEK_CUR) == 0;
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
                              const string_descriptor& name, file_creation creation) {
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
    int32_t error = open_binary(system_name(name), creation, file);
    if (error == 0 && creation == file_creation::must_exist) {
        error = existing_file_error(file.descriptor);
        if (error != 0) close(file.descriptor);
    }
    if (error != 0) {
        raise_error(error);
        return;
    }
    table.files.emplace(file_number, std::move(file));
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
    open_file* file = find_open(table, file_number);
    if (file == nullptr) return;
    if (!file->writable) {
        raise_error(path_file_access_error);
        return;
    }
    // A block made by hand may carry a negative length; it writes nothing, as make_byte_block's would.
    const size_t length = block.length > 0 ? static_cast<size_t>(block.length) : 0;
    std::optional<int32_t> error;
    if (writes_whole_file(file->descriptor)) error = replace_whole(*file, block.data, length);
    if (!error) error = write_in_place(file->descriptor, block.data, length);
    if (*error != 0) raise_error(*error);
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

folder_lock::folder_lock(const std::string& folder, std::chrono::milliseconds patience) {
    descriptor_ = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor_ < 0) return;
    const auto give_up = std::chrono::steady_clock::now() + patience;
    while (flock(descriptor_, LOCK_EX | LOCK_NB) != 0) {
        // Another holder past our patience, or a folder that takes no lock: go on without it.
        if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= give_up) {
            close(descriptor_);
            descriptor_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

folder_lock::~folder_lock() {
    // Closing the only descriptor of the lock releases it.
    if (descriptor_ >= 0) close(descriptor_);
}
