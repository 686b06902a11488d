// The confined decoding process, Linux only (memory files, seccomp).
//
// The program starts itself again (/proc/self/exe) as its decoding process when it first loads
// a picture, and keeps it while it answers soundly. The new process learns what it is at
// descriptor 3: a memory file, sealed against any change, that begins with a marker. No
// command line or environment can carry that, and a descriptor that whoever started the
// program left open is not such a file by accident, so a process that finds it knows it is a
// decoding process, and one that does not goes on as the program. It checks before main, so
// that nothing of the program starts in it: not the converter, nor the window, nor the sound.
//
// The two share one more memory file, at descriptor 5 in the decoding process. For each
// picture the program puts the picture's file in it, above the pixels of earlier pictures that
// it still uses; the decoding process decodes it into the room above that, and the program
// maps the pixels where they are, as the picture's image: they are never copied. Requests and
// answers, a few numbers each, go through a socket at descriptor 4. Before it reads its first
// request, the decoding process limits its memory and installs a system-call filter that
// leaves it that memory, its socket and its end. A crash, a kill by the filter, a hang or an
// answer that does not hold up ends it; the next picture gets a new one. Keeping it otherwise
// spares each picture a process start, and lets the decoding reuse memory that is in place
// already, which on many machines costs far less than fresh memory.
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
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <utility>

#include "platform/picture_decoding.h"

extern char** environ;

namespace {

constexpr int start_descriptor = 3;
constexpr int channel_descriptor = 4;
constexpr int memory_descriptor = 5;
constexpr int start_seals = F_SEAL_SEAL | F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE;
constexpr char start_marker[16] = "morvane:decode2";
// A photo of 12 million pixels decodes in about a second on a busy machine; a decoding that
// takes five is taken for one that hangs.
constexpr std::chrono::seconds time_limit{5};
// The shared memory without a memory limit: room for the largest picture the images can hold.
constexpr uint64_t unlimited_memory = uint64_t(1) << 36;
// What the shared memory keeps in place between pictures: a photo of 12 million pixels and
// what its decoding needs. Memory beyond it goes back to the system after each picture.
constexpr uint64_t kept_memory = uint64_t(128) << 20;
// The decoding's own memory beyond the shared memory: stb_image takes all of its blocks from
// the shared memory, so this is for the C library's own needs.
constexpr uint64_t own_memory = uint64_t(64) << 20;

struct start_header {
    char marker[16];
    int64_t parent;  // the program's process id: its decoding process never outlives it
    uint64_t memory_size;
};

struct request {
    uint64_t picture_start;  // where the picture's file is in the shared memory; the room above
    uint64_t picture_size;   // it is the decoding's
    uint64_t pixel_limit;
    decoding_probe probe;
    uint32_t unused;
};

// The decoded pixels, color32 values, at `offset` in the shared memory; sides of 0 when the
// picture could not be decoded.
struct answer {
    uint32_t width;
    uint32_t height;
    uint64_t offset;
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

// Read by the program's converter thread when it asks for a decoding; set by the tests only.
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

bool write_all(int to, const void* bytes, size_t count) {
    for (size_t done = 0; done < count;) {
        const ssize_t n = write(to, static_cast<const char*>(bytes) + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

// ---- The decoding process ----

// Limits the address space to what the process has now, the shared memory mapped, plus its
// own memory, and lets a crash write no core file.
void limit_resources() {
    const rlimit no_core{0, 0};
    setrlimit(RLIMIT_CORE, &no_core);
    if (sanitizer_runtime) return;
    unsigned long long pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%llu", &pages) != 1) pages = 0;
        std::fclose(statm);
    }
    const rlim_t bytes = rlim_t(pages) * rlim_t(sysconf(_SC_PAGE_SIZE)) + rlim_t(own_memory);
    const rlimit address_space{bytes, bytes};
    setrlimit(RLIMIT_AS, &address_space);
}

// From here on the process may only manage its memory (never executable), read requests and
// write answers on its socket, and end; any other system call kills it. True when the filter
// is in place.
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
    allow(SCMP_SYS(read), 1, SCMP_A0(SCMP_CMP_EQ, channel_descriptor));
    allow(SCMP_SYS(write), 1, SCMP_A0(SCMP_CMP_EQ, channel_descriptor));
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

void make_color32(uint8_t* pixel) {
    uint32_t rgba = 0;
    std::memcpy(&rgba, pixel, sizeof rgba);
    const color32 colour = (rgba & 0xFF00FF00) | (rgba & 0xFF) << 16 | (rgba >> 16 & 0xFF);
    std::memcpy(pixel, &colour, sizeof colour);
}

// Turns `count` pixels of red, green, blue and alpha bytes into color32 values where they are:
// red and blue change places in each little-endian word. In runs of a fixed length, so that
// compilers do many at a time even where they vectorize only loops of a known length (-O2);
// kept apart and hot, as GCC makes what only a constructor calls small rather than fast.
[[gnu::noinline, gnu::hot]] void make_color32(uint8_t* bytes, size_t count) {
    static_assert(std::endian::native == std::endian::little);
    constexpr size_t run = 16;
    size_t i = 0;
    for (; i + run <= count; i += run) {
        for (size_t j = 0; j < run; ++j) make_color32(bytes + 4 * (i + j));
    }
    for (; i < count; ++i) make_color32(bytes + 4 * i);
}

// Decodes the picture that `asked` names in `memory` into the room above it, as color32 values.
answer decode_request(const request& asked, std::span<uint8_t> memory) {
    make_probe_call(asked.probe);
    const uint64_t picture_end = asked.picture_start + asked.picture_size;
    if (asked.picture_size == 0 || picture_end < asked.picture_start || picture_end >= memory.size()) return {};
    take_decoding_memory_from(memory.subspan(picture_end));
    const rgba_pixels pixels =
        decode_picture(memory.subspan(asked.picture_start, asked.picture_size), asked.pixel_limit);
    if (!pixels.bytes) return {};
    uint8_t* const bytes = pixels.bytes.get();
    make_color32(bytes, size_t(pixels.width) * size_t(pixels.height));
    return {uint32_t(pixels.width), uint32_t(pixels.height), uint64_t(bytes - memory.data())};
}

// The decoding process's whole work; its exit code.
int serve(const start_header& start) {
    // The signal comes when the thread that started this process ends; the program's converter
    // thread starts it, so that is when the program ends. Had it ended already, this process
    // would belong to another parent.
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != start.parent) return 1;
    void* const shared = mmap(nullptr, start.memory_size, PROT_READ | PROT_WRITE, MAP_SHARED, memory_descriptor, 0);
    close(start_descriptor);
    close(memory_descriptor);
    if (shared == MAP_FAILED) return 1;
    limit_resources();
    if (!confine()) return 1;
    const std::span memory(static_cast<uint8_t*>(shared), start.memory_size);
    for (;;) {
        request asked{};
        const ssize_t n = read(channel_descriptor, &asked, sizeof asked);
        if (n == 0) return 0;  // the program is done with it
        if (n != ssize_t(sizeof asked)) return 1;
        const answer found = decode_request(asked, memory);
        if (!write_all(channel_descriptor, &found, sizeof found)) return 1;
    }
}

// Runs before main in every process of a program that links this module; ends the process
// when it is a decoding process.
[[gnu::constructor]] void serve_when_asked() {
    if (fcntl(start_descriptor, F_GET_SEALS) != start_seals) return;
    start_header start{};
    if (pread(start_descriptor, &start, sizeof start, 0) != ssize_t(sizeof start) ||
        std::memcmp(start.marker, start_marker, sizeof start_marker) != 0) {
        return;
    }
    _exit(serve(start));
}

// ---- The program's side ----

// The memory that a decoding process shares with the program, and its pages that hold the
// pixels of pictures the program still uses: the next picture goes above them all.
struct shared_memory {
    int file = -1;  // -1 once its decoding process has ended
    uint64_t size = 0;
    std::map<uint64_t, uint64_t> lent;  // from the first page to the end of the pages lent

    shared_memory(int file_, uint64_t size_) : file(file_), size(size_) {}
    ~shared_memory() {
        if (file >= 0) close(file);
    }
    shared_memory(const shared_memory&) = delete;
    shared_memory& operator=(const shared_memory&) = delete;
    uint64_t free_from() const { return lent.empty() ? 0 : lent.rbegin()->second; }
};

struct decoding_process {
    pid_t id = -1;
    int channel = -1;
    std::shared_ptr<shared_memory> memory;
};

// The decoding process and the memory it shares, used from any thread that loads a picture
// or frees its image; never destroyed, as images may be freed as the program ends.
struct decoding_state {
    std::mutex lock;
    decoding_process kept;
};
decoding_state& decoding() {
    static auto* const state = new decoding_state;
    return *state;
}

// `number` moved above the descriptors that the decoding process gets, so that placing them
// cannot overwrite it, nor leave it marked close-on-exec by placing it on itself.
int above_process_descriptors(int number) {
    if (number < 0 || number > memory_descriptor) return number;
    const int moved = fcntl(number, F_DUPFD_CLOEXEC, memory_descriptor + 1);
    close(number);
    return moved;
}

int new_memory_file(const char* name, unsigned flags) {
    return above_process_descriptors(memfd_create(name, MFD_CLOEXEC | flags));
}

// The sealed file that tells a process started from this program that it is a decoding process.
int make_start_file(uint64_t memory_size) {
    descriptor start(new_memory_file("morvane-decoding", MFD_ALLOW_SEALING));
    start_header header{};
    std::memcpy(header.marker, start_marker, sizeof start_marker);
    header.parent = getpid();
    header.memory_size = memory_size;
    if (start.get() < 0 || !write_all(start.get(), &header, sizeof header) ||
        fcntl(start.get(), F_ADD_SEALS, start_seals) != 0) {
        return -1;
    }
    return start.release();
}

// Starts the program again with `start`, `channel` and `memory` as its descriptors 3 to 5; its
// process id, or -1. posix_spawn runs nothing in the new process but the placing of
// descriptors before it starts the program again, which is what a process copied from one with
// other threads running may do. The decoding process gets no descriptor of the program's but
// these and the standard error.
pid_t spawn_decoding_process(int start, int channel, int memory) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_adddup2(&actions, start, start_descriptor);
    posix_spawn_file_actions_adddup2(&actions, channel, channel_descriptor);
    posix_spawn_file_actions_adddup2(&actions, memory, memory_descriptor);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, memory_descriptor + 1);
    // Other threads' handlers and blocked signals are not the decoding process's.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    char name[] = "morvane-decoding";
    char* const arguments[] = {name, nullptr};
    pid_t process = -1;
    if (posix_spawn(&process, "/proc/self/exe", &actions, &attributes, arguments, environ) != 0) process = -1;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return process;
}

// A new decoding process with `memory_size` bytes of shared memory; no process id when it
// cannot be started.
decoding_process start_decoding_process(uint64_t memory_size) {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) return {};
    descriptor ours(above_process_descriptors(ends[0]));
    const descriptor theirs(above_process_descriptors(ends[1]));
    const descriptor start(make_start_file(memory_size));
    descriptor memory(new_memory_file("morvane-picture", 0));
    if (ours.get() < 0 || theirs.get() < 0 || start.get() < 0 || memory.get() < 0 ||
        ftruncate(memory.get(), off_t(memory_size)) != 0) {
        return {};
    }
    const pid_t id = spawn_decoding_process(start.get(), theirs.get(), memory.get());
    if (id < 0) return {};
    return {id, ours.release(), std::make_shared<shared_memory>(memory.release(), memory_size)};
}

// Gives the system back the shared memory's pages from `from` up that hold no lent pixels.
void give_back_unused(const shared_memory& memory, uint64_t from) {
    const auto give_back = [&](uint64_t start, uint64_t end) {
        if (start < end) fallocate(memory.file, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, off_t(start), off_t(end - start));
    };
    for (const auto& [start, end] : memory.lent) {
        give_back(from, start);
        from = std::max(from, end);
    }
    give_back(from, memory.size);
}

// Ends the process. Its shared memory lives on while pictures' pixels in it are used, and
// holds nothing else meanwhile.
void end_decoding_process(decoding_process& process) {
    if (process.id > 0) {
        kill(process.id, SIGKILL);
        while (waitpid(process.id, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    if (process.channel >= 0) close(process.channel);
    if (process.memory) {
        give_back_unused(*process.memory, 0);
        close(std::exchange(process.memory->file, -1));
    }
    process = {};
}

// False when the process has ended (its thread of the program ended, say) or said something
// out of turn.
bool waits_for_requests(const decoding_process& process) {
    pollfd ready{process.channel, POLLIN, 0};
    return poll(&ready, 1, 0) == 0;
}

// Puts the file's bytes (`size`, fewer when it shrinks meanwhile) in the shared memory at
// `start`, from file to file without passing through this process's memory; how many there are.
uint64_t put_picture(int file, uint64_t size, const shared_memory& memory, uint64_t start) {
    if (size >= memory.size - start || lseek(memory.file, off_t(start), SEEK_SET) < 0) return 0;
    off_t copied = 0;  // from the file's start, wherever its offset is
    while (uint64_t(copied) < size) {
        const ssize_t n = sendfile(memory.file, file, &copied, size_t(size - uint64_t(copied)));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return 0;
        if (n == 0) break;  // the file shrank while it was read
    }
    return uint64_t(copied);
}

// The process's answer to `asked` within the time limit; nothing when it has none.
std::optional<answer> ask(const decoding_process& process, const request& asked) {
    if (send(process.channel, &asked, sizeof asked, MSG_NOSIGNAL) != ssize_t(sizeof asked)) return std::nullopt;
    const auto deadline = std::chrono::steady_clock::now() + time_limit;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return std::nullopt;
        pollfd ready{process.channel, POLLIN, 0};
        const int n = poll(&ready, 1, int(left.count()));
        if (n < 0 && errno != EINTR) return std::nullopt;
        if (n > 0) break;
    }
    answer found{};
    // MSG_TRUNC: the answer's whole length, so that a longer one is not taken for a good one.
    if (recv(process.channel, &found, sizeof found, MSG_DONTWAIT | MSG_TRUNC) != ssize_t(sizeof found)) {
        return std::nullopt;
    }
    return found;
}

bool is_no_picture(const answer& found) { return found.width == 0 && found.height == 0 && found.offset == 0; }

// Trusts nothing: sides of 1 to 65535 within the pixel limit, their pixels aligned, above
// the picture's file and within the memory.
bool holds_up(const answer& found, const request& asked, uint64_t memory_size) {
    const uint64_t pixels = uint64_t(found.width) * found.height;
    return found.width >= 1 && found.width <= 65535 && found.height >= 1 && found.height <= 65535 &&
           (asked.pixel_limit == 0 || pixels <= asked.pixel_limit) && found.offset % alignof(color32) == 0 &&
           found.offset >= asked.picture_start + asked.picture_size && found.offset <= memory_size &&
           4 * pixels <= memory_size - found.offset;
}

// The decoding of the picture in `file` by `process`, which may have found no picture;
// nothing when the process is to be ended.
std::optional<answer> decode_in(const decoding_process& process, int file, uint64_t size, uint64_t pixel_limit) {
    const shared_memory& memory = *process.memory;
    const uint64_t start = memory.free_from();
    const uint64_t picture_size = put_picture(file, size, memory, start);
    if (picture_size == 0) return std::nullopt;
    const request asked{start, picture_size, pixel_limit, probe_for_tests.load(), 0};
    const auto found = ask(process, asked);
    if (!found || (!is_no_picture(*found) && !holds_up(*found, asked, memory.size))) return std::nullopt;
    return found;
}

// The pixels that `found` tells of, mapped where they are and lent until they are given back.
std::optional<decoded_picture> lend_pixels(const std::shared_ptr<shared_memory>& memory, const answer& found) {
    const uint64_t page = uint64_t(sysconf(_SC_PAGE_SIZE));
    const uint64_t first = found.offset / page * page;
    const uint64_t length = found.offset + 4 * uint64_t(found.width) * found.height - first;
    void* const mapped = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, memory->file, off_t(first));
    if (mapped == MAP_FAILED) return std::nullopt;
    memory->lent[first] = (first + length + page - 1) / page * page;
    auto* const pixels = reinterpret_cast<color32*>(static_cast<uint8_t*>(mapped) + (found.offset - first));
    return decoded_picture(int32_t(found.width), int32_t(found.height), pixels, [memory, first, mapped, length] {
        munmap(mapped, length);
        const std::lock_guard hold(decoding().lock);
        memory->lent.erase(first);
        if (memory->file >= 0) give_back_unused(*memory, kept_memory);
    });
}

}  // namespace

decoded_picture::decoded_picture(int32_t width, int32_t height, color32* pixels, std::function<void()> give_back)
    : width_(width), height_(height), pixels_(pixels), give_back_(std::move(give_back)) {}

decoded_picture::~decoded_picture() {
    if (give_back_) give_back_();
}

decoded_picture::decoded_picture(decoded_picture&& other) noexcept
    : width_(other.width_), height_(other.height_), pixels_(other.pixels_), give_back_(other.hand_over()) {}

std::optional<decoded_picture> decode_file_confined(int file, uint64_t size, const decoding_limits& limits) {
    if (size == 0) return std::nullopt;
    decoding_state& state = decoding();
    const std::lock_guard hold(state.lock);
    decoding_process& kept = state.kept;
    const uint64_t memory_size = limits.memory != 0 ? limits.memory : unlimited_memory;
    if (kept.id > 0 && (kept.memory->size != memory_size || !waits_for_requests(kept))) end_decoding_process(kept);
    if (kept.id < 0) kept = start_decoding_process(memory_size);
    const auto found = kept.id > 0 ? decode_in(kept, file, size, limits.pixels) : std::nullopt;
    auto picture = found && !is_no_picture(*found) ? lend_pixels(kept.memory, *found) : std::nullopt;
    if (!found || (!picture && !is_no_picture(*found))) {
        end_decoding_process(kept);
        return std::nullopt;
    }
    give_back_unused(*kept.memory, kept_memory);
    return picture;
}

void set_decoding_probe(decoding_probe probe) { probe_for_tests = probe; }
