// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

// How the night page writes times, sizes and links for a reader.
namespace orbicrop::night {

// "1:02:05": a time taken, to the second.
std::string Clock(double seconds);
// "2026-12-09 21:13:20 UT": a capture time, to the second.
std::string UtText(std::int64_t utcTicks);
// "1.23 GB", or "456 MB" below a gigabyte; decimal units, as disks are sold.
std::string SizeText(std::uint64_t bytes);
// The href of an output: relative to htmlDir when the output lies under it
// (the report and its outputs move together), a file: URL otherwise.
// Relative paths are taken from the current directory, as the run gave them.
std::string OutputHref(const std::string& output, const std::string& htmlDir);

}   // namespace orbicrop::night
