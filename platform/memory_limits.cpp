// The memory this process may really use.
#include "platform/memory_limits.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

std::string file_text(const std::string& name) {
    std::ifstream in(name);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The least of `a` and `b`, where 0 means no limit.
uint64_t least(uint64_t a, uint64_t b) { return a == 0 ? b : b == 0 ? a : std::min(a, b); }

// The limit in the file `name`: a number of bytes; "max", a missing file or anything else: 0.
uint64_t limit_in(const std::string& name) {
    const std::string text = file_text(name);
    if (text.empty() || text[0] < '0' || text[0] > '9') return 0;
    return std::strtoull(text.c_str(), nullptr, 10);
}

// The least limit in the file `leaf` of the cgroup `path` (below `mount`) and of those above it.
uint64_t least_along(const std::string& mount, std::string path, const std::string& leaf) {
    uint64_t limit = 0;
    for (;;) {
        limit = least(limit, limit_in(mount + path + "/" + leaf));
        if (path.empty() || path == "/") return limit;
        path.erase(path.find_last_of('/'));
    }
}

}  // namespace

uint64_t cgroup_memory_limit(const std::string& proc_cgroup, const std::string& root) {
    uint64_t limit = 0;
    std::istringstream lines(proc_cgroup);
    // Each line: hierarchy number, controllers, path. v2 has one hierarchy, 0, with no names.
    for (std::string line; std::getline(lines, line);) {
        const size_t first = line.find(':');
        const size_t second = line.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos) continue;
        const std::string controllers = line.substr(first + 1, second - first - 1);
        const std::string path = line.substr(second + 1);
        if (line.compare(0, first, "0") == 0 && controllers.empty()) {
            limit = least(limit, least_along(root, path, "memory.max"));
        } else if (("," + controllers + ",").find(",memory,") != std::string::npos) {
            limit = least(limit, least_along(root + "/memory", path, "memory.limit_in_bytes"));
        }
    }
    // v1 tells "no limit" by the largest page-aligned number.
    return limit >= (uint64_t(1) << 62) ? 0 : limit;
}

uint64_t usable_memory() {
    uint64_t limit = 0;
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page_size = sysconf(_SC_PAGE_SIZE);
    if (pages > 0 && page_size > 0) limit = uint64_t(pages) * uint64_t(page_size);
    limit = least(limit, cgroup_memory_limit(file_text("/proc/self/cgroup"), "/sys/fs/cgroup"));
    rlimit address_space{};
    if (getrlimit(RLIMIT_AS, &address_space) == 0 && address_space.rlim_cur != RLIM_INFINITY) {
        limit = least(limit, uint64_t(address_space.rlim_cur));
    }
    return limit;
}
