// Files: existence tests, numbered binary files read and written whole, and the executable's
// folder as the current directory. Names go to the system as bytes, cut at a first zero byte.
#pragma once

#include <cstdint>

#include "platform/text.h"

// -1 when `name` is an existing entry that is not a folder, else 0 (0 while an error is pending).
int32_t file_exists(const string_descriptor& name);
// -1 when `name` is an existing folder, else 0 (0 while an error is pending).
int32_t directory_exists(const string_descriptor& name);

// Opens `name` as `file_number` in the mode of the first letter of `mode`, upper-cased; only "B"
// (binary) is offered: created empty when missing, never truncated; read-write, else
// read-only, else write-only. Errors: 54 any other mode, 52 number below 1, 55 already open,
// 76/70/68/53 by the system's answer (a folder: 70). Nothing while an error is pending.
void open_file_by_mode_letter(const string_descriptor& mode, int32_t file_number,
                              const string_descriptor& name);
// Size in bytes of open file `file_number`; 52 (and 0) when it is not open, 54 (and 0) when
// the size cannot be had. Works while an error is pending.
int64_t file_length(int32_t file_number);
// Fills `variable` in place from the current position; bytes past the end read as zeros.
// Errors: 52 not open, 75 write-only or failed read, 70 access refused. Nothing while an
// error is pending.
void get_string_from_file(int32_t file_number, string_descriptor& variable);

// A view of bytes owned elsewhere.
struct byte_block {
    const char* data = nullptr;
    int32_t length = 0;
};
// Fills `block` with `data` and `length` (a negative length becomes 0) and returns it.
byte_block& make_byte_block(const char* data, int32_t length, byte_block& block);
// Writes the block at the current position and ends the file right after it.
// Errors: 52 not open, 75 read-only (nothing written), short or failed write, 70 access
// refused. Nothing while an error is pending.
void put_bytes_to_file(int32_t file_number, const byte_block& block);

// Closes `file_number` if it is open; anything else does nothing, as does an error pending.
void close_file(int32_t file_number);
// Closes every open file (the shutdown's form, safe on another thread than the one that
// opened them); nothing while an error is pending.
void close_all_files();

// Makes the folder that holds the running executable the current directory; a failure leaves
// the directory as it was.
void change_to_executable_folder();
