// Files: existence tests, numbered binary files read and written whole, and the executable's
// folder as the current directory. Names go to the system as bytes, cut at a first zero byte.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/text.h"

// -1 when `name` is an existing entry that is not a folder, else 0 (0 while an error is pending).
int32_t file_exists(const string_descriptor& name);
// -1 when `name` is an existing folder, else 0 (0 while an error is pending).
int32_t directory_exists(const string_descriptor& name);

// Whether an open may make the file. A file that is written is created empty when missing; a
// file that is only read must be there already, so that its absence is said (53) instead of
// being hidden behind an empty file made on the spot.
enum class file_creation { create_when_missing, must_exist };

// Opens `name` as `file_number` in the mode of the first letter of `mode`, upper-cased; only "B"
// (binary) is offered: never truncated; read-write, else read-only, else write-only; created
// empty when missing unless it must exist. Errors: 54 any other mode, 52 number below 1, 55
// already open, 76/70/68/53 by the system's answer (a folder: 70). A file that must exist gives
// 53 when it is missing or empty, 70 when it is no regular file (a folder, a device, a FIFO).
// Nothing while an error is pending.
void open_file_by_mode_letter(const string_descriptor& mode, int32_t file_number,
                              const string_descriptor& name,
                              file_creation creation = file_creation::create_when_missing);
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
// Writes the block at the current position and ends the file right after it. A write from the
// first byte of a regular file replaces the file whole or not at all: a new file in the same
// folder, with the old one's permission bits, is renamed over the name (over a symbolic link
// too, whose target stays as it was); a folder that takes no new file gets the write in place.
// Errors: 52 not open, 75 read-only (nothing written), short or failed write (a full disk
// included; the file keeps its content), 70 access refused. Nothing while an error is pending.
void put_bytes_to_file(int32_t file_number, const byte_block& block);

// Closes `file_number` if it is open; anything else does nothing, as does an error pending.
void close_file(int32_t file_number);
// Closes every open file (the shutdown's form, safe on another thread than the one that
// opened them); nothing while an error is pending.
void close_all_files();

// An advisory lock on a folder, held while it lives (and at the latest until the process ends),
// so that copies of the program working in one folder take turns. It waits up to `patience`
// for another holder and then goes on without the lock rather than hang.
class folder_lock {
  public:
    folder_lock(const std::string& folder, std::chrono::milliseconds patience);
    ~folder_lock();
    folder_lock(const folder_lock&) = delete;
    folder_lock& operator=(const folder_lock&) = delete;

    bool held() const { return descriptor_ >= 0; }

  private:
    int descriptor_ = -1;
};

// Makes the folder that holds the running executable the current directory; a failure leaves
// the directory as it was.
void change_to_executable_folder();
