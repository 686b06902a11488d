// Tones: triangle waves of 16-bit stereo PCM at 44100 frames a second, queued on the one tone
// stream that the housekeeping thread hands to the audio output.
#pragma once

// A tone of `frequency` Hz (0 = silence, else 37..32767) for `ticks` of 1/18.2 s (0..65535);
// 5 outside those ranges. Returns once its frames are queued, unless the tone is long.
void play_tone(double frequency, double ticks);
// A 783.99 Hz tone of 0.2 s, then a 0.25 s wait.
void beep();
