#include "platform/memory_limits.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/scratch_files.h"

namespace {

namespace fs = std::filesystem;

class MemoryLimits : public testing::Test {
  protected:
    // Writes `value` as the limit file `leaf` of the cgroup `path` under the scratch root.
    void limit(const std::string& path, const std::string& leaf, const std::string& value) {
        fs::create_directories(root.path().string() + path);
        write_whole_file(root.path().string() + path + "/" + leaf, value + "\n");
    }

    std::string root_name() const { return root.path().string(); }

    temporary_folder root{"morvane-cgroup"};
};

TEST_F(MemoryLimits, TheLeastLimitOfTheCgroupAndThoseAboveIt) {
    limit("/user.slice", "memory.max", "max");
    limit("/user.slice/session", "memory.max", "1073741824");
    limit("/user.slice/session/app", "memory.max", "max");
    limit("/memory/box", "memory.limit_in_bytes", "9223372036854771712");  // v1: no limit
    limit("/memory/small", "memory.limit_in_bytes", "536870912");
    limit("/memory/small/inner", "memory.limit_in_bytes", "9223372036854771712");
    const struct {
        const char* what;
        std::string proc_cgroup;
        uint64_t expected;
    } table[] = {
        {"v2, limited above", "0::/user.slice/session/app\n", 1073741824},
        {"v2, no limit anywhere", "0::/user.slice\n", 0},
        {"v2, a cgroup without the file", "0::/elsewhere\n", 0},
        {"v1 memory controller, no limit", "4:memory:/box\n0::/\n", 0},
        {"v1 memory controller, limited above", "7:cpu,memory:/small/inner\n", 536870912},
        {"v1 and v2: the least", "4:memory:/small\n0::/user.slice/session\n", 536870912},
        {"v1 without the memory controller", "3:cpuset:/small\n", 0},
        {"nothing", "", 0},
    };
    for (const auto& test : table) EXPECT_EQ(cgroup_memory_limit(test.proc_cgroup, root_name()), test.expected) << test.what;
}

TEST_F(MemoryLimits, UsableMemoryIsAtMostTheMachines) {
    const uint64_t machine = uint64_t(sysconf(_SC_PHYS_PAGES)) * uint64_t(sysconf(_SC_PAGE_SIZE));
    EXPECT_GT(usable_memory(), 0u);
    EXPECT_LE(usable_memory(), machine);
}

}  // namespace
