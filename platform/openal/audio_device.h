// The audio output that the tone stream plays on: OpenAL Soft's default device.
#pragma once

// Opens the default device at start-up; without one the tones stay silent.
void open_audio_device();
// One pass of the housekeeping thread: flushes, takes back played buffers, queues waiting blocks.
void service_audio();
// From the end of the program on nothing more goes to the audio library.
void stop_sound_output();
// Closes the device (shutdown).
void close_audio_device();
