#include "converter/variables.h"

string_descriptor dropped_name;
image_handle logo_image = 0;
float pass_index = 0.0f;
string_descriptor picture_name;
string_descriptor key_text;

image_handle picture_image = 0;
float white = 0.0f;
float black = 0.0f;
float block_y = 0.0f;
float block_x = 0.0f;
string_descriptor row_text;
float row_count = 0.0f;
std::array<string_descriptor, 25> rows;

string_descriptor file_text;
string_descriptor new_text;
byte_block output_block;

void reset_converter_variables() {
    dropped_name = {};
    logo_image = 0;
    pass_index = 0.0f;
    picture_name = {};
    key_text = {};
    picture_image = 0;
    white = 0.0f;
    black = 0.0f;
    block_y = 0.0f;
    block_x = 0.0f;
    row_text = {};
    row_count = 0.0f;
    rows = {};
    file_text = {};
    new_text = {};
    output_block = {};
}
