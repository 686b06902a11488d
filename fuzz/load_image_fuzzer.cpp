// Feeds arbitrary bytes to the picture loader as a file, as a dropped or named picture would
// reach it: it must give an image or -1, never crash, leak or hang.
#include <unistd.h>

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
    const image_handle picture = load_image_file(string_descriptor(name));
    unlink(name.c_str());
    if (picture == -1) return 0;
    if (picture > -2) std::abort();  // a new image has a handle below -1, and no error is raised
    put_image(1, 1, picture);
    // Images live until the program ends; start afresh so that the runs do not add up.
    reset_screens();
    select_screen(new_image(800, 600, 32));
    return 0;
}
