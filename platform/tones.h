// Tones: triangle waves of 16-bit stereo PCM at 44100 frames a second, queued on the one tone
// stream that the housekeeping thread hands to the audio output (platform/tone_stream.h).
#pragma once

// A tone of `frequency` Hz (0 = silence, else 37..32767) for `ticks` of 1/18.2 s (0..65535);
// 5 outside those ranges, nothing while an error is pending. Returns once its frames are
// queued, unless the tone lasts 265 ms or more: then it waits for part of the sound queued.
void play_tone(double frequency, double ticks);
// A 783.99 Hz tone of 0.2 s, even while an error is pending, then a 0.25 s wait.
void beep();
