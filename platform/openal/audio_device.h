// The audio output that the tone stream plays on: OpenAL Soft's default device.
#pragma once

// Opens the default device at start-up, before the converter starts; without one the tones
// stay silent and no error is raised.
void open_audio_device();
// One pass of the housekeeping thread (about every 16 ms): flushes, takes back played buffers,
// queues waiting blocks and keeps the source playing.
void service_audio();
// From the end of the program on nothing more goes to the audio library.
void stop_sound_output();
// Closes the device at shutdown; implies stop_sound_output.
void close_audio_device();
