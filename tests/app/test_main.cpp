// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the window's Qt Test classes: all of them, or the one named first on
// the command line (each is its own CTest test); the remaining arguments go
// to Qt Test.
#include "test_classes.h"

#include <QApplication>
#include <QTest>

#include <csignal>
#include <vector>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("orbicrop-tests"));
    // Closing the window is part of some tests; it must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);
    std::signal(SIGXFSZ, SIG_IGN);

    std::vector<std::unique_ptr<QObject>> classes;
    classes.push_back(MakeTestWindowLayout());
    classes.push_back(MakeTestWindowSettings());
    classes.push_back(MakeTestWindowRuns());
    classes.push_back(MakeTestWindowBadInputs());
    classes.push_back(MakeTestWindowViews());
    classes.push_back(MakeTestWindowNight());

    QStringList arguments = application.arguments();
    QString only;
    if (arguments.size() > 1 && !arguments.at(1).startsWith(QLatin1Char('-'))) {
        only = arguments.takeAt(1);
    }
    int failures = 0;
    bool ran = false;
    for (const auto& test : classes) {
        if (!only.isEmpty() && only != QLatin1String(test->metaObject()->className()))
            continue;
        ran = true;
        failures += QTest::qExec(test.get(), arguments);
    }
    if (!ran) {
        qCritical("no test class named %s", qPrintable(only));
        return 1;
    }
    return failures == 0 ? 0 : 1;
}
