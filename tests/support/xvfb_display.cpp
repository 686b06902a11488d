#include "support/xvfb_display.h"

#include <csignal>
#include <cstdlib>
#include <poll.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Reads the display number that Xvfb writes once it is ready to take clients; -1 when it ends
// or says nothing within the limit.
int read_display_number(int from, int limit_ms) {
    std::string digits;
    for (;;) {
        pollfd ready{.fd = from, .events = POLLIN};
        if (poll(&ready, 1, limit_ms) <= 0) return -1;
        char c = 0;
        if (read(from, &c, 1) != 1) return -1;
        if (c == '\n') break;
        digits += c;
    }
    return digits.empty() ? -1 : std::atoi(digits.c_str());
}

}  // namespace

xvfb_display::xvfb_display(int width, int height) {
    // Xvfb picks a free display number itself and reports it (-displayfd): tests that start
    // their servers at the same moment can never end up on one another's display.
    int report[2];
    if (pipe(report) != 0) throw std::runtime_error("no pipe for Xvfb");
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    const std::string report_fd = std::to_string(report[1]);
    const pid_t pid = fork();
    if (pid == 0) {
        // The server must not outlive a test that dies.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        close(report[0]);
        execlp("Xvfb", "Xvfb", "-displayfd", report_fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten",
               "tcp", "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(report[1]);
    const int number = pid > 0 ? read_display_number(report[0], 20000) : -1;
    close(report[0]);
    if (number < 0) {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
        throw std::runtime_error("Xvfb did not start");
    }
    server_ = pid;
    name_ = ":" + std::to_string(number);
    setenv("DISPLAY", name_.c_str(), 1);
}

xvfb_display::~xvfb_display() { end_server(SIGTERM); }

void xvfb_display::kill_now() { end_server(SIGKILL); }

void xvfb_display::end_server(int signal) {
    if (server_ < 0) return;
    kill(server_, signal);
    waitpid(server_, nullptr, 0);
    server_ = -1;
}
