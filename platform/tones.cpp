#include "platform/tones.h"

#include <optional>

#include "platform/timing.h"
#include "platform/tone_stream.h"

void play_tone(double frequency, double ticks) {
    if (const std::optional<double> wait = add_tone(program_tone_stream(), frequency, ticks, process_clock_ms())) {
        delay_seconds(*wait);
    }
}

void beep() {
    add_beep(program_tone_stream(), process_clock_ms());
    // Lets the tone's blocks reach the audio library before the program may end.
    delay_seconds(0.25);
}
