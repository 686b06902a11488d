#include "platform/startup.h"

#include <X11/Xlib.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/command_line.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/keys.h"
#include "platform/openal/audio_device.h"
#include "platform/process_end.h"
#include "platform/program_control.h"
#include "platform/screen.h"
#include "platform/text.h"
#include "platform/x11/message_box_x11.h"
#include "platform/x11/window_loop.h"
#include "platform/x11/x_errors.h"

namespace {

// Set by the event timer thread once it has seen stop_program and ended; read by the shutdown.
std::atomic<bool> event_timer_stopped{false};

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void converter_thread(void (*program)()) {
    program();
    // A program that simply returns ends as one that asks for its end.
    close_requested.store(true, std::memory_order_release);
    stop_program_thread();
}

// Has no work of its own here but to acknowledge the shutdown, so it sleeps until then.
void event_timer_thread() {
    stop_program.wait(false, std::memory_order_acquire);
    event_timer_stopped.store(true, std::memory_order_release);
}

// The one way a run ends: no more sound, the other threads stopped, files and device closed.
[[noreturn]] void shut_down() {
    stop_sound_output();
    stop_program.store(true, std::memory_order_release);
    stop_program.notify_all();
    event_pending.store(1, std::memory_order_release);
    wake_key_reader();
    while (!program_thread_stopped.load(std::memory_order_acquire) ||
           !event_timer_stopped.load(std::memory_order_acquire)) {
        sleep_ms(16);
    }
    close_all_files();
    close_audio_device();
    end_process(0);
}

// Services the sound every pass (about 16 ms), builds display frames every other pass unless
// the program is paused, and carries out the shutdown when one is asked for. A key wait's pass
// follows each frame, so that every frame shows the next one's drawing.
void housekeeping_thread() {
    display_frame building;
    for (unsigned pass = 0;; ++pass) {
        sleep_ms(15);
        sleep_ms(1);
        if (close_requested.load(std::memory_order_acquire) || window_closed()) shut_down();
        service_audio();
        if (pass % 2 == 0 && !suspend_program.load(std::memory_order_acquire)) {
            if (build_display_frame(building)) offer_display_frame(building);
            display_frame_passed();
        }
    }
}

}  // namespace

void run_program(int argc, char** argv, void (*program)()) {
    // Every thread may talk to the X server: the window, the error box on the converter's.
    XInitThreads();
    install_x_error_handlers();
    keep_text_memory();
    prepare_window_drawing();
    char fallback_name[] = "morvane";
    char* program_name = argc > 0 && argv[0] ? argv[0] : fallback_name;
    set_executable_name(program_name);
    set_message_box(show_x11_message_box);
    open_audio_device();
    change_to_executable_folder();
    build_command_line(argc, argv);
    clear_key_queue();
    reset_screens();
    std::thread(converter_thread, program).detach();
    std::thread(event_timer_thread).detach();
    std::thread(housekeeping_thread).detach();
    run_window(program_name);
}
