// The morvane executable: the platform's start-up runs the converter on a thread of its own.
#include "converter/main_program.h"
#include "platform/startup.h"

int main(int argc, char** argv) { run_program(argc, argv, main_program); }
