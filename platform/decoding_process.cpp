// The confined decoding process, Linux only (memory files, process descriptors, seccomp).
//
// The program starts itself again (/proc/self/exe) for each picture. The request reaches the
// new process at descriptor 3: a memory file, sealed against any change, that begins with a
// marker and holds the picture's bytes. No command line or environment can carry that, and a
// descriptor that whoever started the program left open is not such a file by accident, so a
// process that finds it knows it is a decoding process, and one that does not goes on as the
// program. It checks before main, so that nothing of the program starts in it: not the
// converter, nor the window, nor the sound. It then limits its memory, installs a system-call
// filter that leaves it memory and its answer, decodes, and writes the pixels to its answer,
// the memory file at descriptor 4, which the program reads once the process has ended.
#include "platform/decoding_process.h"

#include <fcntl.h>
#include <poll.h>
#include <seccomp.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <span>
#include <utility>
#include <vector>

#include "platform/picture_decoding.h"

extern char** environ;

namespace {

constexpr int request_descriptor = 3;
constexpr int answer_descriptor = 4;
constexpr int request_seals = F_SEAL_SEAL | F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE;
constexpr char request_marker[16] = "morvane:decode1";
// A photo of 12 million pixels decodes in about a second on a busy machine; a decoding that
// takes five is taken for one that hangs.
constexpr std::chrono::seconds time_limit{5};
// The exit code of a decoding process that has no answer.
constexpr int no_answer = 1;

struct request_header {
    char marker[16];
    int64_t parent;  // the program's process id: its decoding process never outlives it
    uint64_t pixel_limit;
    uint64_t memory_limit;
    decoding_probe probe;
    uint32_t unused;
};

struct answer_header {
    uint32_t width;
    uint32_t height;
    uint64_t unused;
};

// The sanitizers' run-times reserve terabytes of address space for their shadow memory, and
// ThreadSanitizer's makes system calls of its own on every synchronisation. GCC tells them by
// macros, clang by __has_feature.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool sanitizer_runtime = true;
#elif defined(__has_feature)
constexpr bool sanitizer_runtime = __has_feature(address_sanitizer) || __has_feature(thread_sanitizer);
#else
constexpr bool sanitizer_runtime = false;
#endif
#if defined(__SANITIZE_THREAD__)
constexpr bool thread_sanitizer_runtime = true;
#elif defined(__has_feature)
constexpr bool thread_sanitizer_runtime = __has_feature(thread_sanitizer);
#else
constexpr bool thread_sanitizer_runtime = false;
#endif

// Read by the program's converter thread when it starts a decoding; set by the tests only.
std::atomic<decoding_probe> probe_for_tests{decoding_probe::none};

class descriptor {
  public:
    explicit descriptor(int number) : number_(number) {}
    ~descriptor() {
        if (number_ >= 0) close(number_);
    }
    descriptor(descriptor&& other) noexcept : number_(std::exchange(other.number_, -1)) {}
    descriptor(const descriptor&) = delete;
    descriptor& operator=(const descriptor&) = delete;
    descriptor& operator=(descriptor&&) = delete;
    int get() const { return number_; }
    int release() { return std::exchange(number_, -1); }

  private:
    int number_;
};

// ---- The decoding process ----

bool write_all(int to, const void* bytes, size_t count) {
    for (size_t done = 0; done < count;) {
        const ssize_t n = write(to, static_cast<const char*>(bytes) + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}


// Limits the address space to what the process has now plus `limit` bytes (0: no limit), and
// lets a crash write no core file.
void limit_resources(uint64_t limit) {
    const rlimit no_core{0, 0};
    setrlimit(RLIMIT_CORE, &no_core);
    if (limit == 0 || sanitizer_runtime) return;
    unsigned long long pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%llu", &pages) != 1) pages = 0;
        std::fclose(statm);
    }
    const rlim_t bytes = rlim_t(pages) * rlim_t(sysconf(_SC_PAGE_SIZE)) + rlim_t(limit);
    const rlimit address_space{bytes, bytes};
    setrlimit(RLIMIT_AS, &address_space);
}

// From here on the process may only manage its memory (never executable), write its answer
// and end; any other system call kills it. True when the filter is in place.
bool confine() {
    if (thread_sanitizer_runtime) return true;
    const scmp_filter_ctx filter = seccomp_init(SCMP_ACT_KILL_PROCESS);
    if (filter == nullptr) return false;
    bool added = true;
    const auto allow = [&](int call, unsigned count, scmp_arg_cmp condition) {
        added = added && seccomp_rule_add_array(filter, SCMP_ACT_ALLOW, call, count, &condition) == 0;
    };
    const scmp_arg_cmp none{};
    for (const int call : {SCMP_SYS(brk), SCMP_SYS(munmap), SCMP_SYS(mremap), SCMP_SYS(madvise),
                           SCMP_SYS(exit), SCMP_SYS(exit_group), SCMP_SYS(rt_sigreturn)}) {
        allow(call, 0, none);
    }
    allow(SCMP_SYS(mmap), 1, SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0));
    allow(SCMP_SYS(mprotect), 1, SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0));
    allow(SCMP_SYS(write), 1, SCMP_A0(SCMP_CMP_EQ, answer_descriptor));
    if (sanitizer_runtime) allow(SCMP_SYS(sigaltstack), 0, none);  // AddressSanitizer's end of the process
    const bool loaded = added && seccomp_load(filter) == 0;
    seccomp_release(filter);
    return loaded;
}

void make_probe_call(decoding_probe probe) {
    if (probe == decoding_probe::open_file) close(open("/etc/passwd", O_RDONLY));
    if (probe == decoding_probe::run_program) {
        char* const arguments[] = {nullptr};
        execve("/bin/true", arguments, arguments);
    }
}

// The answer: its header and the pixels as color32 values, written to the answer file, which
// holds nothing else. Written rather than mapped: the kernel fills the file's pages far faster
// than this process could by touching them one by one.
bool write_answer(const rgba_pixels& pixels) {
    const size_t count = size_t(pixels.width) * size_t(pixels.height);
    uint8_t* const bytes = pixels.bytes.get();
    for (size_t i = 0; i < count; ++i) {
        const color32 colour = color_of_rgba(bytes + 4 * i);
        std::memcpy(bytes + 4 * i, &colour, sizeof colour);
    }
    const answer_header header{uint32_t(pixels.width), uint32_t(pixels.height), 0};
    return write_all(answer_descriptor, &header, sizeof header) && write_all(answer_descriptor, bytes, 4 * count);
}

// The decoding process's whole work; its exit code.
int serve(const request_header& request, std::span<const uint8_t> picture) {
    // The signal comes when the thread that started this process ends; the program's converter
    // thread waits for this process, so that is when the program ends. Had it ended already,
    // this process would belong to another parent.
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != request.parent) return no_answer;
    limit_resources(request.memory_limit);
    if (!confine()) return no_answer;
    make_probe_call(request.probe);
    const rgba_pixels pixels = decode_picture(picture, request.pixel_limit);
    return pixels.bytes && write_answer(pixels) ? 0 : no_answer;
}

// Runs before main in every process of a program that links this module; ends the process
// when it is a decoding process.
[[gnu::constructor]] void serve_when_asked() {
    if (fcntl(request_descriptor, F_GET_SEALS) != request_seals) return;
    struct stat info {};
    if (fstat(request_descriptor, &info) != 0 || size_t(info.st_size) < sizeof(request_header)) return;
    const size_t size = size_t(info.st_size);
    void* mapping = mmap(nullptr, size, PROT_READ, MAP_SHARED, request_descriptor, 0);
    if (mapping == MAP_FAILED) return;
    request_header request{};
    std::memcpy(&request, mapping, sizeof request);
    if (std::memcmp(request.marker, request_marker, sizeof request_marker) != 0) {
        munmap(mapping, size);
        return;
    }
    const auto* bytes = static_cast<const uint8_t*>(mapping);
    _exit(serve(request, {bytes + sizeof request, size - sizeof request}));
}

// ---- The program's side ----

// `number` moved above the descriptors that the decoding process gets, so that placing them
// cannot overwrite it, nor leave it marked close-on-exec by placing it on itself.
int above_process_descriptors(int number) {
    if (number < 0 || number > answer_descriptor) return number;
    const int moved = fcntl(number, F_DUPFD_CLOEXEC, answer_descriptor + 1);
    close(number);
    return moved;
}

int new_memory_file(const char* name, unsigned flags) {
    return above_process_descriptors(memfd_create(name, MFD_CLOEXEC | flags));
}

// The request for the picture in `file`, sealed; -1 when it cannot be made or the file is
// empty. The file's bytes go from file to file without passing through this process's memory.
int make_request(int file, uint64_t size, const decoding_limits& limits) {
    descriptor request(new_memory_file("morvane-picture", MFD_ALLOW_SEALING));
    request_header header{};
    std::memcpy(header.marker, request_marker, sizeof request_marker);
    header.parent = getpid();
    header.pixel_limit = limits.pixels;
    header.memory_limit = limits.memory;
    header.probe = probe_for_tests.load();
    if (request.get() < 0 || !write_all(request.get(), &header, sizeof header)) return -1;
    off_t copied = 0;  // from the file's start, wherever its offset is
    while (uint64_t(copied) < size) {
        const ssize_t n = sendfile(request.get(), file, &copied, size_t(size - uint64_t(copied)));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;  // the file shrank while it was read
    }
    if (copied == 0 || fcntl(request.get(), F_ADD_SEALS, request_seals) != 0) return -1;
    return request.release();
}

size_t environment_size() {
    size_t count = 0;
    while (environ[count] != nullptr) ++count;
    return count;
}

// Starts a decoding process with `request` and `answer`; its process id, or -1. posix_spawn
// runs nothing in the new process but the placing of descriptors before it starts the program
// again, which is what a process copied from one with other threads running may do. The
// decoding process gets no descriptor of the program's but these and the standard error.
pid_t start_decoding_process(int request, int answer) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_adddup2(&actions, request, request_descriptor);
    posix_spawn_file_actions_adddup2(&actions, answer, answer_descriptor);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, answer_descriptor + 1);
    // Other threads' handlers and blocked signals are not the decoding process's.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    char name[] = "morvane-decoding";
    char* const arguments[] = {name, nullptr};
    // The decoding's few large buffers live briefly: huge pages spare it most of its page faults.
    char huge_pages[] = "GLIBC_TUNABLES=glibc.malloc.hugetlb=1";
    std::vector<char*> environment(environ, environ + environment_size());
    environment.push_back(huge_pages);
    environment.push_back(nullptr);
    pid_t process = -1;
    if (posix_spawn(&process, "/proc/self/exe", &actions, &attributes, arguments, environment.data()) != 0) {
        process = -1;
    }
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return process;
}

// True when `process` ended by itself with exit code 0 within the time limit; otherwise it is
// killed. Either way it is gone when this returns.
bool ended_well(pid_t process) {
    bool ended = false;
    // Debian 12's <sys/pidfd.h> declares pidfd_open without C linkage, so it is called directly.
    const descriptor handle(int(syscall(SYS_pidfd_open, process, 0)));
    const auto deadline = std::chrono::steady_clock::now() + time_limit;
    while (handle.get() >= 0 && !ended) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd ready{handle.get(), POLLIN, 0};
        const int n = poll(&ready, 1, int(left.count()));
        if (n < 0 && errno != EINTR) break;
        ended = n > 0;
    }
    if (!ended) kill(process, SIGKILL);
    int status = 0;
    while (waitpid(process, &status, 0) < 0 && errno == EINTR) {
    }
    return ended && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The picture in `answer`, trusted in nothing: sides of 1 to 65535 within the pixel limit, and
// exactly their bytes. Takes `answer` over.
std::optional<decoded_picture> read_answer(descriptor answer, uint64_t pixel_limit) {
    struct stat info {};
    answer_header header{};
    if (fstat(answer.get(), &info) != 0 ||
        pread(answer.get(), &header, sizeof header, 0) != ssize_t(sizeof header)) {
        return std::nullopt;
    }
    const uint64_t pixels = uint64_t(header.width) * header.height;
    if (header.width < 1 || header.width > 65535 || header.height < 1 || header.height > 65535 ||
        (pixel_limit != 0 && pixels > pixel_limit) || uint64_t(info.st_size) != sizeof header + 4 * pixels) {
        return std::nullopt;
    }
    return decoded_picture(answer.release(), int32_t(header.width), int32_t(header.height));
}

}  // namespace

decoded_picture::decoded_picture(int answer, int32_t width, int32_t height)
    : answer_(answer), width_(width), height_(height) {}

decoded_picture::~decoded_picture() {
    if (answer_ >= 0) close(answer_);
}

decoded_picture::decoded_picture(decoded_picture&& other) noexcept
    : answer_(std::exchange(other.answer_, -1)), width_(other.width_), height_(other.height_) {}

bool decoded_picture::read_pixels(color32* pixels) const {
    const size_t size = size_t(width_) * size_t(height_) * sizeof(color32);
    auto* const bytes = reinterpret_cast<char*>(pixels);
    for (size_t done = 0; done < size;) {
        const ssize_t n = pread(answer_, bytes + done, size - done, off_t(sizeof(answer_header) + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

std::optional<decoded_picture> decode_file_confined(int file, uint64_t size, const decoding_limits& limits) {
    const descriptor request(make_request(file, size, limits));
    descriptor answer(new_memory_file("morvane-pixels", 0));
    if (request.get() < 0 || answer.get() < 0) return std::nullopt;
    const pid_t process = start_decoding_process(request.get(), answer.get());
    if (process < 0 || !ended_well(process)) return std::nullopt;
    return read_answer(std::move(answer), limits.pixels);
}

void set_decoding_probe(decoding_probe probe) { probe_for_tests = probe; }
