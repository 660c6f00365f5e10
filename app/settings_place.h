// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Where "Orbicrop.ini" lives: beside the executable when its directory can be
// written, else (an installed program in /usr/bin, for example) in the user's
// configuration folder for the program.
QString SettingsPathIn(const QString& executableDir, const QString& configDir);
QString DefaultSettingsPath();
