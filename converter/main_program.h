// The converter's main sequence and its stretches, in the order main_program runs them.
// Each stretch is a fixed run of numbered steps; tests run single stretches.
#pragma once

// The whole converter, run once on the converter thread; it ends only with the program.
[[noreturn]] void main_program();

// Step 1: with a command line, takes it as dropped_name and returns true (command-line mode).
bool take_command_line();
// Steps 2 to 8: the start window titled "Morvane" with "KESTRIL.PNG", accepting drops.
void show_start_window();
// Steps 10 to 26: waits for a drop holding an existing file and takes it as dropped_name;
// ends the program at an item that is neither a file nor a folder.
void wait_for_drop();
// Steps 28 to 38: the status screen naming dropped_name, and picture_name := dropped_name.
void show_status_screen();
// Steps 200 to 215: the end, at once with a command line, else after the end screen and a key.
[[noreturn]] void finish();
