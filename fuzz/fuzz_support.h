// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>

// Names the broken property: the checks are inlined, so a stack trace alone
// would not.
inline void FuzzCheck(bool condition, const char* text, int line)
{
    if (!condition) {
        std::fprintf(stderr, "check failed at line %d: %s\n", line, text);
        std::abort();
    }
}
#define CHECK(condition) FuzzCheck((condition), #condition, __LINE__)

// A directory of its own for one input, removed after it. In memory where
// the system has such a file system: the files are written at every input.
class FuzzScratch {
public:
    explicit FuzzScratch(const std::string& name)
    {
        namespace fs = std::filesystem;
        const fs::path shm = "/dev/shm";
        std::error_code ec;
        const fs::path base = fs::is_directory(shm, ec) ? shm : fs::temp_directory_path();
        m_dir = base / ("orbicrop-fuzz-" + name + "-" + std::to_string(::getpid()));
        fs::create_directories(m_dir);
    }
    ~FuzzScratch()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }
    FuzzScratch(const FuzzScratch&) = delete;
    FuzzScratch& operator=(const FuzzScratch&) = delete;
    std::string file(const char* name) const { return (m_dir / name).string(); }

private:
    std::filesystem::path m_dir;
};
