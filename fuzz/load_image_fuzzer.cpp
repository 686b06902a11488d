// Feeds arbitrary bytes to the picture loader as a file, as a dropped or named picture would
// reach it, through the confined decoding process: it must give an image or -1, and never
// crash, hang or leak here, whatever happens to the decoding process; no descriptor and no
// process may be left behind.
#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
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

int open_descriptors() {
    DIR* folder = opendir("/proc/self/fd");
    if (folder == nullptr) std::abort();
    int count = 0;
    while (readdir(folder) != nullptr) ++count;
    closedir(folder);
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = [] {
        // Pictures that claim more than 16 M pixels would only meet libFuzzer's memory limit;
        // a failed allocation gives -1 like any other failure.
        set_picture_pixel_limit(uint64_t(1) << 24);
        select_screen(new_image(800, 600, 32));
        return true;
    }();
    (void)ready;
    const std::string name = write_input(data, size);
    const int descriptors = open_descriptors();
    const image_handle picture = load_image_file(string_descriptor(name));
    unlink(name.c_str());
    if (open_descriptors() != descriptors) std::abort();
    if (waitpid(-1, nullptr, WNOHANG) != -1 || errno != ECHILD) std::abort();  // a decoding process left
    if (picture == -1) return 0;
    if (picture > -2) std::abort();  // a new image has a handle below -1, and no error is raised
    put_image(1, 1, picture);
    // Images live until the program ends; start afresh so that the runs do not add up.
    reset_screens();
    select_screen(new_image(800, 600, 32));
    return 0;
}
