// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// A file of this name beside the executable keeps the settings there.
constexpr const char* kPortableMarkerName = "Orbicrop.portable";

// Whether "Orbicrop.ini" belongs in the executable's folder, which the
// program can write: when the user running it owns that folder (a copy
// unpacked in the user's home) or the folder holds the portable marker.
// Elsewhere (an installed program in /usr/bin) it goes into the user's
// configuration folder. root owns every system folder, so for root (user 0)
// owning tells nothing and only the marker counts.
bool SettingsBesideExecutable(unsigned folderOwner, unsigned user, bool folderWritable, bool portableMarker);

// Where "Orbicrop.ini" lives, by the rule above for the running user.
QString SettingsPathIn(const QString& executableDir, const QString& configDir);
QString DefaultSettingsPath();
