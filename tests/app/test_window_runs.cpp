// SPDX-License-Identifier: GPL-3.0-or-later
// Open, test and process on real video files: clips written by our own AVI
// writer and decoded by the program's frame source.
#include "test_classes.h"
#include "window_fixture.h"

#include "app/frame_view_panel.h"
#include "app/gauge.h"
#include "app/plot_panel.h"
#include "app/status_bar.h"
#include "output/staged_output.h"
#include "support/decoded_video.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QUrl>

namespace {

QColor Background(const QWidget* widget)
{
    return widget->palette().color(QPalette::Window);
}

QStringList LogLines(const TForm1& w)
{
    return w.Memo1->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

ProbedStream ProbeFile(const WindowFixture& f, const QString& video)
{
    return Probe(QFile::encodeName(video).toStdString(), QFile::encodeName(f.dir.path()).toStdString());
}

// Records what the status bar shows while a run is going: a zero timer fires
// every time the run lets the window handle its events, between frames.
class StatusWatcher {
public:
    explicit StatusWatcher(const TForm1& w)
    {
        m_timer.setInterval(0);
        QObject::connect(&m_timer, &QTimer::timeout, [this, &w] {
            const QString position = w.StatusBar1->panelText(0);
            if (positions.isEmpty() || positions.back() != position)
                positions << position;
            activities << w.StatusBar1->panelText(2);
            if (w.GroupBox1->isEnabled() || w.btnProcess->isEnabled() || w.btnOpen->isEnabled())
                controlsEnabledDuringRun = true;
        });
        m_timer.start();
    }
    QStringList positions;
    QStringList activities;
    bool controlsEnabledDuringRun = false;

private:
    QTimer m_timer;
};

// A 640 x 480 clip of ten frames, written for a window whose output is
// 320 x 240 (the sliders at 20 and 15).
QString JupiterAt320x240(WindowFixture& f, TForm1& w)
{
    w.trackWidth->setValue(20);
    w.trackHeight->setValue(15);
    return f.writeClip(QStringLiteral("jupiter.avi"), LargeClip(), 10);
}

}   // namespace

// The groups of the options column stand apart, each holding its controls whole.
void VerifyOptionGroupsApartAndWhole(const TForm1& w)
{
    const QList<QGroupBox*> groups = w.optionsPanel->findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly);
    QCOMPARE(groups.size(), 9);
    for (QGroupBox* mine : groups) {
        for (QGroupBox* other : groups)
            QVERIFY(other == mine || !other->geometry().intersects(mine->geometry()));
        QVERIFY(w.optionsPanel->rect().contains(mine->geometry()));
        for (QWidget* control : mine->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            QVERIFY2(mine->rect().contains(control->geometry()),
                     qPrintable(mine->title() + QStringLiteral(" / ") + control->metaObject()->className()));
    }
}

class TestWindowRuns : public QObject {
    Q_OBJECT
private slots:
    // With a quarter turn chosen, the preview is turned as the output is.
    void previewTurnsWithTheOutput()
    {
        WindowFixture f;
        TForm1& w = f.create();
        const QString clip = JupiterAt320x240(f, w);
        QVERIFY(f.settle());
        w.comboRotate->setCurrentIndex(w.comboRotate->findData(90));
        f.open({clip});
        QCOMPARE(w.Image->pixmap().size(), QSize(240, 320));
        w.comboRotate->setCurrentIndex(w.comboRotate->findData(0));
        f.open({clip});
        QCOMPARE(w.Image->pixmap().size(), QSize(320, 240));
    }

    void openRunsTheTestAndFramesThePreview()
    {
        WindowFixture f;
        TForm1& w = f.create();
        const QString clip = JupiterAt320x240(f, w);
        QVERIFY(f.settle());
        QSignalSpy tests(&w, &TForm1::testRan);
        f.open({clip});
        QCOMPARE(tests.count(), 1);
        QCOMPARE(tests.front().front().toBool(), true);
        QCOMPARE(w.StatusBar1->panelText(0), QStringLiteral("File 1/1"));
        QCOMPARE(w.StatusBar1->panelText(1), QStringLiteral("jupiter.avi"));
        QCOMPARE(w.StatusBar1->panelText(2), QStringLiteral("Open"));
        QCOMPARE(LogLines(w),
                 QStringList({QStringLiteral("Opening file jupiter.avi"), QStringLiteral(" - 10 frames"),
                              QStringLiteral(" - Input res 640 x 480")}));
        QCOMPARE(w.Panel1->size(), QSize(321, 241));
        QCOMPARE(Background(w.Panel1), QColor(Qt::black));
        QVERIFY(w.Panel1->text().isEmpty());
        QVERIFY(!w.Image->isHidden());
        QCOMPARE(w.Image->size(), QSize(320, 240));
        const QImage preview = w.Image->pixmap().toImage();
        QCOMPARE(preview.size(), QSize(320, 240));
        // The disc sits in the middle of the preview, the sky at its corners.
        QCOMPARE(QColor(preview.pixel(160, 120)), QColor(230, 180, 60));
        QCOMPARE(QColor(preview.pixel(2, 2)), QColor(8, 8, 8));
        QVERIFY(w.btnProcess->isEnabled());
        QCOMPARE(w.size(), QSize(1340, 680));
        QVERIFY(f.shown->empty());

        // The largest output: the window grows down to hold the preview, the
        // views move right of it and keep the room that is left.
        w.trackWidth->setValue(40);
        w.trackHeight->setValue(40);
        QTRY_COMPARE_WITH_TIMEOUT(w.Panel1->size(), QSize(641, 641), 1000);
        QCOMPARE(w.size(), QSize(1340, 5 + 641 + 2 + 19 + 19));
        QCOMPARE(w.frameView->x(), 200 + 641 + 8);
        QCOMPARE(w.plotPanel->x(), 200 + 641 + 8);
        // Nothing added covers another control, and each group holds its
        // controls whole.
        const QList<QWidget*> added = {w.optionsArea, w.frameView,  w.plotPanel, w.trackFrame,
                                       w.lblFrame,    w.comboFiles, w.btnAnalyse};
        for (QWidget* mine : added)
            for (QWidget* other : w.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                if (other != mine && !other->isHidden())
                    QVERIFY2(!other->geometry().intersects(mine->geometry()),
                             qPrintable(mine->objectName() + QLatin1Char(' ') + mine->metaObject()->className()
                                        + QStringLiteral(" / ") + other->metaObject()->className()));
        VerifyOptionGroupsApartAndWhole(w);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(w.Gauge1->geometry(), QRect(0, w.height() - 38, w.width(), 19));
        QCOMPARE(w.StatusBar1->geometry(), QRect(0, w.height() - 19, w.width(), 19));

        // A larger window: the given controls stay, the options column keeps
        // to the right edge, the views, the plots and the log take the room.
        QList<QRect> given;
        const QList<QWidget*> givenControls = {w.btnOpen,    w.GroupBox2, w.GroupBox1, w.GroupBox3,
                                               w.btnProcess, w.Label6,    w.GroupBox4, w.Panel1};
        for (QWidget* control : givenControls)
            given << control->geometry();
        const QSize view = w.frameView->size();
        const QSize plots = w.plotPanel->size();
        const int log = w.Memo1->height();
        // The options column's scroll bar, while the window is too low for
        // all its groups; the taller window gives its room to the views.
        const int bar = w.optionsArea->width() - w.optionsPanel->width();
        // Shown, as a user resizes it; the window opens no larger than the
        // screen (the test platform's is small), so it is sized again here.
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.resize(1340, 686);
        const int taller = 460;   // the whole column, the orientation and levels groups at its end included
        w.resize(w.width() + 300, w.height() + taller);
        for (qsizetype i = 0; i < givenControls.size(); ++i)
            QCOMPARE(givenControls[i]->geometry(), given[i]);
        // Tall enough now for the whole options column: no scroll bar beside it.
        QCOMPARE(w.groupReject->mapTo(&w, QPoint(w.groupReject->width() - 1, 0)).x(), w.width() - 1 - 9);
        QVERIFY(!w.optionsArea->verticalScrollBar()->isVisible());
        QCOMPARE(w.frameView->width(), view.width() + 300 + bar);
        QVERIFY(w.frameView->height() > view.height());
        QCOMPARE(w.plotPanel->width(), plots.width() + 300 + bar);
        QCOMPARE(w.Memo1->height(), log + taller);
        QCOMPARE(w.Memo1->geometry().topLeft(), QPoint(8, 405));
        // And never smaller than the controls need.
        w.resize(400, 300);
        QCOMPARE(w.size(), w.minimumSize());
        QCOMPARE(w.size(), QSize(200 + 641 + 8 + 240 + 8 + 185 + 9, 5 + 641 + 2 + 19 + 19));
    }

    void warningsReplaceThePreview_data()
    {
        QTest::addColumn<bool>("removeIncomplete");
        QTest::addColumn<int>("threshold");
        QTest::addColumn<QString>("caption");
        QTest::newRow("no planet at the highest threshold") << false << 100 << "COG Threshold Too High!";
        QTest::newRow("planet reaching the border") << true << 5 << "COG Threshold Too Low!";
    }
    void warningsReplaceThePreview()
    {
        QFETCH(bool, removeIncomplete);
        QFETCH(int, threshold);
        QFETCH(QString, caption);
        WindowFixture f;
        f.writeSettings("[Size]\nwidth=20\nheight=15\n");
        TForm1& w = f.create();
        DiscClip clip = LargeClip();
        clip.path = [](std::int32_t, double& cx, double& cy) {
            cx = 31.5;
            cy = 239.5;
        };   // touches the left edge
        const QString file = f.writeClip(QStringLiteral("edge.avi"), clip);
        // A passing test first, so that the warning visibly replaces a preview.
        f.open({f.writeClip(QStringLiteral("good.avi"), LargeClip())});
        QCOMPARE(w.Panel1->size(), QSize(321, 241));

        w.checkIgnoreIncomplete->setChecked(removeIncomplete);
        w.trackCOG->setValue(threshold);
        f.open({file});
        QCOMPARE(w.Panel1->text(), caption);
        QCOMPARE(w.Panel1->size(), QSize(200, 200));
        QCOMPARE(Background(w.Panel1), QColor(255, 0, 0));
        QVERIFY(w.Image->isHidden());
        QVERIFY(!w.btnProcess->isEnabled());
        QCOMPARE(w.width(), 1340);

        // Process after a failed test does nothing but clear the log.
        w.btnProcessClick();
        QVERIFY(w.Memo1->toPlainText().isEmpty());
        QVERIFY(!QFileInfo::exists(f.path(QStringLiteral("edge_orbic.avi"))));
    }

    void serFormatWritesTheSameCropsAsASerFile()
    {
        WindowFixture f;
        TForm1& w = f.create();
        f.open({f.writeClip(QStringLiteral("clip.avi"), LargeClip())});
        w.comboFormat->setCurrentIndex(1);
        w.btnProcessClick();
        QVERIFY(!QFileInfo::exists(f.path(QStringLiteral("clip_orbic.avi"))));
        const QString ser = f.path(QStringLiteral("clip_orbic.ser"));
        QVERIFY(QFileInfo::exists(ser));
        w.comboFormat->setCurrentIndex(0);
        w.btnProcessClick();
        const std::string dir = QFileInfo(ser).absolutePath().toStdString();
        // The SER holds the AVI's crops, rows top-down as the decoder returns them.
        const std::string avi = DecodeWithFfmpeg(f.path(QStringLiteral("clip_orbic.avi")).toStdString(), "bgr24", dir);
        QVERIFY(!avi.empty());
        QVERIFY(avi == DecodeWithFfmpeg(ser.toStdString(), "bgr24", dir));
    }

    void burstOfSliderChangesRunsOneTest()
    {
        WindowFixture f;
        TForm1& w = f.create();
        f.open({f.writeClip(QStringLiteral("clip.avi"), LargeClip())});
        QSignalSpy tests(&w, &TForm1::testRan);
        for (int position = -10; position < 10; ++position) {
            w.trackCOG->setValue(position);
            QCOMPARE(w.lblCog->text(), QString::number(position));
            QTest::qWait(10);
        }
        QCOMPARE(tests.count(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(tests.count(), 1, 1000);
        QTest::qWait(150);
        QCOMPARE(tests.count(), 1);
        QCOMPARE(w.state().thresholdPercent, 9.0);
    }

    void showEffectAndInvertRunTheTestAtOnce_data()
    {
        QTest::addColumn<bool>("invert");
        QTest::newRow("Show Effect") << false;
        QTest::newRow("Invert") << true;
    }
    void showEffectAndInvertRunTheTestAtOnce()
    {
        QFETCH(bool, invert);
        WindowFixture f;
        TForm1& w = f.create();
        f.open({f.writeClip(QStringLiteral("clip.avi"), LargeClip())});
        QSignalSpy tests(&w, &TForm1::testRan);
        w.trackWidth->setValue(13);   // starts the timer
        (invert ? w.checkInverse : w.checkPreview)->click();
        QCOMPARE(tests.count(), 1);
        // The timer that the slider started still runs its own test.
        QTRY_COMPARE_WITH_TIMEOUT(tests.count(), 2, 1000);
    }

    // The colour and whole-frame choices test again at once, and so does
    // switching the large size; its sizes wait for the timer, as the sliders
    // do. A large output is previewed scaled down into the sliders' largest
    // preview, clear of the options column.
    void colourAndSizeChoicesRunTheTestAndLargeOutputsFitThePreview()
    {
        WindowFixture f;
        TForm1& w = f.create();
        f.open({f.writeClip(QStringLiteral("clip.avi"), LargeClip())});
        QVERIFY(f.settle());
        QSignalSpy tests(&w, &TForm1::testRan);
        w.comboBayer->setCurrentIndex(2);
        w.comboBayer->setCurrentIndex(0);
        w.checkDebayer->click();
        w.comboDebayerMethod->setCurrentIndex(1);
        w.checkDebayer->click();
        w.checkFullFrame->click();
        w.checkFullFrame->click();
        QCOMPARE(tests.count(), 7);
        QVERIFY(!w.timerTest->isActive());

        w.checkLargeSize->click();   // 1024 x 768 from a 640 x 480 clip
        QCOMPARE(tests.count(), 8);
        QCOMPARE(tests.back().front().toBool(), true);
        QCOMPARE(w.state().cropWidth, 1024);
        QCOMPARE(w.state().cropHeight, 768);
        QCOMPARE(w.Panel1->size(), QSize(641, 481));
        QCOMPARE(w.Image->pixmap().size(), QSize(640, 480));
        QCOMPARE(w.size(), QSize(1340, 680));
        w.spinLargeWidth->setValue(2048);
        QCOMPARE(tests.count(), 8);
        QTRY_COMPARE_WITH_TIMEOUT(tests.count(), 9, 1000);
        QCOMPARE(w.Panel1->size(), QSize(641, 241));
        QCOMPARE(w.Image->pixmap().size(), QSize(640, 240));
    }

    // A planet larger than the output is told in red under the preview; Auto
    // sizes the output from it and the warning goes. The limb choice tests
    // again as the other centring choices do.
    void cutWarningUnderThePreviewAndAutoSize()
    {
        WindowFixture f;
        TForm1& w = f.createSmall();   // 64 x 64; the disc is 81 pixels wide
        f.open({f.writeClip(QStringLiteral("clip.avi"), LargeClip())});
        QVERIFY(f.settle());
        QVERIFY(w.lblCutWarning->isVisibleTo(&w));
        QVERIFY2(w.lblCutWarning->text().contains(QStringLiteral("is larger than the 64 \u00d7 64 output")),
                 qPrintable(w.lblCutWarning->text()));
        QCOMPARE(w.lblCutWarning->geometry().top(), w.Panel1->geometry().bottom() + 1 + 4);
        QSignalSpy tests(&w, &TForm1::testRan);
        w.checkSizeAuto->click();
        QCOMPARE(tests.count(), 1);
        QCOMPARE(w.state().cropWidth, 112);
        QCOMPARE(w.state().cropHeight, 112);
        QCOMPARE(w.lblWidth->text(), QStringLiteral("112"));
        QVERIFY(!w.lblCutWarning->isVisibleTo(&w));
        w.checkLimb->click();
        QCOMPARE(tests.count(), 2);
        QCOMPARE(tests.back().front().toBool(), true);
    }

    // The rejections test again as the other options do: the check boxes at
    // once, their numbers after the timer.
    void rejectChoicesRunTheTest()
    {
        WindowFixture f;
        TForm1& w = f.create();
        f.open({f.writeClip(QStringLiteral("clip.avi"), LargeClip())});
        QVERIFY(f.settle());
        QSignalSpy tests(&w, &TForm1::testRan);
        w.checkRejectCut->click();
        w.checkMaxSaturated->click();
        w.checkRejectDim->click();
        QCOMPARE(tests.count(), 3);
        QVERIFY(!w.timerTest->isActive());
        w.spinMinSize->setValue(12);
        w.spinMaxSaturated->setValue(5.0);
        w.spinRejectDim->setValue(70);
        QCOMPARE(tests.count(), 3);
        QTRY_COMPARE_WITH_TIMEOUT(tests.count(), 4, 1000);
    }

    void showEffectMarksTheBackgroundOfThePreviewOnly()
    {
        WindowFixture f;
        TForm1& w = f.create();
        w.trackWidth->setValue(20);
        w.trackHeight->setValue(15);
        f.open({f.writeClip(QStringLiteral("clip.avi"), LargeClip())});
        const QColor plainSky = QColor(w.Image->pixmap().toImage().pixel(2, 2));
        w.checkPreview->click();
        const QImage marked = w.Image->pixmap().toImage();
        QVERIFY(QColor(marked.pixel(2, 2)).green() > plainSky.green());
        QCOMPARE(QColor(marked.pixel(160, 120)), QColor(230, 180, 60));
    }

    void testAskedForDuringATestRunsAfterItAndLeavesItsResultAlone()
    {
        WindowFixture f;
        f.writeSettings("[COG]\nthreshold=100\n");
        TForm1& w = f.create();
        QVERIFY(f.settle());
        f.open({f.writeClip(QStringLiteral("clip.avi"), LargeClip())});
        QCOMPARE(w.Panel1->text(), QStringLiteral("COG Threshold Too High!"));

        // A second test asked for while the first one's last frame lets the
        // window handle its events (a timer tick, a click).
        QTimer nested;
        nested.setInterval(0);
        QObject::connect(&nested, &QTimer::timeout, [&] {
            if (w.state().busy && w.state().framesSeen == w.state().frameLimit) {
                nested.stop();
                w.checkPreview->click();
            }
        });
        nested.start();
        QSignalSpy tests(&w, &TForm1::testRan);
        w.checkPreview->click();
        QCOMPARE(Background(w.Panel1), QColor(255, 0, 0));
        QVERIFY(!w.btnProcess->isEnabled());
        QCOMPARE(w.Panel1->text(), QStringLiteral("COG Threshold Too High!"));
        QCOMPARE(tests.count(), 1);
        QCOMPARE(tests.at(0).at(0).toBool(), false);
        QCOMPARE(LogLines(w).size(), 3);
        // The second test runs when the first is over.
        QTRY_COMPARE_WITH_TIMEOUT(tests.count(), 2, 1000);
        QCOMPARE(tests.at(1).at(0).toBool(), false);
    }

    void processAndTestWaitForTheRunInProgress()
    {
        WindowFixture f;
        TForm1& w = f.createSmall();
        const QString clip = f.writeClip(QStringLiteral("clip.avi"), LargeClip(), 4);
        const QString output = f.writeFile(QStringLiteral("clip_orbic.avi"), QByteArray("an earlier result"));
        QVERIFY(!output.isEmpty());
        f.open({clip});
        QVERIFY(f.settle());
        QVERIFY(w.btnProcess->isEnabled());

        // Process clicked while a test lets the window handle its events.
        QTimer during;
        during.setInterval(0);
        QObject::connect(&during, &QTimer::timeout, [&] {
            if (w.state().busy && w.state().testMode) {
                during.stop();
                w.btnProcess->click();
            }
        });
        during.start();
        QSignalSpy tests(&w, &TForm1::testRan);
        w.checkPreview->click();
        QCOMPARE(tests.count(), 1);
        QCOMPARE(tests.at(0).at(0).toBool(), true);
        QCOMPARE(Background(w.Panel1), QColor(Qt::black));
        QCOMPARE(LogLines(w).size(), 3);
        QFile older(output);
        QVERIFY(older.open(QIODevice::ReadOnly));
        QCOMPARE(older.readAll(), QByteArray("an earlier result"));
        older.close();

        // A test-timer tick while the batch shows a message between files.
        const QStringList pair = {f.writeClip(QStringLiteral("a.avi"), LargeClip(), 3),
                                  f.writeClip(QStringLiteral("a_orbic.avi"), LargeClip(), 5)};
        f.open(pair);
        QVERIFY(f.settle());
        QCOMPARE(tests.count(), 2);
        *f.whileShown = [&] {
            w.timerTest->start(0);
            QTest::qWait(50);
        };
        w.btnProcess->click();
        QCOMPARE(f.shown->size(), std::size_t(1));   // a.avi skipped: its output is the other input
        QCOMPARE(tests.count(), 2);
        QCOMPARE(w.StatusBar1->panelText(2), QStringLiteral("Completed with 1 failed file"));
        const QStringList log = LogLines(w);
        QVERIFY(log.first().startsWith(QStringLiteral("Skipped a.avi")));
        QCOMPARE(log.at(log.size() - 3), QStringLiteral("Orbicropping complete!"));
        QCOMPARE(ProbeFile(f, f.path(QStringLiteral("a_orbic_orbic.avi"))).frames, 5);
    }

    void outputModeSwitchRunsNoTest()
    {
        WindowFixture f;
        TForm1& w = f.create();
        f.open({f.writeClip(QStringLiteral("clip.avi"), LargeClip())});
        QVERIFY(f.settle());
        QSignalSpy tests(&w, &TForm1::testRan);
        w.checkY800->click();
        w.checkDebayerSafe->click();
        w.checkColor->click();
        QTest::qWait(120);
        QCOMPARE(tests.count(), 0);
    }

    void firstTestChoosesGreyscaleForAGreyVideoOnce()
    {
        WindowFixture f;
        TForm1& w = f.create();
        DiscClip grey = LargeClip();
        grey.blue = grey.green = grey.red = 200;
        f.open({f.writeClip(QStringLiteral("grey.avi"), grey)});
        QVERIFY(w.checkY800->isChecked());
        QVERIFY(w.checkDebayerSafe->isEnabled());
        // Only the first test after opening chooses: the user's choice stands.
        w.checkColor->click();
        w.checkPreview->click();
        QVERIFY(w.checkColor->isChecked());
        // Opening a colour video chooses colour again.
        f.open({f.writeClip(QStringLiteral("colour.avi"), LargeClip())});
        QVERIFY(w.checkColor->isChecked());
    }

    void batchWritesEveryOutputAndReportsEachFile()
    {
        WindowFixture f;
        TForm1& w = f.create();
        w.trackWidth->setValue(8);
        w.trackHeight->setValue(6);
        const QStringList files = {f.writeClip(QStringLiteral("a.avi"), LargeClip(), 12),
                                   f.writeClip(QStringLiteral("b.avi"), LargeClip(), 7),
                                   f.writeClip(QStringLiteral("c.AVI"), LargeClip(), 5)};
        f.open(files);
        QCOMPARE(w.StatusBar1->panelText(0), QStringLiteral("File 1/3"));
        QVERIFY(w.btnProcess->isEnabled());

        QVERIFY(f.settle());
        StatusWatcher watcher(w);
        w.btnProcess->click();
        QCOMPARE(watcher.positions,
                 QStringList({QStringLiteral("File 1/3"), QStringLiteral("File 2/3"), QStringLiteral("File 3/3")}));
        // "Processing...", followed by the frame and the speed once frames are shown.
        const QRegularExpression processing(QStringLiteral("^Processing\\.\\.\\.( frame \\d+ of \\d+, \\d+ fps)?$"));
        const QStringList busy = watcher.activities.filter(QStringLiteral("Processing"));
        QVERIFY(!busy.isEmpty());
        QCOMPARE(busy.filter(processing), busy);
        QVERIFY(!watcher.controlsEnabledDuringRun);
        QCOMPARE(w.StatusBar1->panelText(1), QStringLiteral("c.AVI"));
        QCOMPARE(w.StatusBar1->panelText(2), QStringLiteral("Completed!"));
        QVERIFY(w.GroupBox1->isEnabled() && w.btnProcess->isEnabled() && w.btnOpen->isEnabled());
        QCOMPARE(w.Gauge1->text(), QStringLiteral("100%"));

        const QStringList log = LogLines(w);
        // The first file takes the test's mode; every later one its own.
        // Each file's output is named after its lines.
        const QString folder = QDir(f.dir.path()).absolutePath() + QLatin1Char('/');
        QCOMPARE(log.size(), 27);
        QCOMPARE(log.at(0), QStringLiteral("Opening file a.avi"));
        QCOMPARE(log.at(3), QStringLiteral(" - Output res 128 x 96"));
        QCOMPARE(log.at(4), QStringLiteral("12/12 frames written"));
        QVERIFY(log.at(5).startsWith(QStringLiteral(" - FPS: ")));
        QCOMPARE(log.at(6), QStringLiteral("Orbicropping complete!"));
        QCOMPARE(log.at(7), QStringLiteral("Output: ") + folder + QStringLiteral("a_orbic.avi"));
        QCOMPARE(log.at(8), QStringLiteral("Output mode from the first frames of b.avi: colour"));
        QCOMPARE(log.at(13), QStringLiteral("7/7 frames written"));
        QCOMPARE(log.at(16), QStringLiteral("Output: ") + folder + QStringLiteral("b_orbic.avi"));
        QCOMPARE(log.at(24), QStringLiteral("Orbicropping complete!"));
        QCOMPARE(log.at(25), QStringLiteral("Output: ") + folder + QStringLiteral("c_orbic.avi"));
        QCOMPARE(log.at(26), QStringLiteral("Outputs written to ") + folder);

        const struct {
            const char* name;
            int frames;
        } outputs[] = {{"a_orbic.avi", 12}, {"b_orbic.avi", 7}, {"c_orbic.avi", 5}};
        for (const auto& output : outputs) {
            const ProbedStream probed = ProbeFile(f, f.path(QString::fromLatin1(output.name)));
            QCOMPARE(probed.width, 128);
            QCOMPARE(probed.height, 96);
            QCOMPARE(probed.frames, output.frames);
            QCOMPARE(QString::fromStdString(probed.pixelFormat), QStringLiteral("bgr24"));
        }
        QVERIFY(f.shown->empty());
    }

    void greyscaleOutputReplacesAnOldFileOfItsName()
    {
        WindowFixture f;
        TForm1& w = f.createSmall();
        const QString input = f.writeClip(QStringLiteral("moon.avi"), LargeClip(), 4);
        const QString output = f.writeFile(QStringLiteral("moon_Y8orbic.avi"), QByteArray(100000, 'x'));
        QVERIFY(!output.isEmpty());
        f.open({input});
        w.checkY800->click();
        QVERIFY(f.settle());
        w.btnProcess->click();
        const ProbedStream probed = ProbeFile(f, output);
        QCOMPARE(QString::fromStdString(probed.pixelFormat), QStringLiteral("gray"));
        QCOMPARE(probed.frames, 4);
        QCOMPARE(probed.width, 64);
        QVERIFY(!QFileInfo::exists(f.path(QStringLiteral("moon_orbic.avi"))));
    }

    void outputThatWouldReplaceAnInputIsSkipped()
    {
        WindowFixture f;
        TForm1& w = f.createSmall();
        const QString first = f.writeClip(QStringLiteral("mars.avi"), LargeClip(), 3);
        const QString second = f.writeClip(QStringLiteral("mars_orbic.avi"), LargeClip(), 5);
        QFile before(second);
        QVERIFY(before.open(QIODevice::ReadOnly));
        const QByteArray original = before.readAll();
        before.close();
        f.open({first, second});
        QVERIFY(f.settle());
        w.btnProcess->click();

        QCOMPARE(f.shown->size(), std::size_t(1));
        QCOMPARE(f.shown->front().kind, MessageSink::Kind::Information);
        QVERIFY(f.shown->front().text.startsWith(QStringLiteral("Skipped mars.avi")));
        QFile after(second);
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), original);
        // The batch went on to the second file.
        QCOMPARE(ProbeFile(f, f.path(QStringLiteral("mars_orbic_orbic.avi"))).frames, 5);
        QCOMPARE(w.StatusBar1->panelText(2), QStringLiteral("Completed with 1 failed file"));
    }

    // With "Keep going" a file that fails shows no box during the batch: its
    // message is in the log, the files after it are processed, and one box
    // at the end names it.
    void keepGoingTellsTheFailedFilesOnceAtTheEnd()
    {
        WindowFixture f;
        TForm1& w = f.createSmall();
        const QString broken = f.writeFile(QStringLiteral("broken.avi"), QByteArray("this is no video"));
        QVERIFY(!broken.isEmpty());
        const QString good = f.writeClip(QStringLiteral("good.avi"), LargeClip(), 3);
        w.checkKeepGoing->click();
        f.open({broken, good});
        QVERIFY(w.btnProcess->isEnabled());
        // The test went on past the broken file: the status bar names the one it read.
        QCOMPARE(w.StatusBar1->panelText(0), QStringLiteral("File 2/2"));
        QCOMPARE(w.StatusBar1->panelText(1), QStringLiteral("good.avi"));
        QVERIFY(f.shown->empty());
        QVERIFY(f.settle());
        bool goodWrittenBeforeTheBox = false;
        *f.whileShown = [&] { goodWrittenBeforeTheBox = QFileInfo::exists(f.path(QStringLiteral("good_orbic.avi"))); };
        w.btnProcess->click();
        QCOMPARE(f.shown->size(), std::size_t(1));
        QCOMPARE(f.shown->front().kind, MessageSink::Kind::Information);
        QCOMPARE(f.shown->front().text,
                 QStringLiteral("1 file failed; the log tells more:\nbroken.avi: Couldn't load the file!"));
        QVERIFY(goodWrittenBeforeTheBox);
        QCOMPARE(ProbeFile(f, f.path(QStringLiteral("good_orbic.avi"))).frames, 3);
        QVERIFY(LogLines(w).contains(QStringLiteral("Nothing was written for broken.avi.")));
        QCOMPARE(w.StatusBar1->panelText(2), QStringLiteral("Completed with 1 failed file"));
    }

    // A chosen folder that does not exist yet is made, and the batch writes
    // there; a cancelled dialog keeps it, the reset button takes it back,
    // and the next batch writes beside the tested file again.
    void chosenOutputFolderTakesTheOutputs()
    {
        WindowFixture f;
        TForm1& w = f.createSmall();
        const QStringList files = {f.writeClip(QStringLiteral("a.avi"), LargeClip(), 3),
                                   f.writeClip(QStringLiteral("b.avi"), LargeClip(), 4)};
        QCOMPARE(w.lblOutputFolder->text(), QStringLiteral("beside the first file"));
        QVERIFY(!w.btnOutputFolderReset->isEnabled());
        const QString folder = f.path(QStringLiteral("night/crops"));
        *f.folderAnswer = folder;
        w.btnOutputFolder->click();
        f.folderAnswer->clear();
        w.btnOutputFolder->click();
        QCOMPARE(w.outputFolder(), folder);
        QVERIFY(w.btnOutputFolderReset->isEnabled());
        f.open(files);
        QVERIFY(f.settle());
        w.btnProcess->click();
        QVERIFY(f.shown->empty());
        QCOMPARE(ProbeFile(f, folder + QStringLiteral("/a_orbic.avi")).frames, 3);
        QCOMPARE(ProbeFile(f, folder + QStringLiteral("/b_orbic.avi")).frames, 4);
        QVERIFY(!QFileInfo::exists(f.path(QStringLiteral("a_orbic.avi"))));
        QCOMPARE(LogLines(w).back(), QStringLiteral("Outputs written to ") + folder + QLatin1Char('/'));

        w.btnOutputFolderReset->click();
        QCOMPARE(w.lblOutputFolder->text(), QStringLiteral("beside the first file"));
        w.btnProcess->click();
        QCOMPARE(ProbeFile(f, f.path(QStringLiteral("b_orbic.avi"))).frames, 4);
    }

    // A folder that cannot be made (a file stands where its parent should
    // be, which stops root too) is named, and no batch starts.
    void outputFolderThatCannotBeMadeStopsTheBatchWithItsName()
    {
        WindowFixture f;
        TForm1& w = f.createSmall();
        const QString clip = f.writeClip(QStringLiteral("a.avi"), LargeClip(), 3);
        const QString folder = f.path(QStringLiteral("a.avi/crops"));
        *f.folderAnswer = folder;
        w.btnOutputFolder->click();
        f.open({clip});
        QVERIFY(f.settle());
        w.btnProcess->click();
        QCOMPARE(f.shown->size(), std::size_t(1));
        QCOMPARE(f.shown->front().text,
                 QStringLiteral("Cannot create the output folder ") + folder + QStringLiteral(": Not a directory"));
        QCOMPARE(LogLines(w).back(), f.shown->front().text);
        QVERIFY(w.GroupBox1->isEnabled() && w.btnProcess->isEnabled() && w.btnOpen->isEnabled());
        QVERIFY(!QFileInfo::exists(f.path(QStringLiteral("a_orbic.avi"))));
    }

    // The box names the file the writer could not make and why; the window
    // is usable again at once, with a status that says the batch failed.
    void writerThatCannotOpenEndsTheBatchWithAnErrorBox()
    {
        WindowFixture f;
        TForm1& w = f.createSmall();
        const QString first = f.writeClip(QStringLiteral("venus.avi"), LargeClip(), 3);
        const QString second = f.writeClip(QStringLiteral("saturn.avi"), LargeClip(), 3);
        // A folder with content where the first output is written cannot be
        // deleted, nor can the writer create its file there.
        const std::string blocked =
            StagedOutput::TemporaryPathFor(QFile::encodeName(f.path(QStringLiteral("venus_orbic.avi"))).toStdString());
        QVERIFY(QDir().mkpath(QFile::decodeName(blocked.c_str()) + QStringLiteral("/keep")));
        f.open({first, second});
        QVERIFY(f.settle());
        w.btnProcess->click();

        QCOMPARE(f.shown->size(), std::size_t(1));
        QCOMPARE(f.shown->front().kind, MessageSink::Kind::Error);
        QCOMPARE(f.shown->front().text,
                 QStringLiteral("Failed to create AVI video work file ") + QFile::decodeName(blocked.c_str())
                     + QStringLiteral(": Is a directory."));
        QCOMPARE(w.StatusBar1->panelText(2), QStringLiteral("Failed"));
        QVERIFY2(LogLines(w).contains(f.shown->front().text), qPrintable(w.Memo1->toPlainText()));
        QVERIFY(w.GroupBox1->isEnabled() && w.groupMoreOptions->isEnabled() && w.btnProcess->isEnabled());
        QVERIFY(w.btnOpen->isEnabled());
        QVERIFY(!QFileInfo::exists(f.path(QStringLiteral("saturn_orbic.avi"))));
    }

    // Closing asks once whether to stop; yes ends the file after the frame in
    // hand with a valid output, skips the rest, logs it, and then closes.
    void closingDuringABatchAsksOnceAndStopsAfterTheFrameInHand()
    {
        WindowFixture f;
        *f.answerToQuestions = true;
        TForm1& w = f.createSmall();
        const QStringList files = {f.writeClip(QStringLiteral("1.avi"), LargeClip(), 4),
                                   f.writeClip(QStringLiteral("2.avi"), LargeClip(), 4),
                                   f.writeClip(QStringLiteral("3.avi"), LargeClip(), 4)};
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        f.open(files);
        QVERIFY(f.settle());
        bool visibleAfterClose = false;
        QTimer::singleShot(0, &w, [&] {
            w.close();
            w.close();
            visibleAfterClose = w.isVisible();
        });
        w.btnProcess->click();
        QVERIFY(visibleAfterClose);
        QVERIFY(!w.isVisible());
        QCOMPARE(f.asked->size(), 1);
        // The first frame was in hand when the window was closed.
        QCOMPARE(ProbeFile(f, f.path(QStringLiteral("1_orbic.avi"))).frames, 1);
        QVERIFY(!QFileInfo::exists(f.path(QStringLiteral("2_orbic.avi"))));
        QVERIFY(!QFileInfo::exists(f.path(QStringLiteral("3_orbic.avi"))));
        const QStringList log = LogLines(w);
        QVERIFY(log.contains(QStringLiteral("Orbicropping stopped!")));
        QVERIFY(log.contains(QStringLiteral("Stopped by the user; 2 files were not processed")));
        QVERIFY(f.shown->empty());
    }

    // Escape asks too; no lets the batch go on to its end, yes stops it
    // after the frame in hand, and the window stays either way. A stopped
    // batch says so, and its gauge stays where the stop left it.
    void escapeDuringABatchAsksAndStopsOnYes_data()
    {
        QTest::addColumn<bool>("stop");
        QTest::newRow("no") << false;
        QTest::newRow("yes") << true;
    }
    void escapeDuringABatchAsksAndStopsOnYes()
    {
        QFETCH(bool, stop);
        WindowFixture f;
        *f.answerToQuestions = stop;
        TForm1& w = f.createSmall();
        const QStringList files = {f.writeClip(QStringLiteral("1.avi"), LargeClip(), 4),
                                   f.writeClip(QStringLiteral("2.avi"), LargeClip(), 4)};
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        f.open(files);
        QVERIFY(f.settle());
        QTimer::singleShot(0, &w, [&] { QTest::keyClick(&w, Qt::Key_Escape); });
        w.btnProcess->click();
        QCOMPARE(f.asked->size(), 1);
        QVERIFY(w.isVisible());
        QVERIFY(w.GroupBox1->isEnabled() && w.btnProcess->isEnabled() && w.btnOpen->isEnabled());
        if (!stop) {
            for (const char* name : {"1_orbic.avi", "2_orbic.avi"})
                QCOMPARE(ProbeFile(f, f.path(QString::fromLatin1(name))).frames, 4);
            QCOMPARE(w.StatusBar1->panelText(2), QStringLiteral("Completed!"));
            QCOMPARE(w.Gauge1->text(), QStringLiteral("100%"));
            return;
        }
        QCOMPARE(ProbeFile(f, f.path(QStringLiteral("1_orbic.avi"))).frames, 1);
        QVERIFY(!QFileInfo::exists(f.path(QStringLiteral("2_orbic.avi"))));
        QVERIFY(LogLines(w).contains(QStringLiteral("Stopped by the user; 1 file was not processed")));
        QCOMPARE(w.StatusBar1->panelText(2), QStringLiteral("Stopped"));
        QCOMPARE(w.Gauge1->text(), QStringLiteral("25%"));
    }

    void droppedVideoFilesAreOpened()
    {
        WindowFixture f;
        TForm1& w = f.create();
        QVERIFY(f.settle());
        const QString video = f.writeClip(QStringLiteral("dropped.avi"), LargeClip());
        const QString notes = f.writeFile(QStringLiteral("notes.txt"));
        QVERIFY(!notes.isEmpty());

        QVERIFY(!DragAndDrop(w, {QUrl::fromLocalFile(notes)}));
        QSignalSpy tests(&w, &TForm1::testRan);
        QVERIFY(DragAndDrop(w, {QUrl::fromLocalFile(notes), QUrl::fromLocalFile(video)}));
        QTRY_COMPARE_WITH_TIMEOUT(tests.count(), 1, 1000);
        QCOMPARE(w.chosenFiles().size(), std::size_t(1));
        QCOMPARE(w.StatusBar1->panelText(0), QStringLiteral("File 1/1"));
        QCOMPARE(w.StatusBar1->panelText(1), QStringLiteral("dropped.avi"));
    }

    void unreadableFileShowsTheRunsMessageAndDisablesProcessing()
    {
        WindowFixture f;
        TForm1& w = f.create();
        f.open({f.writeClip(QStringLiteral("good.avi"), LargeClip())});
        QVERIFY(w.btnProcess->isEnabled());
        const QString junk = f.writeFile(QStringLiteral("junk.avi"), QByteArray("this is no video"));
        QVERIFY(!junk.isEmpty());
        f.open({junk});
        QCOMPARE(f.shown->size(), std::size_t(1));
        QCOMPARE(f.shown->front().kind, MessageSink::Kind::Information);
        QCOMPARE(f.shown->front().text, QStringLiteral("Couldn't load the file!"));
        QVERIFY(!w.btnProcess->isEnabled());
        QCOMPARE(LogLines(w), QStringList{QStringLiteral("Opening file junk.avi")});
    }
};

std::unique_ptr<QObject> MakeTestWindowRuns()
{
    return std::make_unique<TestWindowRuns>();
}

#include "test_window_runs.moc"
