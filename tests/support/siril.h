// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "support/subprocess.h"
#include "support/temp_dir.h"

#include <fstream>
#include <string>

// siril-cli with a configuration of the test's own: Siril keeps its
// preferences (the ending it saves FITS with, 16-bit or float) in the
// user's configuration, which any run of it may change (a script's setext
// stays), and the tests rely on its defaults: .fit, and 32-bit floats.
inline std::string SirilCli(const TempDir& dir)
{
    const std::string config = dir.file("siril.config");
    std::ofstream(config) << "misc-settings :\n{\n  extension = \".fit\";\n  FITS_type = 1;\n};\n";
    return "siril-cli -i " + ShellQuote(config);
}
