#include "support/child_process.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <grp.h>
#include <pwd.h>
#include <stdexcept>
#include <sys/mman.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

child_process::child_process(const std::string& program, const child_options& options) {
    std::vector<char*> argv;
    for (const std::string& argument : options.arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    // In memory: reachable whatever user the child runs as and whatever folder it is in.
    if (options.keep_output && (output_ = memfd_create("child-output", MFD_CLOEXEC)) < 0) {
        throw std::runtime_error("no file for the child's output");
    }
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        if (output_ >= 0 && (dup2(output_, STDOUT_FILENO) < 0 || dup2(output_, STDERR_FILENO) < 0)) _exit(124);
        for (const std::string& variable : options.environment) putenv(const_cast<char*>(variable.c_str()));
        if (!options.working_directory.empty() && chdir(options.working_directory.c_str()) != 0) _exit(126);
        if (options.run_as_user) {
            const passwd* user = getpwuid(*options.run_as_user);
            const gid_t group = user ? user->pw_gid : *options.run_as_user;
            if (setgroups(0, nullptr) != 0 || setgid(group) != 0 || setuid(*options.run_as_user) != 0) _exit(125);
        }
        execv(program.c_str(), argv.data());
        _exit(127);
    }
}

child_process::~child_process() {
    if (running()) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (output_ >= 0) close(output_);
}

std::string child_process::output() const {
    std::string text;
    char buffer[4096];
    ssize_t got = 0;
    for (off_t at = 0; output_ >= 0 && (got = pread(output_, buffer, sizeof buffer, at)) > 0; at += got) {
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return text;
}

bool child_process::running() {
    if (status_) return false;
    int status = 0;
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done != pid_) return true;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    return false;
}

std::optional<int> child_process::wait_for_exit(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (running()) {
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return status_;
}

uid_t unprivileged_user() {
    const passwd* nobody = getpwnam("nobody");
    return nobody ? nobody->pw_uid : 65534;
}
