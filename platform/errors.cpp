#include "platform/errors.h"

#include <map>
#include <new>

#include "platform/message_box.h"
#include "platform/process_end.h"
#include "platform/program_control.h"

std::atomic<int32_t> pending_error{0};

namespace {

std::string started_as_name = "morvane";

// The messages of the run-time errors, the numbers the converter's services raise among them.
const std::map<int32_t, const char*>& message_table() {
    static const std::map<int32_t, const char*> table = {
        {1, "NEXT without FOR"},
        {2, "Syntax error"},
        {3, "RETURN without GOSUB"},
        {4, "Out of DATA"},
        {5, "Illegal function call"},
        {6, "Overflow"},
        {7, "Out of memory"},
        {8, "Label not defined"},
        {9, "Subscript out of range"},
        {10, "Duplicate definition"},
        {11, "Division by zero"},
        {12, "Illegal in direct mode"},
        {13, "Type mismatch"},
        {14, "Out of string space"},
        {16, "String formula too complex"},
        {17, "Cannot continue"},
        {18, "Function not defined"},
        {19, "No RESUME"},
        {20, "RESUME without error"},
        {24, "Device timeout"},
        {25, "Device fault"},
        {26, "FOR without NEXT"},
        {27, "Out of paper"},
        {29, "WHILE without WEND"},
        {30, "WEND without WHILE"},
        {33, "Duplicate label"},
        {35, "Subprogram not defined"},
        {37, "Argument-count mismatch"},
        {38, "Array not defined"},
        {40, "Variable required"},
        {50, "FIELD overflow"},
        {51, "Internal error"},
        {52, "Bad file name or number"},
        {53, "File not found"},
        {54, "Bad file mode"},
        {55, "File already open"},
        {56, "FIELD statement active"},
        {57, "Device I/O error"},
        {58, "File already exists"},
        {59, "Bad record length"},
        {61, "Disk full"},
        {62, "Input past end of file"},
        {63, "Bad record number"},
        {64, "Bad file name"},
        {67, "Too many files"},
        {68, "Device unavailable"},
        {69, "Communication-buffer overflow"},
        {70, "Permission denied"},
        {71, "Disk not ready"},
        {72, "Disk-media error"},
        {73, "Feature unavailable"},
        {74, "Rename across disks"},
        {75, "Path/File access error"},
        {76, "Path not found"},
        {256, "Out of stack space"},
        {257, "Out of memory"},
        {258, "Invalid handle"},
    };
    return table;
}

// Critical errors that end the program at once, with the title of their box.
bool critical_title(int32_t number, std::string& title) {
    if (number == 257) {
        title = "Critical Error #1";
    } else if (number >= 502 && number <= 518) {
        title = "Critical Error #" + std::to_string(number - 500);
    } else if (number == 11 || number == 256 || number == 259 || number == 260 || number == 261 ||
               number == 270 || number == 271) {
        title = "Critical Error";
    } else {
        return false;
    }
    return true;
}

std::string critical_text(int32_t number) {
    if (number == 257 || (number >= 502 && number <= 518)) return "Out of memory";
    return error_message(number);
}

// Memory-block errors are critical when they reach the error box.
bool is_critical_at_box(int32_t number) { return number >= 300 && number <= 315; }

std::string format_line(int32_t line, const char* module) {
    return "Line: " + std::to_string(static_cast<uint32_t>(line)) + " (in " + module + ")\n";
}

}  // namespace

std::string error_message(int32_t number) {
    const auto& table = message_table();
    const auto found = table.find(number);
    return found == table.end() ? "Unprintable error" : found->second;
}

bool is_critical_error(int32_t number) {
    std::string title;
    return critical_title(number, title);
}

void raise_error(int32_t number) {
    std::string title;
    if (critical_title(number, title)) {
        try {
            show_message_box(title, critical_text(number), box_buttons::ok);
        } catch (const std::bad_alloc&) {
        }
        end_process(0);
    }
    if (number <= 0) number = 5;
    int32_t none = 0;
    if (pending_error.compare_exchange_strong(none, number, std::memory_order_acq_rel)) {
        event_pending.store(1, std::memory_order_release);
    }
}

bool handle_pending_error(int32_t step, int32_t include_line, const char* include_name) {
    const int32_t number = pending_error.load(std::memory_order_acquire);
    if (number == 0) return true;
    const bool critical = is_critical_at_box(number);
    box_answer answer = box_answer::no;
    try {
        const std::string text =
            (include_line != 0 ? format_line(include_line, include_name ? include_name : "")
                               : format_line(step, "main module")) +
            error_message(number) + (critical ? "" : "\nContinue?");
        const std::string title = std::string(critical ? "Critical Error #" : "Unhandled Error #") +
                                  std::to_string(static_cast<uint32_t>(number)) + " - " +
                                  executable_name();
        answer = show_message_box(title, text, critical ? box_buttons::ok : box_buttons::yes_no);
    } catch (const std::bad_alloc&) {
        end_process(0);
    }
    if (critical) end_process(0);
    if (answer != box_answer::yes) return false;
    pending_error.store(0, std::memory_order_release);
    return true;
}

void set_executable_name(const std::string& started_as) {
    const size_t cut = started_as.find_last_of("/\\");
    started_as_name = cut == std::string::npos ? started_as : started_as.substr(cut + 1);
}

const std::string& executable_name() { return started_as_name; }
