// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/process_setup.h"
#include "app/unit1.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>

namespace {
constexpr int kOpenFilesDelayMs = 300;
}   // namespace

int main(int argc, char* argv[])
{
    PrepareProcess();
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
