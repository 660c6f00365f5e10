// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// What `orbicrop ARGUMENTS...` asks for: the window, which opens the files
// named (FilesFromArguments), or an answer on standard output, given
// without a window or a display.
enum class StartRequest { Window, Version, Help };

// --version or --help among the arguments before a "--" (the first of them
// counts); arguments[0] is the program. After "--" every argument is a file.
StartRequest RequestFromArguments(const QStringList& arguments);

// "orbicrop " and the project's version, as the tool gives its own.
QString VersionText();
// A short usage: the synopsis, what the window does, the options and
// where the settings file is (settingsPath).
QString HelpText(const QString& settingsPath);
