#include "converter/cassette.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <string>

#include "converter/counted_loop.h"
#include "converter/step_protocol.h"
#include "converter/strings.h"
#include "converter/variables.h"
#include "platform/files.h"

namespace {

constexpr step_module steps = step_module::main();

const string_descriptor template_name = "KESTRIL.RAN";
const string_descriptor cassette_name = "IMAGE.CAS";
constexpr int32_t full_row_length = 39;

// Row `row` filled up to a full row with spaces, the black mosaic cell. A P2000T reads the
// cassette by position, so a row left shorter than its marker (a block that was not purely
// white and black adds no code) would shift every later byte, break the tape blocks and leave
// an image that no emulator loads; filled up, the image keeps the template's layout.
string_descriptor filled_row(int32_t row_number) {
    const string_descriptor& codes = row(row_number);
    return string_concat(codes, string_spaces(full_row_length - codes.length()));
}

template_pass pass_for(int32_t pass) {
    if (pass == 18) return {18, 185, 18, row_piece::first_26, row_placeholder(18, row_piece::first_26)};
    if (pass == 19) return {19, 186, 18, row_piece::last_13, row_placeholder(18, row_piece::last_13)};
    const int32_t row = pass < 18 ? pass : pass - 1;
    return {pass, pass == 1 ? 154 : 167 + pass, row, row_piece::whole, row_placeholder(row, row_piece::whole)};
}

std::array<template_pass, 26> make_template_passes() {
    std::array<template_pass, 26> passes;
    for (int32_t pass = 1; pass <= 26; ++pass) passes[static_cast<std::size_t>(pass - 1)] = pass_for(pass);
    return passes;
}

// A text as long as the open file, ready to be read into. A file beyond what a text can hold
// gives a text of the largest length a text has, so only that much of it is read.
string_descriptor spaces_for_file(int64_t length) {
    return string_spaces(static_cast<int32_t>(std::min<int64_t>(length, std::numeric_limits<int32_t>::max())));
}

// Steps open_step .. open_step + 3: file_text := the whole content of `name`, which must exist
// when `creation` says so.
void read_whole_file(int32_t open_step, const string_descriptor& name, file_creation creation) {
    open_file_by_mode_letter("B", 1, name, creation);
    steps.after(open_step);
    string_assign(file_text, spaces_for_file(file_length(1)));
    steps.after(open_step + 1);
    get_string_from_file(1, file_text);
    steps.after(open_step + 2);
    close_file(1);
    steps.after(open_step + 3);
}

// Steps open_step .. open_step + 2: "IMAGE.CAS" := exactly new_text.
void write_whole_cassette(int32_t open_step) {
    open_file_by_mode_letter("B", 1, cassette_name);
    steps.after(open_step);
    put_bytes_to_file(1, make_byte_block(new_text.bytes.data(), new_text.length(), output_block));
    steps.after(open_step + 1);
    close_file(1);
    steps.after(open_step + 2);
}

// Steps 169 to 193: one equality test per later pass; the one of pass_index replaces its marker.
void replace_marker_of_pass() {
    for (std::size_t i = 1; i < template_passes().size(); ++i) {
        const template_pass& pass = template_passes()[i];
        if (steps.test(pass.step, pass_index == static_cast<float>(pass.pass))) {
            string_assign(new_text, replace_all(file_text, pass.marker, replacement_of(pass)));
            steps.after(pass.step);
        }
    }
}

// Steps 164 to 197: one later pass, from the current "IMAGE.CAS".
void rewrite_cassette() {
    read_whole_file(164, cassette_name, file_creation::create_when_missing);
    replace_marker_of_pass();
    write_whole_cassette(195);
}

}  // namespace

string_descriptor row_placeholder(int32_t row, row_piece piece) {
    switch (piece) {
        case row_piece::first_26: return string_descriptor(std::string(23, '!') + "181");
        case row_piece::last_13: return string_descriptor(std::string(10, '!') + "182");
        case row_piece::whole: break;
    }
    const char digits[] = {static_cast<char>('0' + row / 10), static_cast<char>('0' + row % 10), '\0'};
    return string_descriptor(std::string(37, '!') + digits);
}

const std::array<template_pass, 26>& template_passes() {
    static const std::array<template_pass, 26> passes = make_template_passes();
    return passes;
}

string_descriptor replacement_of(const template_pass& pass) {
    const string_descriptor codes = filled_row(pass.row);
    switch (pass.piece) {
        case row_piece::first_26: return string_left(codes, 26);
        case row_piece::last_13: return string_right(codes, 13);
        case row_piece::whole: break;
    }
    return codes;
}

void write_cassette() {
    // Another copy of the program converting in this folder at the same moment would interleave
    // its passes with these and mix both pictures in IMAGE.CAS: the two take turns, and one
    // that waits past a few seconds goes on rather than hang.
    const folder_lock turn(".", std::chrono::seconds(5));
    // Only read: a missing or empty template is an error box, not an empty cassette.
    read_whole_file(149, template_name, file_creation::must_exist);
    const template_pass& first = template_passes()[0];
    string_assign(new_text, replace_all(file_text, first.marker, replacement_of(first)));
    steps.after(first.step);
    write_whole_cassette(157);
    counted_loop(163, pass_index, 2.0, 26.0, 1.0, rewrite_cassette);
}
