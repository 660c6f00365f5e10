// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/process_setup.h"
#include "app/command_line.h"
#include "app/settings_place.h"
#include "app/unit1.h"

#include <QApplication>
#include <QCoreApplication>
#include <QIcon>
#include <QTimer>

#include <cstdio>

namespace {

constexpr int kOpenFilesDelayMs = 300;

QStringList ArgumentsOf(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

// --version and --help are answered before any window, so that they work
// without a display, as the tool's do. The settings file's place needs the
// program's folder and name, which an application without a GUI gives.
int Answer(StartRequest request, int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orbicrop"));
    const QString text =
        request == StartRequest::Version ? VersionText() + QLatin1Char('\n') : HelpText(DefaultSettingsPath());
    std::fputs(text.toLocal8Bit().constData(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}   // namespace

int main(int argc, char* argv[])
{
    PrepareProcess();
    if (const StartRequest request = RequestFromArguments(ArgumentsOf(argc, argv)); request != StartRequest::Window)
        return Answer(request, argc, argv);
    QApplication application(argc, argv);
    // No display name: Qt would append it to the window title, which must
    // read exactly as the window sets it.
    QApplication::setApplicationName(QStringLiteral("orbicrop"));
    Q_INIT_RESOURCE(orbicrop);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/orbicrop.png")));

    TForm1 Form1;
    Form1.show();

    // `orbicrop FILE...` (a file manager's "Open with") opens the files as the
    // open dialog would, once the window is up and the test that loading the
    // settings scheduled has come and gone. Qt has taken its own options out.
    const QStringList files = FilesFromArguments(QCoreApplication::arguments());
    if (!files.isEmpty())
        QTimer::singleShot(kOpenFilesDelayMs, &Form1, [&Form1, files] { Form1.openFiles(files); });

    return application.exec();
}
