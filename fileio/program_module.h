// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>

// Where a module of the program is: beside the running program (the build
// tree), else in ../lib/orbicrop from the program's folder (installed);
// empty when the program's own path cannot be read.
std::filesystem::path ModulePath(const std::string& fileName);

// A module loaded and never closed (what it gives out runs its code), and
// the address of its one entry point; null, with the path tried and the
// loader's reason, when either cannot be had.
struct LoadedModule {
    void* entry = nullptr;
    std::string path;
    std::string why;
};
LoadedModule LoadModule(const std::string& fileName, const char* symbol);
