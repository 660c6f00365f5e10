// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/command_line.h"

StartRequest RequestFromArguments(const QStringList& arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("--"))
            break;
        if (argument == QLatin1String("--version"))
            return StartRequest::Version;
        if (argument == QLatin1String("--help"))
            return StartRequest::Help;
    }
    return StartRequest::Window;
}

QString VersionText()
{
    return QStringLiteral("orbicrop " ORBICROP_VERSION);
}

QString HelpText(const QString& settingsPath)
{
    return QStringLiteral("Usage: orbicrop [FILE...]\n"
                          "Center and crop planetary videos in a window.\n"
                          "\n"
                          "The FILEs (AVI, SER, MP4, MOV, MKV, M4V, WMV, MPG, MPEG) are opened as the Open\n"
                          "button opens them: the first one that opens is tested on two frames and its\n"
                          "crop is shown. Process writes every file cropped around its planet\n"
                          "(NAME_orbic.avi, or NAME_orbic.ser) into the folder of the tested file, or into\n"
                          "the output folder chosen in \"6) Output options\".\n"
                          "\n"
                          "  --help     show this help and exit\n"
                          "  --version  show the version and exit\n"
                          "  --         the arguments after it are files, even those that begin with \"-\"\n"
                          "\n"
                          "Settings: %1\n"
                          "  (beside the program when its folder is yours or holds Orbicrop.portable,\n"
                          "  otherwise in your configuration folder)\n"
                          "For terminals and scripts: orbicrop-cli --help\n")
        .arg(settingsPath);
}
