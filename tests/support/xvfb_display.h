// A private X server for whole-program tests: an Xvfb on a free display number, started for
// the test and stopped after it. DISPLAY points at it while it runs.
#pragma once

#include <string>
#include <sys/types.h>

class xvfb_display {
  public:
    // Starts Xvfb with one screen of `width` x `height` x 24 and waits until it answers.
    explicit xvfb_display(int width = 1280, int height = 1024);
    ~xvfb_display();
    xvfb_display(const xvfb_display&) = delete;
    xvfb_display& operator=(const xvfb_display&) = delete;

    // ":N", also set as DISPLAY.
    const std::string& name() const { return name_; }

    // Kills the server at once (SIGKILL), as when it crashes or the session ends under its
    // clients; the test's own connections to it must be closed first.
    void kill_now();

  private:
    void end_server(int signal);

    std::string name_;
    pid_t server_ = -1;
};
