// SPDX-License-Identifier: GPL-3.0-or-later
// The window as it stands before any video is opened: what the user sees at
// start, the labels that follow the sliders, the colour swatches, the gauge,
// the error box text, the version in the title and the settings file's place.
#include "test_classes.h"
#include "window_fixture.h"

#include "app/command_line.h"
#include "app/gauge.h"
#include "app/settings_place.h"
#include "app/status_bar.h"
#include "app/version.h"

#include <QTimeEdit>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QSpinBox>
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

    // --version and --help anywhere before "--"; after it, files of those names.
    void commandLineAsksForVersionOrHelpBeforeADoubleDash()
    {
        const auto request = [](std::initializer_list<const char*> words) {
            QStringList arguments{QStringLiteral("orbicrop")};
            for (const char* word : words)
                arguments << QString::fromLatin1(word);
            return int(RequestFromArguments(arguments));
        };
        QCOMPARE(request({"a.avi", "--help"}), int(StartRequest::Help));
        QCOMPARE(request({"--version", "--help"}), int(StartRequest::Version));
        QCOMPARE(request({"--", "--help"}), int(StartRequest::Window));
        QCOMPARE(request({"-help", "a.avi"}), int(StartRequest::Window));
    }

    void startsWithTheDefaultsWhenThereIsNoSettingsFile()
    {
        WindowFixture f;
        TForm1& w = f.create();
        QCOMPARE(w.windowTitle(),
                 QStringLiteral("Orbicrop " ORBICROP_TEST_VERSION " - Center and Crop Planetary AVIs"));
        QCOMPARE(w.size(), QSize(1340, 680));
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
        QCOMPARE(w.comboBayer->currentText(), QStringLiteral("From file"));
        QVERIFY(!w.checkDebayer->isChecked() && !w.comboDebayerMethod->isEnabled());
        QCOMPARE(w.comboDebayerMethod->currentText(), QStringLiteral("edge-aware"));
        QVERIFY(!w.checkLargeSize->isChecked() && !w.spinLargeWidth->isEnabled() && !w.spinLargeHeight->isEnabled());
        QVERIFY(!w.checkFullFrame->isChecked() && !w.checkAlignRgb->isChecked());
        QVERIFY(!w.checkRejectCut->isChecked() && !w.checkMaxSaturated->isChecked() && !w.checkRejectDim->isChecked());
        QCOMPARE(w.spinMinSize->text(), QStringLiteral("off"));
        QVERIFY(!w.spinMaxSaturated->isEnabled() && !w.spinRejectDim->isEnabled());
        QCOMPARE(w.spinMaxSaturated->text(), QStringLiteral("1.0 %"));
        QCOMPARE(w.spinRejectDim->text(), QStringLiteral("50 %"));
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

    // The given steps and the log first; then the options column top to
    // bottom, each of its controls with a hint; then the views' controls.
    void keyboardFocusFollowsTheStepsThenTheOptionsColumn()
    {
        WindowFixture f;
        TForm1& w = f.create();
        const QList<QWidget*> expected = {w.btnOpen,
                                          w.btnProcess,
                                          w.trackWidth,
                                          w.trackHeight,
                                          w.trackCOG,
                                          w.checkPreview,
                                          w.checkInverse,
                                          w.checkColor,
                                          w.checkY800,
                                          w.checkDebayerSafe,
                                          w.Memo1,
                                          w.comboFormat,
                                          w.checkWinJupos,
                                          w.comboFps,
                                          w.btnOutputFolder,
                                          w.btnOutputFolderReset,
                                          w.checkKeepGoing,
                                          w.comboBayer,
                                          w.checkDebayer,
                                          w.comboDebayerMethod,
                                          w.checkLargeSize,
                                          w.spinLargeWidth,
                                          w.spinLargeHeight,
                                          w.checkFullFrame,
                                          w.checkAlignRgb,
                                          w.checkLargestObject,
                                          w.checkSurface,
                                          w.spinSurfaceRefresh,
                                          w.checkRejectCut,
                                          w.spinMinSize,
                                          w.checkMaxSaturated,
                                          w.spinMaxSaturated,
                                          w.checkRejectDim,
                                          w.spinRejectDim,
                                          w.spinKeepBest,
                                          w.comboKeepBestUnit,
                                          w.checkBestFrame,
                                          w.checkFrames,
                                          w.spinFramesFirst,
                                          w.spinFramesLast,
                                          w.btnOpenFolder,
                                          w.btnNightReport,
                                          w.checkRecurse,
                                          w.checkJoinAuto,
                                          w.checkForce,
                                          w.comboRotate,
                                          w.comboFlip,
                                          w.checkMeridianFlip,
                                          w.editMeridianFlip,
                                          w.comboLevels,
                                          w.trackFrame,
                                          w.comboFiles,
                                          w.btnAnalyse};
        QList<QWidget*> seen;
        QWidget* next = w.btnOpen;
        do {
            if (expected.contains(next) && !seen.contains(next))
                seen << next;
            next = next->nextInFocusChain();
        } while (next != w.btnOpen);
        QCOMPARE(seen, expected);

        QStringList titles;
        int top = 0;
        for (QGroupBox* group : {w.groupMoreOptions, w.groupColour, w.groupCentring, w.groupReject, w.groupCalibration,
                                 w.groupCaptureTime, w.groupNight, w.groupOrientation, w.groupLevels}) {
            titles << group->title().section(QLatin1Char(')'), 0, 0);
            QVERIFY(group->y() > top);
            top = group->y();
            QCOMPARE(group->x(), w.groupMoreOptions->x());
            for (QWidget* control : group->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                if (control->focusPolicy() != Qt::NoFocus)
                    QVERIFY2(!control->toolTip().isEmpty(),
                             qPrintable(group->title() + QStringLiteral(" / ") + control->metaObject()->className()));
        }
        QCOMPARE(titles,
                 QStringList({QStringLiteral("6"), QStringLiteral("7"), QStringLiteral("8"), QStringLiteral("9"),
                              QStringLiteral("10"), QStringLiteral("11"), QStringLiteral("12"), QStringLiteral("13"),
                              QStringLiteral("14")}));
    }

    // The output options are packed close (the window's first size holds
    // them): none lies over another.
    void outputOptionsLieNoneOverAnother()
    {
        WindowFixture f;
        TForm1& w = f.create();
        const QList<QWidget*> controls = w.groupMoreOptions->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        QCOMPARE(controls.size(), 9);
        for (QWidget* mine : controls)
            for (QWidget* other : controls)
                QVERIFY2(other == mine || !other->geometry().intersects(mine->geometry()),
                         qPrintable(QStringLiteral("%1 / %2").arg(mine->metaObject()->className(),
                                                                  other->metaObject()->className())));
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
        // Within the frame's border: the platform adds it after the window is placed.
        QVERIFY2((w.frameGeometry().center() - centre).manhattanLength() <= 4,
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

    // The positions the core derives the output size from come from the
    // large size while it is checked, beyond the sliders' 40; a typed size
    // is snapped down to the 16-pixel steps once it is complete.
    void colourAndSizeGroupIsWhatTheCoreIsHanded()
    {
        WindowFixture f;
        TForm1& w = f.create();
        const WindowHost host(w);
        w.trackWidth->setValue(40);
        QCOMPARE(host.choices().widthPosition, 40);
        w.checkLargeSize->click();
        QVERIFY(w.spinLargeWidth->isEnabled() && w.spinLargeHeight->isEnabled());
        QCOMPARE(host.choices().widthPosition, 64);
        QCOMPARE(host.choices().heightPosition, 48);
        QCOMPARE(w.lblWidth->text(), QStringLiteral("1024"));
        w.spinLargeHeight->selectAll();
        QTest::keyClicks(w.spinLargeHeight, QStringLiteral("3000"));
        QTest::keyClick(w.spinLargeHeight, Qt::Key_Return);
        QCOMPARE(w.spinLargeHeight->value(), 2992);
        QCOMPARE(host.choices().heightPosition, 187);
        QCOMPARE(w.lblHeight->text(), QStringLiteral("2992"));
        w.checkLargeSize->click();
        QCOMPARE(host.choices().widthPosition, 40);
        QCOMPARE(w.lblWidth->text(), QStringLiteral("640"));

        QVERIFY(!host.choices().fullFrame);
        w.checkFullFrame->click();
        QVERIFY(host.choices().fullFrame);

        QVERIFY(!host.choices().colour.declaredBayer && !host.choices().colour.debayer);
        QCOMPARE(w.comboBayer->itemText(1), QStringLiteral("Auto"));
        w.comboBayer->setCurrentIndex(1);
        QVERIFY(host.choices().colour.detectBayer && !host.choices().colour.declaredBayer);
        w.comboBayer->setCurrentIndex(w.comboBayer->findText(QStringLiteral("GRBG")));
        w.checkDebayer->click();
        QVERIFY(w.comboDebayerMethod->isEnabled());
        w.comboDebayerMethod->setCurrentIndex(w.comboDebayerMethod->findText(QStringLiteral("bilinear")));
        const ColourOptions colour = host.choices().colour;
        QVERIFY(colour.declaredBayer == BayerPattern::Grbg && !colour.detectBayer);
        QVERIFY(colour.debayer);
        QVERIFY(colour.method == DemosaicMethod::Bilinear);
    }

    // A rejection reaches the core only while it is checked; with the unit
    // "score" spinKeepBest holds the floor in hundredths, up to 1.00.
    void rejectionsAndScoreFloorAreWhatTheCoreIsHanded()
    {
        WindowFixture f;
        TForm1& w = f.create();
        const WindowHost host(w);
        QVERIFY(!host.choices().centring.reject.active());
        w.checkRejectCut->click();
        w.spinMinSize->setValue(12);
        w.spinMaxSaturated->setValue(2.54);
        w.checkRejectDim->click();
        QVERIFY(w.spinRejectDim->isEnabled() && !w.spinMaxSaturated->isEnabled());
        CentringOptions c = host.choices().centring;
        QVERIFY(c.reject.cut);
        QCOMPARE(c.reject.minSize, 12);
        QVERIFY(!c.reject.maxSaturated);
        QVERIFY(c.reject.dimPercent == 50.0);
        w.checkMaxSaturated->click();
        QVERIFY(w.spinMaxSaturated->isEnabled());
        QVERIFY(host.choices().centring.reject.maxSaturated == 2.5);
        w.checkRejectDim->click();
        QVERIFY(!w.spinRejectDim->isEnabled() && !host.choices().centring.reject.dimPercent);

        w.comboKeepBestUnit->setCurrentIndex(w.comboKeepBestUnit->findText(QStringLiteral("frames")));
        w.spinKeepBest->setValue(300);
        w.comboKeepBestUnit->setCurrentIndex(w.comboKeepBestUnit->findText(QStringLiteral("score")));
        QCOMPARE(w.spinKeepBest->value(), 100);
        w.spinKeepBest->setValue(80);
        c = host.choices().centring;
        QCOMPARE(int(c.keepBest.kind), int(KeepBest::Kind::Floor));
        QCOMPARE(c.keepBest.floor, 0.80);
        w.spinKeepBest->setValue(0);
        QCOMPARE(w.spinKeepBest->text(), QStringLiteral("all"));
        QVERIFY(!host.choices().centring.keepBest.active());
    }

    void setControlsEnabledLeavesOpenAndTheLogAlone()
    {
        WindowFixture f;
        TForm1& w = f.create();
        w.SetControlsEnabled(false);
        QVERIFY(!w.GroupBox1->isEnabled() && !w.GroupBox2->isEnabled() && !w.GroupBox3->isEnabled());
        QVERIFY(!w.groupCentring->isEnabled() && !w.groupColour->isEnabled() && !w.groupReject->isEnabled());
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
        QTest::newRow("digit") << "Failed to add frame to AVI. Err=FFFFFFE5"
                               << "Failed to add frame to AVI. Err=FFFFFFE5.";
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

    // Beside the program only in a writable folder that is the user's own,
    // or that holds the portable marker; root, the owner of every system
    // folder, needs the marker.
    void settingsLiveBesideTheExecutableOnlyInTheUsersOwnFolder_data()
    {
        QTest::addColumn<unsigned>("owner");
        QTest::addColumn<unsigned>("user");
        QTest::addColumn<bool>("writable");
        QTest::addColumn<bool>("marker");
        QTest::addColumn<bool>("beside");
        QTest::newRow("a copy in the user's home") << 1000u << 1000u << true << false << true;
        QTest::newRow("installed, run by a user") << 0u << 1000u << false << false << false;
        QTest::newRow("installed, run by root") << 0u << 0u << true << false << false;
        QTest::newRow("root with the marker") << 0u << 0u << true << true << true;
        QTest::newRow("another user's writable folder") << 1001u << 1000u << true << false << false;
        QTest::newRow("the marker in another user's writable folder") << 1001u << 1000u << true << true << true;
        QTest::newRow("the marker in a read-only folder") << 1000u << 1000u << false << true << false;
    }
    void settingsLiveBesideTheExecutableOnlyInTheUsersOwnFolder()
    {
        QFETCH(unsigned, owner);
        QFETCH(unsigned, user);
        QFETCH(bool, writable);
        QFETCH(bool, marker);
        QFETCH(bool, beside);
        QCOMPARE(SettingsBesideExecutable(owner, user, writable, marker), beside);
    }

    // The marker is looked for in the executable's folder; a folder that
    // is gone sends the settings to the configuration folder.
    void portableMarkerKeepsTheSettingsBesideTheExecutable()
    {
        QTemporaryDir exeDir;
        QTemporaryDir configDir;
        QFile marker(exeDir.filePath(QStringLiteral("Orbicrop.portable")));
        QVERIFY(marker.open(QIODevice::WriteOnly));
        marker.close();
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
