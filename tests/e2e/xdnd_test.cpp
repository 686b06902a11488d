// GoogleTest comes before Xlib, whose None macro would break it.
#include <gtest/gtest.h>

#include "platform/x11/xdnd.h"

#include <poll.h>

#include <X11/Xatom.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/drops.h"
#include "platform/x11/uri_list.h"
#include "support/scratch_files.h"
#include "support/xdnd_source.h"
#include "support/xvfb_display.h"

namespace {

// A window made by one connection (as FreeGLUT makes the program's), its drop target on a
// second connection serviced by a thread of the test (as the window layer's own), and drops
// made by the test's source on a third: no two of them wait on each other.
class XdndTarget : public ::testing::Test {
  protected:
    void SetUp() override {
        finish_file_drop();
        window_maker_ = XOpenDisplay(server_.name().c_str());
        ours_ = XOpenDisplay(server_.name().c_str());
        ASSERT_NE(window_maker_, nullptr);
        ASSERT_NE(ours_, nullptr);
        window_ = XCreateSimpleWindow(window_maker_, DefaultRootWindow(window_maker_), 0, 0, 576, 317, 0, 0, 0);
        XMapWindow(window_maker_, window_);
        XSync(window_maker_, False);
        service_ = std::thread([this] { serve(); });
    }

    void TearDown() override {
        serving_ = false;
        if (service_.joinable()) service_.join();
        if (ours_) XCloseDisplay(ours_);
        if (window_maker_) XCloseDisplay(window_maker_);
        finish_file_drop();
    }

    void enable() {
        on_service_thread([this] { enable_xdnd_target(target_, ours_, window_, set_pending_drop); });
    }
    void disable() {
        on_service_thread([this] { disable_xdnd_target(target_); });
    }

    drop_result drop(const std::string& uri_list, const drop_options& options = {}) {
        return drop_uri_list(server_.name(), window_, uri_list, options);
    }

    const std::string& display_name() const { return server_.name(); }
    Window window() const { return window_; }

    static std::vector<std::string> pending_names() {
        std::vector<std::string> names;
        for (int32_t i = 1; i <= dropped_file_count(); ++i) names.push_back(dropped_file_name(i).bytes);
        return names;
    }

  private:
    // Runs `task` on the service thread and returns once it has run.
    void on_service_thread(std::function<void()> task) {
        std::unique_lock guard(tasks_lock_);
        tasks_.push_back(std::move(task));
        ASSERT_TRUE(tasks_done_.wait_for(guard, std::chrono::seconds(10), [this] { return tasks_.empty(); }));
    }

    void run_tasks() {
        const std::lock_guard guard(tasks_lock_);
        for (const std::function<void()>& task : tasks_) task();
        tasks_.clear();
        tasks_done_.notify_all();
    }

    void serve() {
        while (serving_) {
            run_tasks();
            while (XPending(ours_) > 0) {
                XEvent event;
                XNextEvent(ours_, &event);
                handle_xdnd_event(target_, event);
            }
            pollfd readable{.fd = ConnectionNumber(ours_), .events = POLLIN};
            poll(&readable, 1, 10);
        }
    }

    xvfb_display server_{640, 480};
    Display* window_maker_ = nullptr;
    Display* ours_ = nullptr;  // touched only by the service thread once it runs
    Window window_ = None;
    xdnd_target target_;  // owned by the service thread
    std::atomic<bool> serving_{true};
    std::thread service_;
    std::mutex tasks_lock_;
    std::condition_variable tasks_done_;
    std::vector<std::function<void()>> tasks_;  // under tasks_lock_: written by the test, run by the service
};

using names = std::vector<std::string>;

TEST_F(XdndTarget, NoDropIsTakenBeforeTheTargetIsOnOrAfterItIsOff) {
    const drop_result before = drop("file:///tmp/a.png\r\n");
    EXPECT_FALSE(before.target_aware);
    EXPECT_FALSE(before.accepted());
    EXPECT_EQ(dropped_file_count(), 0);

    EXPECT_FALSE(wait_for_drop_target(display_name(), window(), std::chrono::milliseconds(0)));
    enable();
    EXPECT_TRUE(wait_for_drop_target(display_name(), window(), std::chrono::seconds(5)));
    EXPECT_TRUE(drop("file:///tmp/a.png\r\n").accepted());
    finish_file_drop();

    disable();
    const drop_result after = drop("file:///tmp/b.png\r\n");
    EXPECT_FALSE(after.target_aware);
    EXPECT_EQ(dropped_file_count(), 0);
}

TEST_F(XdndTarget, OneFile) {
    enable();
    const drop_result result = drop("file:///tmp/picture.png\r\n");
    EXPECT_TRUE(result.target_aware);
    EXPECT_TRUE(result.accepted()) << result.problem;
    EXPECT_EQ(pending_names(), names{"/tmp/picture.png"});
}

TEST_F(XdndTarget, SeveralItemsInTheirOrderOfferedInTheTypeList) {
    enable();
    const drop_options more_than_three_types{.types = {"text/x-moz-url", "UTF8_STRING", "text/plain", "text/uri-list"}};
    const drop_result result =
        drop("file:///tmp/a.png\r\n# a comment\r\nfile:///home/\r\nhttp://x/y.png\r\nfile:///tmp/c.png",
             more_than_three_types);
    EXPECT_TRUE(result.accepted()) << result.problem;
    EXPECT_EQ(pending_names(), (names{"/tmp/a.png", "/home/", "", "/tmp/c.png"}));
}

TEST_F(XdndTarget, Folder) {
    const temporary_folder folder("morvane-drop");
    enable();
    EXPECT_TRUE(drop("file://localhost" + folder.path().string() + "/\r\n").accepted());
    EXPECT_EQ(pending_names(), names{folder.path().string() + "/"});
    EXPECT_TRUE(std::filesystem::is_directory(pending_names().at(0)));
}

TEST_F(XdndTarget, NameWithSpacesAndNonAsciiBytes) {
    enable();
    EXPECT_TRUE(drop("file:///tmp/my%20picture%20%C3%A9t%C3%A9%FE.png\r\n").accepted());
    EXPECT_EQ(pending_names(), names{"/tmp/my picture \xc3\xa9t\xc3\xa9\xfe.png"});
}

TEST_F(XdndTarget, SecondDropReplacesThePendingOne) {
    enable();
    ASSERT_TRUE(drop("file:///tmp/first.png\r\nfile:///tmp/second.png\r\n").accepted());
    ASSERT_EQ(dropped_file_count(), 2);
    ASSERT_TRUE(drop("file:///tmp/third.png\r\n").accepted());
    EXPECT_EQ(pending_names(), names{"/tmp/third.png"});
}

TEST_F(XdndTarget, PathLongerThan259BytesArrivesWhole) {
    std::string path = "/tmp";
    while (path.size() < 600) path += "/a-rather-long-folder-name";
    path += "/picture.png";
    enable();
    EXPECT_TRUE(drop("file://" + this_host_name() + path + "\r\n").accepted());
    ASSERT_EQ(dropped_file_count(), 1);
    EXPECT_EQ(dropped_file_name(1).length(), static_cast<int32_t>(path.size()));
    EXPECT_EQ(dropped_file_name(1).bytes, path);
}

TEST_F(XdndTarget, SourceOfferingNoUriListIsRefusedAndThePendingDropStays) {
    enable();
    ASSERT_TRUE(drop("file:///tmp/kept.png\r\n").accepted());
    const drop_result result = drop("file:///tmp/other.png\r\n", {.types = {"text/plain", "UTF8_STRING"}});
    EXPECT_TRUE(result.target_aware);
    EXPECT_FALSE(result.status_accepted);
    EXPECT_TRUE(result.finished);
    EXPECT_FALSE(result.finished_accepted);
    EXPECT_EQ(result.problem, "");
    EXPECT_EQ(pending_names(), names{"/tmp/kept.png"});
}

// Sends the protocol message `type` from `source` to the target's proxy, as a source would.
void send_as_source(Display* connection, Window target, Window source, const char* type, std::array<long, 4> data) {
    Atom actual = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* proxy = nullptr;
    XGetWindowProperty(connection, target, XInternAtom(connection, "XdndProxy", False), 0, 1, False, XA_WINDOW,
                       &actual, &format, &count, &remaining, &proxy);
    ASSERT_EQ(count, 1u);
    XEvent message{};
    message.xclient.type = ClientMessage;
    message.xclient.window = target;
    message.xclient.message_type = XInternAtom(connection, type, False);
    message.xclient.format = 32;
    message.xclient.data.l[0] = static_cast<long>(source);
    for (std::size_t i = 0; i < data.size(); ++i) message.xclient.data.l[i + 1] = data[i];
    XSendEvent(connection, *reinterpret_cast<Window*>(proxy), False, NoEventMask, &message);
    XFree(proxy);
    XSync(connection, False);
}

// Every answer then goes to a window that no longer exists: the target must live on.
TEST_F(XdndTarget, SourceWhoseWindowIsGoneDoesNotEndTheTarget) {
    enable();
    Display* connection = XOpenDisplay(display_name().c_str());
    ASSERT_NE(connection, nullptr);
    const Window gone = XCreateSimpleWindow(connection, DefaultRootWindow(connection), 0, 0, 1, 1, 0, 0, 0);
    XDestroyWindow(connection, gone);
    const auto uri_list = static_cast<long>(XInternAtom(connection, "text/uri-list", False));
    const long version_5_with_type_list = (5L << 24) | 1;
    send_as_source(connection, window(), gone, "XdndEnter", {version_5_with_type_list, uri_list, None, None});
    send_as_source(connection, window(), gone, "XdndPosition", {0, (1 << 16) | 1, CurrentTime, None});
    send_as_source(connection, window(), gone, "XdndDrop", {0, CurrentTime, 0, 0});
    XSync(connection, False);

    // The connection stays open until the next drag is over: closed, its id range could go to
    // the next source, whose window would then share the gone window's id and receive the
    // target's late answers to the gone drag.
    EXPECT_TRUE(drop("file:///tmp/after.png\r\n").accepted());
    EXPECT_EQ(pending_names(), names{"/tmp/after.png"});
    XCloseDisplay(connection);
}

TEST_F(XdndTarget, SourceThatNeverGivesTheListLeavesTheTargetReadyForTheNextDrag) {
    enable();
    const drop_options silent_source{.serves_data = false, .answer_timeout = std::chrono::milliseconds(300)};
    const drop_result silent = drop("file:///tmp/lost.png\r\n", silent_source);
    EXPECT_FALSE(silent.finished);
    EXPECT_EQ(dropped_file_count(), 0);
    EXPECT_TRUE(drop("file:///tmp/next.png\r\n").accepted());
    EXPECT_EQ(pending_names(), names{"/tmp/next.png"});
}

}  // namespace
