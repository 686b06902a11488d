#include "support/xvfb_display.h"

#include <X11/Xlib.h>
#include <csignal>
#include <cstdlib>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

bool display_answers(const std::string& name) {
    Display* display = XOpenDisplay(name.c_str());
    if (!display) return false;
    XCloseDisplay(display);
    return true;
}

// A display number whose lock file and socket are both free; tests run in parallel, so the
// search starts at a number derived from the process id.
int free_display_number() {
    for (int offset = 0; offset < 400; ++offset) {
        const int number = 100 + (getpid() + offset) % 400;
        const std::string lock = "/tmp/.X" + std::to_string(number) + "-lock";
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
        if (access(lock.c_str(), F_OK) != 0 && access(socket.c_str(), F_OK) != 0) return number;
    }
    throw std::runtime_error("no free X display number");
}

}  // namespace

xvfb_display::xvfb_display(int width, int height) {
    for (int attempt = 0; attempt < 5 && server_ < 0; ++attempt) {
        const int number = free_display_number();
        name_ = ":" + std::to_string(number);
        const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
        const pid_t pid = fork();
        if (pid == 0) {
            // The server must not outlive a test that dies.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            execlp("Xvfb", "Xvfb", name_.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
                   "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int wait = 0; wait < 100; ++wait) {
            if (display_answers(name_)) {
                server_ = pid;
                break;
            }
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) break;  // lost the race for that number
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (server_ < 0 && kill(pid, SIGTERM) == 0) waitpid(pid, nullptr, 0);
    }
    if (server_ < 0) throw std::runtime_error("Xvfb did not start");
    setenv("DISPLAY", name_.c_str(), 1);
}

xvfb_display::~xvfb_display() {
    kill(server_, SIGTERM);
    waitpid(server_, nullptr, 0);
}
