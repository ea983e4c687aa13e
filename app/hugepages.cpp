#include "app/hugepages.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace lumbrel {

// With small pages the first touch of every 4 KiB of a new block costs a page fault: a text
// area's gigabyte costs seconds of them on a virtual machine, all in the window's thread.
// The allocator reads this setting only when the program starts, hence the second start.
void RestartWithHugePages(char** argv)
{
    constexpr const char* Name = "GLIBC_TUNABLES";
    constexpr const char* Setting = "glibc.malloc.hugetlb";
    const char* current = std::getenv(Name);
    if (current && std::strstr(current, Setting))
        return;
    std::string value = std::string(Setting) + "=1";
    if (current && *current)
        value = std::string(current) + ":" + value;
    if (setenv(Name, value.c_str(), 1) != 0)
        return;
    execv("/proc/self/exe", argv);
    // Not started again: the setting would only confuse a program this one starts.
    if (current)
        setenv(Name, current, 1);
    else
        unsetenv(Name);
}

} // namespace lumbrel
