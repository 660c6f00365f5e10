// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file as the window reads it at start and writes it at exit.
#include "test_classes.h"
#include "window_fixture.h"

#include "settings/kept_lines.h"

#include <QLineEdit>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>

#include <atomic>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

QByteArray RandomBytes(int size, unsigned seed)
{
    std::mt19937 rng(seed);
    QByteArray bytes(size, '\0');
    for (char& c : bytes)
        c = char(rng() & 0xFF);
    return bytes;
}

QByteArray TenMegabytesOfOneSection()
{
    // 400 000 lines in the section of the size, the program's key last.
    QByteArray s("[Size]\n");
    while (s.size() < (10 << 20))
        s += "note" + QByteArray::number(s.size()) + "=not ours\n";
    return s + "width=30\n";
}

// The controls as the settings file sets them.
struct Controls {
    int threshold = 5;
    int width = 12;
    int height = 12;
    bool showEffect = false;
    bool autoColor = true;
};

void ExpectControls(const TForm1& w, const Controls& c)
{
    QCOMPARE(w.trackCOG->value(), c.threshold);
    QCOMPARE(w.trackWidth->value(), c.width);
    QCOMPARE(w.trackHeight->value(), c.height);
    QCOMPARE(w.checkPreview->isChecked(), c.showEffect);
    QCOMPARE(w.checkAutocolor->isChecked(), c.autoColor);
    QVERIFY(!w.checkIgnoreIncomplete->isChecked());
    QVERIFY(!w.checkDebayerSafe->isChecked());
    QVERIFY(w.checkColor->isChecked());
}

}   // namespace

Q_DECLARE_METATYPE(Controls)

class TestWindowSettings : public QObject {
    Q_OBJECT
private slots:
    void storedSizeFourShowsSixtyFourRightAfterStart()
    {
        WindowFixture f;
        f.writeSettings("[Size]\nwidth=4\nheight=4\n");
        TForm1& w = f.create();
        QCOMPARE(w.lblWidth->text(), QStringLiteral("64"));
        QCOMPARE(w.lblHeight->text(), QStringLiteral("64"));
        QCOMPARE(w.state().cropWidth, 64);
        QCOMPARE(w.state().cropHeight, 64);
    }

    void valuesAreClampedAndReadAsTheirControlsRead_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("threshold");
        QTest::addColumn<QString>("cogLabel");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("above the ranges")
            << QByteArray("[COG]\nthreshold=250\n[Size]\nwidth=99\nheight=41\n") << 100 << "100" << 40 << 40;
        QTest::newRow("below the ranges")
            << QByteArray("[COG]\nthreshold=-300\n[Size]\nwidth=1\nheight=0\n") << -100 << "-100" << 2 << 2;
        QTest::newRow("letters and hexadecimal")
            << QByteArray("[cog]\nTHRESHOLD=$A\n[Size]\nwidth=abc\nheight=0x10\n") << 10 << "10" << 12 << 16;
    }
    void valuesAreClampedAndReadAsTheirControlsRead()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, threshold);
        QFETCH(QString, cogLabel);
        QFETCH(int, width);
        QFETCH(int, height);
        WindowFixture f;
        f.writeSettings(file);
        TForm1& w = f.create();
        QCOMPARE(w.trackCOG->value(), threshold);
        QCOMPARE(w.lblCog->text(), cogLabel);
        QCOMPARE(w.trackWidth->value(), width);
        QCOMPARE(w.trackHeight->value(), height);
        QCOMPARE(w.lblWidth->text(), QString::number(width * 16));
        QCOMPARE(w.lblHeight->text(), QString::number(height * 16));
    }

    void optionsComeFromTheFileButTheModeDoesNot()
    {
        WindowFixture f;
        f.writeSettings("[COG]\nshoweffect=2\n[Output]\nignoreIncomplete=1\nautocolor=0\ndebayersafe=1\ncolor=0\n");
        TForm1& w = f.create();
        QVERIFY(w.checkPreview->isChecked());
        QVERIFY(w.checkIgnoreIncomplete->isChecked());
        QVERIFY(!w.checkAutocolor->isChecked());
        QVERIFY(w.checkDebayerSafe->isChecked());
        QVERIFY(w.checkColor->isChecked());
        QVERIFY(!w.checkDebayerSafe->isEnabled());
    }

    // The centring group loads its keys, hands them to the core as the tool's
    // options would, and saves them back at exit; a file without them gets
    // none (see firstExitCreatesTheFileWithAllNineKeys).
    void centringChoicesComeFromTheirSectionAndGoBack()
    {
        WindowFixture f;
        f.writeSettings("[Centring]\nlargestobject=1\nsurfacerefresh=20\nkeepbest=300\nkeepbestframes=1\n");
        TForm1& w = f.create();
        QVERIFY(w.checkLargestObject->isChecked());
        QVERIFY(!w.checkSurface->isChecked());
        QCOMPARE(w.spinKeepBest->value(), 300);
        const CentringOptions c = w.centring();
        QVERIFY(c.largestObject);
        QCOMPARE(c.surfaceRefresh, 20);
        QCOMPARE(int(c.keepBest.kind), int(KeepBest::Kind::Count));
        QCOMPARE(c.keepBest.value, 300);
        w.checkSurface->click();
        w.checkBestFrame->click();
        f.form.reset();
        QCOMPARE(f.readSettings(),
                 QByteArray("[Centring]\nlargestobject=1\nsurfacerefresh=20\nkeepbest=300\n"
                            "keepbestframes=1\nsurface=1\nbestframe=1\n"
                            "[COG]\nthreshold=5\nshoweffect=0\n"
                            "[Output]\nignoreIncomplete=0\nautocolor=1\ncolor=1\ndebayersafe=0\n"
                            "[Size]\nwidth=12\nheight=12\nauto=0\n"));
    }

    // A size typed into the file by hand is snapped as a typed one is; the
    // keys come back as the controls left them, the new ones in the sections
    // they belong to.
    void colourAndSizeChoicesComeFromTheFileAndGoBack()
    {
        WindowFixture f;
        f.writeSettings("[Colour]\nbayer=bggr\ndebayer=1\n[Size]\nlarge=1\nlargewidth=1000\n");
        TForm1& w = f.create();
        QCOMPARE(w.comboBayer->currentText(), QStringLiteral("BGGR"));
        QVERIFY(w.checkDebayer->isChecked() && w.comboDebayerMethod->isEnabled());
        QVERIFY(w.checkLargeSize->isChecked() && w.spinLargeWidth->isEnabled());
        QCOMPARE(w.spinLargeWidth->value(), 992);
        QCOMPARE(w.lblWidth->text(), QStringLiteral("992"));
        QCOMPARE(w.state().cropHeight, 768);
        w.comboDebayerMethod->setCurrentIndex(w.comboDebayerMethod->findText(QStringLiteral("bilinear")));
        w.checkLargeSize->click();
        w.checkFullFrame->click();
        f.form.reset();
        QCOMPARE(f.readSettings(),
                 QByteArray("[Colour]\nbayer=BGGR\ndebayer=1\ndebayermethod=bilinear\n"
                            "[Size]\nlarge=0\nlargewidth=992\nwidth=12\nheight=12\nauto=0\nwholeframe=1\n"
                            "[COG]\nthreshold=5\nshoweffect=0\n"
                            "[Output]\nignoreIncomplete=0\nautocolor=1\ncolor=1\ndebayersafe=0\n"));
    }

    // The rejections and the score floor load into their controls and go
    // back as the controls leave them; a rejection taken back stays "off".
    void rejectionsAndScoreFloorComeFromTheFileAndGoBack()
    {
        WindowFixture f;
        f.writeSettings("[Centring]\nkeepbest=85\nkeepbestscore=1\n[Reject]\ncut=1\nminsize=20\nmaxsaturated=2.5\n");
        TForm1& w = f.create();
        QCOMPARE(w.comboKeepBestUnit->currentText(), QStringLiteral("score"));
        QCOMPARE(w.spinKeepBest->value(), 85);
        QVERIFY(w.checkRejectCut->isChecked());
        QCOMPARE(w.spinMinSize->value(), 20);
        QVERIFY(w.checkMaxSaturated->isChecked() && w.spinMaxSaturated->isEnabled());
        QCOMPARE(w.spinMaxSaturated->value(), 2.5);
        QVERIFY(!w.checkRejectDim->isChecked() && !w.spinRejectDim->isEnabled());
        w.checkMaxSaturated->click();
        w.checkRejectDim->click();
        w.spinRejectDim->setValue(35);
        f.form.reset();
        QCOMPARE(f.readSettings(),
                 QByteArray("[Centring]\nkeepbest=85\nkeepbestscore=1\nlargestobject=0\nsurface=0\nsurfacerefresh=50\n"
                            "keepbestframes=0\nbestframe=0\n"
                            "[Reject]\ncut=1\nminsize=20\nmaxsaturated=off\ndim=35\n"
                            "[COG]\nthreshold=5\nshoweffect=0\n"
                            "[Output]\nignoreIncomplete=0\nautocolor=1\ncolor=1\ndebayersafe=0\n"
                            "[Size]\nwidth=12\nheight=12\nauto=0\n"));
    }

    // Align R, B comes from its key, reaches the runs as a correction and
    // goes back; a window that never had it writes no key.
    void alignRgbComesFromTheFileReachesTheRunsAndGoesBack()
    {
        WindowFixture f;
        f.writeSettings("[Colour]\nalignrgb=1\n");
        TForm1& w = f.create();
        const WindowHost host(w);
        QVERIFY(w.checkAlignRgb->isChecked());
        QVERIFY(host.choices().colour.alignRgb == AlignRgb::Correct);
        w.checkAlignRgb->click();
        QVERIFY(host.choices().colour.alignRgb == AlignRgb::Off);
        f.form.reset();
        const QByteArray saved = f.readSettings();
        QVERIFY2(saved.startsWith("[Colour]\nalignrgb=0\n"), saved.constData());

        WindowFixture plain;
        plain.create();
        plain.form.reset();
        QVERIFY(!plain.readSettings().contains("alignrgb"));
    }

    // Levels come from their key, reach the runs, and go back as typed; a
    // window that never had them writes no key.
    void levelsComeFromTheFileReachTheRunsAndGoBack()
    {
        WindowFixture f;
        f.writeSettings("[Colour]\nlevels=auto\n");
        TForm1& w = f.create();
        const WindowHost host(w);
        QCOMPARE(w.comboLevels->currentText(), QStringLiteral("auto"));
        QVERIFY(host.choices().colour.levels && host.choices().colour.levels->automatic);
        w.comboLevels->setCurrentText(QStringLiteral("212:1180:1.5"));
        const auto typed = host.choices().colour.levels;
        QVERIFY(typed && typed->black == 212 && typed->white == 1180 && typed->gamma == 1.5);
        f.form.reset();
        QVERIFY2(f.readSettings().contains("levels=212:1180:1.5\n"), f.readSettings().constData());

        WindowFixture plain;
        plain.create();
        QVERIFY(!plain.form->comboLevels->currentText().isEmpty());
        plain.form.reset();
        QVERIFY(!plain.readSettings().contains("levels"));
    }

    void outputFormatHasItsOwnKeysReadBackAndRewritten()
    {
        WindowFixture f;
        f.writeSettings("[Output]\nformat=SER\nwinjuposname=1\n");
        TForm1& w = f.create();
        QCOMPARE(w.comboFormat->currentIndex(), 1);
        QVERIFY(w.checkWinJupos->isChecked() && w.checkWinJupos->isEnabled());
        w.comboFormat->setCurrentIndex(0);
        QVERIFY(!w.checkWinJupos->isEnabled());
        f.form.reset();
        const QByteArray saved = f.readSettings();
        QVERIFY2(saved.contains("[Output]\nformat=avi\nwinjuposname=1\n"), saved.constData());

        // A folder of FITS files: the list's fourth entry, saved by its name.
        f.writeSettings("[Output]\nformat=fits\n");
        TForm1& again = f.create();
        QCOMPARE(again.comboFormat->currentText(), QStringLiteral("FITS"));
        f.form.reset();
        QVERIFY2(f.readSettings().contains("format=fits\n"), f.readSettings().constData());
    }

    // The folder comes into the label and goes back as the window leaves it:
    // taken back, it is saved empty, which reads as the default. Keep going
    // likewise.
    void outputFolderAndKeepGoingComeFromTheFileAndGoBack()
    {
        WindowFixture f;
        f.writeSettings("[Output]\nfolder=/data/night of 12 May\n[Batch]\nkeepgoing=1\n");
        TForm1& w = f.create();
        QCOMPARE(w.outputFolder(), QStringLiteral("/data/night of 12 May"));
        QCOMPARE(w.lblOutputFolder->toolTip(), QStringLiteral("/data/night of 12 May"));
        QVERIFY(w.checkKeepGoing->isChecked());
        w.btnOutputFolderReset->click();
        w.checkKeepGoing->click();
        f.form.reset();
        const QByteArray saved = f.readSettings();
        QVERIFY2(saved.startsWith("[Output]\nfolder=\n"), saved.constData());
        QVERIFY2(saved.contains("[Batch]\nkeepgoing=0\n"), saved.constData());
    }

    // The masters come from their section and are what the runs take; one
    // chosen in the dialog and one taken back are saved so; a file that
    // never chose calibration gains no section.
    void calibrationComesFromTheFileReachesTheRunsAndGoesBack()
    {
        WindowFixture f;
        f.writeSettings("[Calibration]\ndark=/masters/dark 120s.fits\nhotpixels=auto\n");
        TForm1& w = f.create();
        const WindowHost host(w);
        QCOMPARE(w.lblDark->text(), QStringLiteral("dark 120s.fits"));
        QCOMPARE(w.lblDark->toolTip(), QStringLiteral("/masters/dark 120s.fits"));
        QVERIFY(w.btnDarkClear->isEnabled());
        QVERIFY(!w.btnFlatClear->isEnabled());
        CalibrationOptions expected;
        expected.dark = "/masters/dark 120s.fits";
        expected.hotPixels = HotPixels::Auto;
        QVERIFY(host.choices().calibration == expected);
        *f.answer = {QStringLiteral("/masters/flat.fits")};
        w.btnFlat->click();
        w.btnDarkClear->click();
        expected.dark.clear();
        expected.flat = "/masters/flat.fits";
        QVERIFY(host.choices().calibration == expected);
        f.form.reset();
        const QByteArray saved = f.readSettings();
        QVERIFY2(saved.contains("[Calibration]\ndark=\nhotpixels=auto\nflat=/masters/flat.fits\n"), saved.constData());

        WindowFixture plain;
        plain.create();
        plain.form.reset();
        QVERIFY(!plain.readSettings().contains("Calibration"));
        QVERIFY(!plain.readSettings().contains("[Time]"));
    }

    // The name pattern and offset come from their section and reach the
    // runs; a text that is no pattern is marked and not used.
    void captureTimeComesFromTheFileAndOnlyAPatternReachesTheRuns()
    {
        WindowFixture f;
        f.writeSettings("[Time]\nnamepattern=%Y%m%d_%H%M%S\nutcoffset=+02:00\n");
        TForm1& w = f.create();
        const WindowHost host(w);
        QCOMPARE(host.choices().nameTime.pattern, std::string("%Y%m%d_%H%M%S"));
        QCOMPARE(host.choices().nameTime.utcOffsetSeconds, std::optional<std::int32_t>(7200));
        w.editNameTime->setText(QStringLiteral("%H%M"));
        QVERIFY(host.choices().nameTime.pattern.empty());
        QVERIFY(!w.editNameTime->styleSheet().isEmpty());
        w.editUtcOffset->clear();
        QCOMPARE(host.choices().nameTime.utcOffsetSeconds, std::optional<std::int32_t>());
        f.form.reset();
        const QByteArray saved = f.readSettings();
        QVERIFY2(saved.contains("[Time]\nnamepattern=%H%M\nutcoffset=\n"), saved.constData());
    }

    // The rate comes from the file as it is kept, reaches the runs, and a
    // choice made in the list or typed goes back; what is no rate goes back
    // to the default. It is the AVI's alone.
    void frameRateComesFromTheFileReachesTheRunsAndGoesBack()
    {
        WindowFixture f;
        f.writeSettings("[Output]\nfps=59.940\n");
        TForm1& w = f.create();
        const WindowHost host(w);
        QCOMPARE(w.comboFps->currentText(), QStringLiteral("59.94"));
        QVERIFY(host.choices().outputRate == (OutputRate{false, {60000, 1001}}));
        const auto type = [&w](const char* text) {
            w.comboFps->lineEdit()->selectAll();
            QTest::keyClicks(w.comboFps->lineEdit(), QString::fromLatin1(text));
            QTest::keyClick(w.comboFps->lineEdit(), Qt::Key_Return);
        };
        type("12.50");
        QCOMPARE(w.comboFps->currentText(), QStringLiteral("12.5"));
        QVERIFY(host.choices().outputRate == (OutputRate{false, {25, 2}}));
        type("0");
        QCOMPARE(w.comboFps->currentText(), QStringLiteral("30 (default)"));
        QVERIFY(host.choices().outputRate.isDefault());
        w.comboFps->setCurrentIndex(1);
        QVERIFY(host.choices().outputRate.source);
        w.comboFormat->setCurrentIndex(1);
        QVERIFY(!w.comboFps->isEnabled());
        w.comboFormat->setCurrentIndex(0);
        QVERIFY(w.comboFps->isEnabled());
        f.form.reset();
        const QByteArray saved = f.readSettings();
        QVERIFY2(saved.contains("[Output]\nfps=source\n"), saved.constData());
    }

    // The open dialog shows the filter files were last chosen with, in the
    // window's life and at the next start; the file names it by a word.
    void openDialogShowsTheFilterUsedLast()
    {
        WindowFixture f;
        const QString ser = QStringLiteral("SER (planetary cameras) (*.ser)");
        TForm1& w = f.create();
        QVERIFY(f.settle());
        *f.filterChosen = ser;
        f.open({f.writeClip(QStringLiteral("clip.avi"), LargeClip(), 3)});
        f.filterChosen->clear();
        f.open({f.path(QStringLiteral("clip.avi"))});
        QCOMPARE(*f.filtersShown, QStringList({QStringLiteral("AVI (*.avi)"), ser}));
        QVERIFY(w.btnProcess->isEnabled());
        f.form.reset();
        const QByteArray saved = f.readSettings();
        QVERIFY2(saved.contains("[Open]\nfilter=ser\n"), saved.constData());
        f.create();
        f.open({f.path(QStringLiteral("clip.avi"))});
        QCOMPARE(f.filtersShown->back(), ser);
    }

    // How a folder opens is kept once chosen; redoing what was done is a
    // one-off, never kept.
    void nightChoicesAreWrittenOnceChosenAndRedoNever()
    {
        WindowFixture f;
        f.create();
        f.form.reset();
        QVERIFY2(!f.readSettings().contains("[Night]"), f.readSettings().constData());

        TForm1& w = f.create();
        w.checkRecurse->click();
        w.checkForce->click();
        f.form.reset();
        QByteArray saved = f.readSettings();
        QVERIFY2(saved.endsWith("[Night]\nrecurse=1\n"), saved.constData());

        TForm1& again = f.create();
        QVERIFY(again.checkRecurse->isChecked() && !again.checkJoinAuto->isChecked() && !again.checkForce->isChecked());
        again.checkRecurse->click();
        again.checkJoinAuto->click();
        f.form.reset();
        saved = f.readSettings();
        QVERIFY2(saved.endsWith("[Night]\nrecurse=0\njoinauto=1\n"), saved.constData());
    }

    void emptyAutocolorKeepsTheAutomaticChoice()
    {
        WindowFixture f;
        f.writeSettings("[Output]\nautocolor=\n");
        QVERIFY(f.create().checkAutocolor->isChecked());
    }

    void firstExitCreatesTheFileWithAllNineKeys()
    {
        WindowFixture f;
        f.create();
        f.form.reset();
        QCOMPARE(f.readSettings(),
                 QByteArray("[COG]\nthreshold=5\nshoweffect=0\n"
                            "[Output]\nignoreIncomplete=0\nautocolor=1\ncolor=1\ndebayersafe=0\n"
                            "[Size]\nwidth=12\nheight=12\nauto=0\n"));
        QVERIFY(f.shown->empty());
    }

    void exitWritesTheControlsAndKeepsEverythingElse()
    {
        WindowFixture f;
        f.writeSettings("; Orbicrop settings, edited by hand\r\n"
                        "[Size]\r\n"
                        "auto=1\r\n"
                        "width=4\r\n"
                        "\r\n"
                        "[Camera]\r\n"
                        "gain=300 ; the good night\r\n"
                        "[Output]\r\n"
                        "color=0\r\n");
        TForm1& w = f.create();
        w.trackCOG->setValue(-12);
        w.trackWidth->setValue(20);
        w.checkY800->click();
        w.checkDebayerSafe->click();
        f.form.reset();
        QCOMPARE(f.readSettings(),
                 QByteArray("; Orbicrop settings, edited by hand\r\n"
                            "[Size]\r\n"
                            "auto=0\r\n"
                            "width=20\r\n"
                            "height=12\r\n"
                            "\r\n"
                            "[Camera]\r\n"
                            "gain=300 ; the good night\r\n"
                            "[Output]\r\n"
                            "color=0\r\n"
                            "ignoreIncomplete=0\r\n"
                            "autocolor=1\r\n"
                            "debayersafe=1\r\n"
                            "[COG]\r\n"
                            "threshold=-12\r\n"
                            "showeffect=0\r\n"));
    }

    void fileThatCannotBeWrittenIsReportedAtExit()
    {
        WindowFixture f;
        // A plain file where the folder should be: neither the folder nor the
        // settings file can be made.
        QFile blocker(f.path(QStringLiteral("plain")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QString unwritable = f.path(QStringLiteral("plain/Orbicrop.ini"));
        f.create(unwritable);
        f.form.reset();
        QCOMPARE(f.shown->size(), std::size_t(1));
        QCOMPARE(f.shown->front().kind, MessageSink::Kind::Error);
        QCOMPARE(f.shown->front().text, QStringLiteral("Unable to write to ") + unwritable + QStringLiteral("."));
    }

    void missingConfigurationFolderIsMadeAtExit()
    {
        WindowFixture f;
        const QString nested = f.path(QStringLiteral("config/orbicrop/Orbicrop.ini"));
        f.create(nested);
        f.form.reset();
        QVERIFY(QFileInfo::exists(nested));
        QVERIFY(f.shown->empty());
    }
    void damagedFileStartsWithWhatCanBeReadAndKeepsEveryOtherLine_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<Controls>("controls");
        QTest::addColumn<QList<int>>("changeable");   // lines of the program's own keys
        QTest::newRow("binary garbage") << RandomBytes(64 * 1024, 7) << Controls{} << QList<int>{};
        QTest::newRow("garbage around sections")
            << RandomBytes(20000, 8) + "\n[COG]\nthreshold=-40\n[Size]\nwidth=20\n" + RandomBytes(20000, 9)
            << Controls{-40, 20}
            << QList<int>{int(LineCount((RandomBytes(20000, 8) + "\n").toStdString())) + 1,
                          int(LineCount((RandomBytes(20000, 8) + "\n").toStdString())) + 3};
        QTest::newRow("lines without an equals sign")
            << QByteArray("[COG]\njust words\nthreshold 30\n=\nthreshold=30\n[Size]\nwidth\nwidth=20\n")
            << Controls{30, 20} << QList<int>{4, 7};
        QTest::newRow("duplicate keys and sections")
            << QByteArray("[COG]\nthreshold=11\nthreshold=12\n[Size]\nwidth=3\n[cog]\nthreshold=13\n"
                          "[COG]\nshoweffect=1\n[Size]\nwidth=9\nheight=9\n")
            << Controls{11, 3} << QList<int>{1, 4};
        static const char nul[] = "[COG]\nthreshold=2\0\n[Size]\nwid\0th=30\nwidth=6\nheight=1\0\0\n; \0 x\n"
                                  "\0[Output]\nautocolor=0\n\0\0";
        QTest::newRow("NUL bytes") << QByteArray(nul, sizeof nul - 1) << Controls{5, 6} << QList<int>{1, 4, 5};
        QTest::newRow("very long lines") << "; " + QByteArray(3000000, 'c') + "\n[" + QByteArray(1000000, 'S')
                + "]\nk=v\n[COG]\nthreshold=" + QByteArray(1000000, '9') + "\nshoweffect=1\n"
                                         << Controls{5, 12, 12, true} << QList<int>{4, 5};
        QTest::newRow("CRLF") << QByteArray("[COG]\r\nthreshold=21\r\n[Mine]\r\nx=1\r\n\r\n[Size]\r\nheight=30\r\n")
                              << Controls{21, 12, 30} << QList<int>{1, 6};
        QTest::newRow("ten megabytes") << TenMegabytesOfOneSection() << Controls{5, 30}
                                       << QList<int>{int(LineCount(TenMegabytesOfOneSection().toStdString())) - 1};
    }
    void damagedFileStartsWithWhatCanBeReadAndKeepsEveryOtherLine()
    {
        QFETCH(QByteArray, content);
        QFETCH(Controls, controls);
        QFETCH(QList<int>, changeable);
        WindowFixture f;
        f.writeSettings(content);
        QCOMPARE(f.readSettings().size(), content.size());
        QElapsedTimer clock;
        clock.start();
        TForm1& w = f.create();
        const qint64 started = clock.elapsed();
        ExpectControls(w, controls);
        w.trackCOG->setValue(-17);
        w.trackWidth->setValue(7);
        clock.restart();
        f.form.reset();
        const qint64 exited = clock.elapsed();
        qInfo("start %lld ms, exit %lld ms", static_cast<long long>(started), static_cast<long long>(exited));
        QVERIFY(started < 10000 && exited < 10000);
        QVERIFY(f.shown->empty());

        const QByteArray saved = f.readSettings();
        const std::vector<std::size_t> lines(changeable.begin(), changeable.end());
        const std::string problem = LinesKeptProblem(content.toStdString(), saved.toStdString(), lines);
        QVERIFY2(problem.empty(), problem.c_str());
        // The next start reads what this exit saved.
        TForm1& again = f.create();
        QCOMPARE(again.trackCOG->value(), -17);
        QCOMPARE(again.trackWidth->value(), 7);
    }

    void directoryNamedLikeTheFileStartsWithDefaultsAndIsReportedAtExit()
    {
        WindowFixture f;
        QVERIFY(QDir(f.dir.path()).mkpath(QStringLiteral("Orbicrop.ini")));
        QFile inside(f.path(QStringLiteral("Orbicrop.ini/inside")));
        QVERIFY(inside.open(QIODevice::WriteOnly));
        inside.write("[COG]\nthreshold=50\n");
        inside.close();
        TForm1& w = f.create();
        ExpectControls(w, Controls{});
        QVERIFY(f.shown->empty());
        w.trackCOG->setValue(-17);
        f.form.reset();
        QCOMPARE(f.shown->size(), std::size_t(1));
        QCOMPARE(f.shown->front().kind, MessageSink::Kind::Error);
        QCOMPARE(f.shown->front().text, QStringLiteral("Unable to write to ") + f.settingsPath() + QStringLiteral("."));
        QVERIFY(QFileInfo(f.settingsPath()).isDir());
        QVERIFY(inside.open(QIODevice::ReadOnly));
        QCOMPARE(inside.readAll(), QByteArray("[COG]\nthreshold=50\n"));
        QCOMPARE(QDir(f.dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("Orbicrop.ini")});
    }

    void fileWithoutReadPermissionStartsWithDefaultsAndIsNotOverwritten()
    {
        if (geteuid() == 0)
            QSKIP("root reads a file whatever its permission bits (the directory case covers what root cannot read)");
        WindowFixture f;
        f.writeSettings("[COG]\nthreshold=50\n[Mine]\nkeep=1\n");
        QVERIFY(QFile::setPermissions(f.settingsPath(), QFileDevice::Permissions()));
        TForm1& w = f.create();
        ExpectControls(w, Controls{});
        f.form.reset();
        QCOMPARE(f.shown->size(), std::size_t(1));
        QCOMPARE(f.shown->front().text, QStringLiteral("Unable to write to ") + f.settingsPath() + QStringLiteral("."));
        QVERIFY(QFile::setPermissions(f.settingsPath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QCOMPARE(f.readSettings(), QByteArray("[COG]\nthreshold=50\n[Mine]\nkeep=1\n"));
    }

    void namedPipeDoesNotBlockTheStart()
    {
        WindowFixture f;
        const QByteArray pipe = QFile::encodeName(f.settingsPath());
        QVERIFY(mkfifo(pipe.constData(), 0600) == 0);
        // Should the start wait for a writer, one comes after five seconds.
        std::atomic<bool> started{false};
        std::thread rescue([&] {
            for (int i = 0; i < 50 && !started; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (!started) {
                const int fd = open(pipe.constData(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0)
                    close(fd);
            }
        });
        QElapsedTimer clock;
        clock.start();
        TForm1& w = f.create();
        started = true;
        rescue.join();
        QVERIFY2(clock.elapsed() < 5000, "the start waited for a writer to the pipe");
        ExpectControls(w, Controls{});
        f.form.reset();
        QCOMPARE(f.shown->size(), std::size_t(1));
        QCOMPARE(f.shown->front().text, QStringLiteral("Unable to write to ") + f.settingsPath() + QStringLiteral("."));
        struct stat st {};
        QVERIFY(lstat(pipe.constData(), &st) == 0);
        QVERIFY(S_ISFIFO(st.st_mode));
    }

    // "13) Orientation" shows the keys, hands them to the runs and saves
    // what the controls then say.
    void orientationComesFromTheFileReachesTheRunsAndGoesBack()
    {
        WindowFixture f;
        f.writeSettings("[Colour]\nrotate=90\nflip=h\nmeridianflip=23:40\n");
        TForm1& w = f.create();
        const WindowHost host(w);
        QCOMPARE(w.comboRotate->currentData().toInt(), 90);
        QVERIFY(w.checkMeridianFlip->isChecked());
        const ColourOptions colour = host.choices().colour;
        QCOMPARE(colour.rotate, 90);
        QVERIFY(colour.flip == Flip::H);
        QCOMPARE(colour.meridianFlip.value_or(-1), 23 * 60 + 40);
        w.comboFlip->setCurrentIndex(w.comboFlip->findData(int(Flip::V)));
        w.checkMeridianFlip->click();
        QVERIFY(host.choices().colour.flip == Flip::V && !host.choices().colour.meridianFlip);
        f.form.reset();
        const QByteArray saved = f.readSettings();
        QVERIFY2(saved.contains("rotate=90\nflip=v\nmeridianflip=off\n"), saved.constData());
    }
};

std::unique_ptr<QObject> MakeTestWindowSettings()
{
    return std::make_unique<TestWindowSettings>();
}

#include "test_window_settings.moc"
