// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/process_setup.h"
#include "app/unit1.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>



namespace {
constexpr int kOpenFilesDelayMs = 300;
} // namespace

int main(int argc, char* argv[])
{
    PrepareProcess(argv);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("orbicrop"));
    QApplication::setApplicationDisplayName(QStringLiteral("Orbicrop"));
    Q_INIT_RESOURCE(orbicrop);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/orbicrop.png")));

    TForm1 Form1;
    Form1.show();

    // For tools/screenshot.sh only: files (':'-separated) opened once the
    // window is up and the test that loading the settings scheduled has come
    // and gone, exactly as a drop would open them.
    const QString files = qEnvironmentVariable("ORBICROP_OPEN_FILES");
    if (!files.isEmpty())
        QTimer::singleShot(kOpenFilesDelayMs, &Form1, [&Form1, files] { Form1.openFiles(files.split(QLatin1Char(':'), Qt::SkipEmptyParts)); });

    return application.exec();
}
