// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileio/program_module.h"

#include <system_error>

#include <dlfcn.h>

std::filesystem::path ModulePath(const std::string& fileName)
{
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return {};
    const std::filesystem::path folder = program.parent_path();
    const std::filesystem::path beside = folder / fileName;
    if (std::filesystem::exists(beside, error))
        return beside;
    return folder.parent_path() / ORBICROP_MODULE_DIR / fileName;
}

LoadedModule LoadModule(const std::string& fileName, const char* symbol)
{
    const std::filesystem::path path = ModulePath(fileName);
    // Functions are bound on first call: binding every library's functions
    // up front costs each run milliseconds for code it may never call. A
    // missing library still fails the load here. (An empty path is not
    // tried: dlopen would search the library path for it.)
    void* module = path.empty() ? nullptr : ::dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
    void* entry = module != nullptr ? ::dlsym(module, symbol) : nullptr;
    if (entry != nullptr)
        return {entry, path.string(), {}};
    const char* why = path.empty() ? "/proc/self/exe cannot be read" : ::dlerror();
    return {nullptr, path.string(), why != nullptr ? why : "no reason given"};
}
