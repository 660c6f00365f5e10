#include "run/allocator_tuning.h"

#include <cstdlib>
#include <string>
#include <unistd.h>

void KeepFrameBuffersInHeap(char** argv)
{
#if defined(__GLIBC__)
    constexpr const char* kSetting = "glibc.malloc.top_pad=16777216";
    const char* current = std::getenv("GLIBC_TUNABLES");
    const std::string tunables = current ? current : "";
    if (tunables.find("glibc.malloc.top_pad=") != std::string::npos)
        return;   // set already: by us before the exec, or by the user
    const std::string wanted = tunables.empty() ? kSetting : tunables + ":" + kSetting;
    if (::setenv("GLIBC_TUNABLES", wanted.c_str(), 1) != 0)
        return;
    ::execv("/proc/self/exe", argv);
    // No exec possible: go on with the defaults, only slower.
    if (current)
        ::setenv("GLIBC_TUNABLES", current, 1);
    else
        ::unsetenv("GLIBC_TUNABLES");
#else
    (void)argv;
#endif
}
