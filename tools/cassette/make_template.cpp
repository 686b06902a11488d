// make_template SOURCE.bas OUTPUT NAME: writes the template cassette image of the BASIC
// program in SOURCE.bas, named NAME on the tape, to OUTPUT.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "tools/cassette/cassette_template.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: make_template SOURCE.bas OUTPUT NAME\n";
        return 2;
    }
    std::ifstream source_file(argv[1], std::ios::binary);
    std::ostringstream source;
    source << source_file.rdbuf();
    if (!source_file) {
        std::cerr << "make_template: cannot read " << argv[1] << "\n";
        return 1;
    }
    try {
        const std::string image = cassette::build_template(source.str(), argv[3]);
        std::ofstream output(argv[2], std::ios::binary | std::ios::trunc);
        output.write(image.data(), static_cast<std::streamsize>(image.size()));
        if (!output.flush()) throw std::runtime_error(std::string("cannot write ") + argv[2]);
    } catch (const std::exception& failure) {
        std::cerr << "make_template: " << argv[1] << ": " << failure.what() << "\n";
        std::remove(argv[2]);
        return 1;
    }
    return 0;
}
