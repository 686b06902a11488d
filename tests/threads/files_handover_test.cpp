// The open file table passes from the converter thread to the housekeeping thread's shutdown.
#include "platform/files.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/errors.h"
#include "support/runtime_double.h"
#include "support/scratch_files.h"

namespace {

TEST(FilesHandover, ShutdownClosesWhatTheConverterOpened) {
    runtime_double runtime;
    const temporary_folder folder("morvane-handover");
    std::atomic<bool> converter_done{false};  // written by the converter thread

    std::thread converter([&] {
        for (int32_t number = 1; number <= 3; ++number) {
            open_file_by_mode_letter("B", number, string_descriptor(folder.file(std::to_string(number))));
            byte_block block;
            put_bytes_to_file(number, make_byte_block("bytes", 5, block));
        }
        converter_done.store(true, std::memory_order_release);
    });
    std::thread housekeeping([&] {
        while (!converter_done.load(std::memory_order_acquire)) std::this_thread::yield();
        close_all_files();
    });
    converter.join();
    housekeeping.join();

    EXPECT_EQ(pending_error, 0);
    EXPECT_EQ(file_length(1), 0);
    EXPECT_EQ(pending_error, 52);
    EXPECT_EQ(std::filesystem::file_size(folder.file("3")), 5u);
}

}  // namespace
