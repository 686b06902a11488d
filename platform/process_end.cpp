#include "platform/process_end.h"

#include <cstdio>
#include <unistd.h>

void end_process(int exit_code) {
    // Not exit(): it would run the GL driver's and FreeGLUT's exit handlers on this thread
    // while the window's GL context is current on the main thread, which may be inside those
    // libraries at that moment. Mesa 25 then asks the X server to make the context current
    // here; the server refuses (BadAccess) and Xlib ends the process with 1. Nothing of ours
    // needs an exit handler: the shutdown has closed the files and the audio device, every
    // write has already reached the system, and the system and the X server free the rest.
    // (LeakSanitizer's check at exit does not run either; the whole-program tests switch it
    // off anyway, as the GL driver never frees everything.)
    std::fflush(nullptr);
    _exit(exit_code);
}
