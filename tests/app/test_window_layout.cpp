// SPDX-License-Identifier: GPL-3.0-or-later
// The window as it stands before any video is opened: what the user sees at
// start, the labels that follow the sliders, the colour swatches, the gauge,
// the error box text, the version in the title and the settings file's place.
#include "test_classes.h"
#include "window_fixture.h"

#include "app/gauge.h"
#include "app/settings_place.h"
#include "app/status_bar.h"
#include "app/version.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QScreen>
#include <QFontInfo>

namespace {

QColor Background(const QWidget* widget)
{
    return widget->palette().color(QPalette::Window);
}

}   // namespace

class TestWindowLayout : public QObject {
    Q_OBJECT
private slots:
    // The dialog shows every file a drop accepts, under names that mean
    // something on Linux, and the command line opens what follows the program.
    void openDialogListsEveryVideoTypeWeRead()
    {
        const QString filter = OpenDialogFilter();
        QVERIFY(!filter.contains(QStringLiteral("DirectShow")));
        QVERIFY(filter.startsWith(QStringLiteral("AVI (*.avi);;")));
        QVERIFY(filter.contains(QStringLiteral(";;SER (planetary cameras) (*.ser);;")));
        QVERIFY(filter.endsWith(QStringLiteral(";;All files (*)")));
        const QString videos = filter.section(QStringLiteral(";;"), 1, 1);
        QVERIFY(videos.startsWith(QStringLiteral("All video files (")));
        QStringList patterns = videos.mid(17).chopped(1).split(QLatin1Char(' '));
        for (const char* wanted : {"*.ser", "*.mp4", "*.mov", "*.mkv", "*.m4v", "*.wmv", "*.avi", "*.mpg", "*.mpeg"})
            QVERIFY2(patterns.contains(QLatin1String(wanted)), wanted);
        for (const QString& pattern : patterns)
            QVERIFY2(IsVideoFileName(QStringLiteral("/x/CAPTURE") + pattern.mid(1).toUpper()), qPrintable(pattern));
        QVERIFY(!IsVideoFileName(QStringLiteral("/x/notes.txt")));

        QCOMPARE(FilesFromArguments({QStringLiteral("orbicrop"), QStringLiteral("a.avi"), QStringLiteral("-b.ser")}),
                 QStringList({QStringLiteral("a.avi"), QStringLiteral("-b.ser")}));
        QCOMPARE(FilesFromArguments({QStringLiteral("orbicrop"), QStringLiteral("--"), QStringLiteral("--c.avi")}),
                 QStringList({QStringLiteral("--c.avi")}));
    }

    void startsWithTheDefaultsWhenThereIsNoSettingsFile()
    {
        WindowFixture f;
        TForm1& w = f.create();
        QCOMPARE(w.windowTitle(),
                 QStringLiteral("Orbicrop " ORBICROP_TEST_VERSION " - Center and Crop Planetary AVIs"));
        QCOMPARE(w.size(), QSize(1042, 590));
        QCOMPARE(w.trackCOG->value(), 5);
        QCOMPARE(w.lblCog->text(), QStringLiteral("5"));
        QCOMPARE(w.lblWidth->text(), QStringLiteral("192"));
        QCOMPARE(w.lblHeight->text(), QStringLiteral("192"));
        QCOMPARE(w.state().cropWidth, 192);
        QCOMPARE(w.state().cropHeight, 192);
        QCOMPARE(w.state().blockSize, 4);
        QVERIFY(!w.checkPreview->isChecked());
        QVERIFY(!w.checkDebayerSafe->isChecked());
        QVERIFY(!w.checkIgnoreIncomplete->isChecked());
        QVERIFY(w.checkAutocolor->isChecked());
        QVERIFY(w.checkColor->isChecked());
        QVERIFY(!w.checkDebayerSafe->isEnabled());
        QVERIFY(!w.btnProcess->isEnabled());
        QVERIFY(w.GroupBox1->isEnabled() && w.GroupBox2->isEnabled() && w.GroupBox3->isEnabled());
        QCOMPARE(w.Panel1->size(), QSize(200, 200));
        QCOMPARE(Background(w.Panel1), QColor(128, 128, 128));
        QVERIFY(w.Panel1->text().isEmpty());
        QVERIFY(!w.Image->isHidden());
        QVERIFY(w.Memo1->toPlainText().isEmpty());
        QCOMPARE(w.Gauge1->text(), QStringLiteral("0%"));
        for (int panel = 0; panel < StatusBar::kPanelCount; ++panel)
            QVERIFY(w.StatusBar1->panelText(panel).isEmpty());
        QVERIFY(w.checkIgnoreIncomplete->isHidden() && w.checkAutocolor->isHidden());
    }

    void helpTextStandsCharacterForCharacter()
    {
        WindowFixture f;
        TForm1& w = f.create();
        QCOMPARE(w.Label5->text(),
                 QStringLiteral("1 : Open your AVI file(s)\n"
                                "2 : Set the planet detection threshold while using show effect. Usually the default "
                                "value 5 is just fine. (this function is now relative to the histogram peak!). \n"
                                "    Make sure that about 95% of the planet globe is selected. \n"
                                "3: Change the image Width and Height to your likings. The planet should stay "
                                "centered while \n"
                                "    changing these values. \n"
                                "4: optional; change output options. \n"
                                "5: Process AVI(s)"));
    }

    void keyboardFocusFollowsTheStepsThenTheLog()
    {
        WindowFixture f;
        TForm1& w = f.create();
        const QList<QWidget*> expected = {w.btnOpen,   w.btnProcess,       w.trackWidth,   w.trackHeight,
                                          w.trackCOG,  w.checkPreview,     w.checkInverse, w.checkColor,
                                          w.checkY800, w.checkDebayerSafe, w.Memo1};
        QList<QWidget*> seen;
        QWidget* next = w.btnOpen;
        do {
            if (expected.contains(next) && !seen.contains(next))
                seen << next;
            next = next->nextInFocusChain();
        } while (next != w.btnOpen);
        QCOMPARE(seen, expected);
    }

    void fontsFallBackToTheNearestFacesOfTheirKind()
    {
        WindowFixture f;
        TForm1& w = f.create();
        const QFontInfo narrow(w.checkPreview->font());
        QVERIFY2(narrow.family() == QStringLiteral("Arial Narrow")
                     || narrow.family() == QStringLiteral("Liberation Sans Narrow"),
                 qPrintable(narrow.family()));
        QVERIFY(QFontInfo(w.Memo1->font()).fixedPitch());
        QVERIFY(QFontInfo(w.btnOpen->font()).bold() && QFontInfo(w.btnProcess->font()).bold());
        QVERIFY(!QFontInfo(w.lblCog->font()).bold());
        QCOMPARE(QFontInfo(w.font()).pixelSize(), 11);
    }

    void windowIsCentredWhenFirstShown()
    {
        WindowFixture f;
        TForm1& w = f.create();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QPoint centre = w.screen()->availableGeometry().center();
        QVERIFY2((w.frameGeometry().center() - centre).manhattanLength() <= 2,
                 qPrintable(QStringLiteral("window centre %1,%2")
                                .arg(w.frameGeometry().center().x())
                                .arg(w.frameGeometry().center().y())));
    }

    void slidersUpdateTheirLabelsAndRunNoTestWithoutFiles()
    {
        WindowFixture f;
        TForm1& w = f.create();
        QSignalSpy tests(&w, &TForm1::testRan);
        w.trackWidth->setValue(2);
        QCOMPARE(w.lblWidth->text(), QStringLiteral("32"));
        w.trackWidth->setValue(40);
        QCOMPARE(w.lblWidth->text(), QStringLiteral("640"));
        QCOMPARE(w.state().cropWidth, 640);
        w.trackHeight->setValue(3);
        QCOMPARE(w.lblHeight->text(), QStringLiteral("48"));
        w.trackCOG->setValue(-100);
        QCOMPARE(w.lblCog->text(), QStringLiteral("-100"));
        w.trackCOG->setValue(250);
        QCOMPARE(w.lblCog->text(), QStringLiteral("100"));
        QVERIFY(w.timerTest->isActive());
        QTest::qWait(120);
        QVERIFY(!w.timerTest->isActive());
        QCOMPARE(tests.count(), 0);
    }

    void outputModeSwitchesTheSwatchesAndDebayerSafe()
    {
        WindowFixture f;
        TForm1& w = f.create();
        QCOMPARE(Background(w.lblR), QColor(255, 0, 0));
        QCOMPARE(Background(w.lblG), QColor(0, 255, 0));
        QCOMPARE(Background(w.lblB), QColor(0, 0, 255));
        w.checkY800->click();
        QCOMPARE(Background(w.lblR), QColor(192, 192, 192));
        QCOMPARE(Background(w.lblG), QColor(128, 128, 128));
        QCOMPARE(Background(w.lblB), QColor(0, 0, 0));
        QVERIFY(w.checkDebayerSafe->isEnabled());
        w.checkDebayerSafe->click();
        w.checkColor->click();
        QVERIFY(!w.checkDebayerSafe->isEnabled());
        QVERIFY(w.checkDebayerSafe->isChecked());   // disabled, not cleared
        QCOMPARE(Background(w.lblR), QColor(255, 0, 0));
    }

    void setControlsEnabledLeavesOpenAndTheLogAlone()
    {
        WindowFixture f;
        TForm1& w = f.create();
        w.SetControlsEnabled(false);
        QVERIFY(!w.GroupBox1->isEnabled() && !w.GroupBox2->isEnabled() && !w.GroupBox3->isEnabled());
        QVERIFY(!w.trackCOG->isEnabled() && !w.checkColor->isEnabled());
        QVERIFY(!w.btnProcess->isEnabled());
        QVERIFY(w.btnOpen->isEnabled() && w.Memo1->isEnabled());
        w.SetControlsEnabled(true);
        QVERIFY(w.trackCOG->isEnabled() && w.btnProcess->isEnabled());
        // Colour output keeps "Debayer Safe" disabled inside an enabled group.
        QVERIFY(!w.checkDebayerSafe->isEnabled());
    }

    void cancelledOpenShowsNoFiles()
    {
        WindowFixture f;
        TForm1& w = f.create();
        w.Memo1->appendPlainText(QStringLiteral("old line"));
        f.answer->clear();
        w.btnOpen->click();
        QCOMPARE(w.StatusBar1->panelText(0), QStringLiteral("No Files"));
        QVERIFY(w.StatusBar1->panelText(1).isEmpty());
        QVERIFY(w.StatusBar1->panelText(2).isEmpty());
        QVERIFY(w.Image->isHidden());
        QVERIFY(!w.btnProcess->isEnabled());
        QVERIFY(w.Memo1->toPlainText().isEmpty());
        QVERIFY(f.shown->empty());
    }

    void errorBoxEndsTheMessageWithAFullStop_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter") << "Unable to write to /x/Orbicrop.ini"
                                << "Unable to write to /x/Orbicrop.ini.";
        QTest::newRow("digit") << "Failed to create AVI video work file -21"
                               << "Failed to create AVI video work file -21.";
        QTest::newRow("full stop") << "Done."
                                   << "Done.";
        QTest::newRow("exclamation sorts before") << "Failed!"
                                                  << "Failed!";
        QTest::newRow("closing parenthesis sorts before") << "(x)"
                                                          << "(x)";
        QTest::newRow("slash sorts after") << "/tmp/"
                                           << "/tmp/.";
        QTest::newRow("empty") << ""
                               << "";
    }
    void errorBoxEndsTheMessageWithAFullStop()
    {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(FormatErrorMessage(message), shown);
    }

    void gaugeShowsTheWholePercentage_data()
    {
        QTest::addColumn<int>("minimum");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("progress");
        QTest::addColumn<QString>("text");
        QTest::newRow("start") << 0 << 100 << 0 << "0%";
        QTest::newRow("truncated") << 0 << 3 << 2 << "66%";
        QTest::newRow("full") << 0 << 250 << 250 << "100%";
        QTest::newRow("offset range") << 10 << 20 << 15 << "50%";
        QTest::newRow("empty range") << 0 << 0 << 0 << "0%";
        QTest::newRow("above the maximum is clamped") << 0 << 10 << 50 << "100%";
        QTest::newRow("below the minimum is clamped") << 0 << 10 << -5 << "0%";
        QTest::newRow("no overflow in a long file") << 0 << 2000000000 << 1999999999 << "99%";
    }
    void gaugeShowsTheWholePercentage()
    {
        QFETCH(int, minimum);
        QFETCH(int, maximum);
        QFETCH(int, progress);
        QFETCH(QString, text);
        TGauge gauge;
        gauge.setMaxValue(maximum);
        gauge.setMinValue(minimum);
        gauge.setProgress(progress);
        QCOMPARE(gauge.text(), text);
        gauge.resize(200, 19);
        QVERIFY(!gauge.grab().isNull());
    }

    void versionStringBelongsToTheRunningExecutableOnly()
    {
        const std::string self = QCoreApplication::applicationFilePath().toStdString();
        QCOMPARE(QString::fromStdString(GetVersionString("", "%d.%d.%d.%d")), QStringLiteral(ORBICROP_TEST_VERSION));
        QCOMPARE(QString::fromStdString(GetVersionString(" \t\n", "%d.%d.%d.%d")),
                 QStringLiteral(ORBICROP_TEST_VERSION));
        QCOMPARE(QString::fromStdString(GetVersionString("  " + self + " ", "%d.%d.%d.%d")),
                 QStringLiteral(ORBICROP_TEST_VERSION));
        QCOMPARE(QString::fromStdString(GetVersionString("/bin/sh", "%d.%d.%d.%d")), QString());
        QCOMPARE(QString::fromStdString(GetVersionString("/no/such/file", "%d.%d.%d.%d")), QString());
        QCOMPARE(QString::fromStdString(FormatVersion("v%d-%d %% %s %d%d%d", {1, 2, 3, 4})),
                 QStringLiteral("v1-2 % %s 34"));
    }

    void settingsLiveBesideTheExecutableOnlyWhereItCanBeWritten()
    {
        QTemporaryDir exeDir;
        QTemporaryDir configDir;
        QCOMPARE(SettingsPathIn(exeDir.path(), configDir.path()), exeDir.filePath(QStringLiteral("Orbicrop.ini")));
        const QString missing = exeDir.filePath(QStringLiteral("gone"));
        QCOMPARE(SettingsPathIn(missing, configDir.path()), configDir.filePath(QStringLiteral("Orbicrop.ini")));
    }
};

std::unique_ptr<QObject> MakeTestWindowLayout()
{
    return std::make_unique<TestWindowLayout>();
}

#include "test_window_layout.moc"
