// Feeds arbitrary bytes to the picture loader as a file, as a dropped or named picture would
// reach it: it must give an image or -1, never crash, leak or hang.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/picture.h"

namespace {

const std::string& input_path() {
    static const std::string path = [] {
        char pattern[] = "/tmp/morvane-fuzz-XXXXXX";
        const int descriptor = mkstemp(pattern);
        if (descriptor < 0) std::abort();
        close(descriptor);
        std::atexit([] { unlink(input_path().c_str()); });
        return std::string(pattern);
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* file = std::fopen(input_path().c_str(), "wb");
    if (file == nullptr) std::abort();
    if (size != 0 && std::fwrite(data, 1, size, file) != size) std::abort();
    std::fclose(file);

    static const bool ready = [] {
        // Pictures that claim more than 16 M pixels would only meet libFuzzer's memory limit;
        // a failed allocation gives -1 like any other failure.
        set_picture_pixel_limit(uint64_t(1) << 24);
        select_screen(new_image(800, 600, 32));
        return true;
    }();
    (void)ready;
    const image_handle picture = load_image_file(string_descriptor(input_path()));
    if (picture == -1) return 0;
    if (picture > -2) std::abort();  // a new image has a handle below -1, and no error is raised
    put_image(1, 1, picture);
    // Images live until the program ends; start afresh so that the runs do not add up.
    reset_screens();
    select_screen(new_image(800, 600, 32));
    return 0;
}
