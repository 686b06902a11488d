// The memory this process may really use, which on Linux is less than what it may allocate:
// larger allocations are granted on paper and the process is killed once they are used.
#pragma once

#include <cstdint>
#include <string>

// The least of the machine's memory, the memory cgroup's limit and the address-space limit, in
// bytes; 0 when none of them can be learnt.
uint64_t usable_memory();

// The least memory limit, in bytes, of the cgroup that `proc_cgroup` (the text of
// /proc/self/cgroup) names and of the cgroups above it, read under `root` (/sys/fs/cgroup):
// memory.max of cgroup v2, or memory.limit_in_bytes of the v1 memory controller in
// root/memory. 0 when there is none.
uint64_t cgroup_memory_limit(const std::string& proc_cgroup, const std::string& root);
