// Started by files_test: makes the executable's folder current, as start-up does, and writes
// the current directory to the file named by its argument.
#include <climits>
#include <cstdio>
#include <unistd.h>

#include "platform/files.h"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    change_to_executable_folder();
    char here[PATH_MAX];
    if (getcwd(here, sizeof here) == nullptr) return 3;
    std::FILE* report = std::fopen(argv[1], "w");
    if (report == nullptr) return 4;
    std::fputs(here, report);
    return std::fclose(report) == 0 ? 0 : 5;
}
