// Feeds arbitrary bytes to the picture loader as a file, as a dropped or named picture would
// reach it, through the confined decoding process: it must give an image or -1, and never
// crash, hang or leak here, whatever happens to the decoding process; no descriptor and no
// process may be left behind but the decoding process that the loader keeps.
#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/picture.h"

namespace {

// A new temporary file holding `data`; its name.
std::string write_input(const uint8_t* data, size_t size) {
    char name[] = "/tmp/morvane-fuzz-XXXXXX";
    const int descriptor = mkstemp(name);
    if (descriptor < 0) std::abort();
    for (size_t done = 0; done < size;) {
        const ssize_t n = write(descriptor, data + done, size - done);
        if (n <= 0) std::abort();
        done += size_t(n);
    }
    close(descriptor);
    return name;
}

// The descriptors of the decoding process that the loader keeps: its socket and its memory.
constexpr int kept_process_descriptors = 2;

int open_descriptors() {
    DIR* folder = opendir("/proc/self/fd");
    if (folder == nullptr) std::abort();
    int count = 0;
    while (readdir(folder) != nullptr) ++count;
    closedir(folder);
    return count;
}

// This process's children, ended or not.
int children() {
    int count = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream listed(task.path() / "children");
        for (pid_t child = 0; listed >> child;) ++count;
    }
    return count;
}

// Aborts when a load left more than the kept decoding process behind: a descriptor, another
// process, or one that ended and was not reaped.
void check_nothing_left(int descriptors) {
    const int extra = open_descriptors() - descriptors;
    if (extra != 0 && extra != kept_process_descriptors) std::abort();
    if (children() > 1 || waitpid(-1, nullptr, WNOHANG) > 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const int descriptors = [] {
        // Pictures that claim more than 16 M pixels would only meet libFuzzer's memory limit;
        // a failed allocation gives -1 like any other failure.
        set_picture_pixel_limit(uint64_t(1) << 24);
        select_screen(new_image(800, 600, 32));
        return open_descriptors();
    }();
    const std::string name = write_input(data, size);
    const image_handle picture = load_image_file(string_descriptor(name));
    unlink(name.c_str());
    if (picture != -1) {
        if (picture > -2) std::abort();  // a new image has a handle below -1, and no error is raised
        put_image(1, 1, picture);
        // Images live until the program ends; start afresh so that the runs do not add up.
        reset_screens();
        select_screen(new_image(800, 600, 32));
    }
    check_nothing_left(descriptors);
    return 0;
}
