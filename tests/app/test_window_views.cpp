// SPDX-License-Identifier: GPL-3.0-or-later
// The views of the tested file beside the options: the whole frame with its
// marks, a frame chosen with the scrubber, and the file's plots.
#include "test_classes.h"
#include "window_fixture.h"

#include "app/frame_view_panel.h"
#include "app/plot_panel.h"
#include "app/status_bar.h"
#include "run/plots.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>

#include <algorithm>
#include <cmath>

namespace {

// Where the panel shows a frame pixel: the frame scaled down to fit, centred.
struct Fit {
    double scale, left, top;
};
Fit FitOf(const QWidget& panel, QSize frame)
{
    const double scale =
        std::min({1.0, panel.width() / double(frame.width()), panel.height() / double(frame.height())});
    return {scale, (panel.width() - frame.width() * scale) / 2, (panel.height() - frame.height() * scale) / 2};
}

}   // namespace

class TestWindowViews : public QObject {
    Q_OBJECT
private slots:
    // The frame is the clip's last test frame, the crop box stands around its
    // centre, and it is drawn where the crop is taken.
    void frameViewShowsTheTestedFrameWithTheCropBox()
    {
        WindowFixture f;
        TForm1& w = f.create();
        const DiscClip clip = LargeClip();
        QVERIFY(f.settle());
        f.open({f.writeClip(QStringLiteral("clip.avi"), clip, 6)});
        const FrameOverlay& o = w.frameView->overlay();
        QCOMPARE(w.frameView->frame().size(), QSize(640, 480));
        double cx = 0, cy = 0;
        clip.path(1, cx, cy);
        QVERIFY(o.found);
        QVERIFY2(std::abs(o.centerX - cx) < 1 && std::abs(o.centerY - cy) < 1,
                 qPrintable(QStringLiteral("%1, %2").arg(o.centerX).arg(o.centerY)));
        QCOMPARE(o.cropWidth, w.state().cropWidth);
        QCOMPARE(o.cropHeight, w.state().cropHeight);
        QVERIFY(std::abs(o.cropLeft + o.cropWidth / 2.0 - cx) <= 1);
        QVERIFY(o.outcome.empty());

        // The box's left edge, half-way up, in a grab of the panel.
        const QImage grab = w.frameView->grab().toImage();
        const Fit fit = FitOf(*w.frameView, QSize(640, 480));
        const int x = int(std::lround(fit.left + o.cropLeft * fit.scale));
        const int y = int(std::lround(fit.top + (480 - o.cropBottom - o.cropHeight / 2.0) * fit.scale));
        bool boxSeen = false;
        for (int dx = -1; dx <= 1; ++dx)
            boxSeen = boxSeen || grab.pixel(x + dx, y) == FrameViewPanel::kBoxColour;
        QVERIFY2(boxSeen, qPrintable(QStringLiteral("%1, %2").arg(x).arg(y)));
        // Nothing of that colour left of the box on that row.
        for (int left = 0; left < x - 2; ++left)
            QVERIFY(grab.pixel(left, y) != FrameViewPanel::kBoxColour);
    }

    // The slider views the frame it rests on: that frame's centre, its crop
    // and its number; steps are a frame and a tenth of the file.
    void scrubberViewsTheFrameItRestsOn()
    {
        WindowFixture f;
        TForm1& w = f.create();
        const DiscClip clip = LargeClip();
        QVERIFY(!w.trackFrame->isEnabled());
        QVERIFY(f.settle());
        f.open({f.writeClip(QStringLiteral("clip.avi"), clip, 20)});
        QVERIFY(w.trackFrame->isEnabled());
        QCOMPARE(w.trackFrame->maximum(), 19);
        QCOMPARE(w.trackFrame->pageStep(), 2);
        QCOMPARE(w.lblFrame->text(), QStringLiteral("Frame 2 of 20, 0.033 s"));

        // A drag passes many frames; the frame it stops on is the one viewed.
        for (int k = 2; k <= 13; ++k)
            w.trackFrame->setValue(k);
        double cx = 0, cy = 0;
        clip.path(13, cx, cy);
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(w.frameView->overlay().centerX - cx) < 1, 2000);
        const FrameOverlay& o = w.frameView->overlay();
        QVERIFY(std::abs(o.centerY - cy) < 1);
        QVERIFY(std::abs(o.cropLeft + o.cropWidth / 2.0 - cx) <= 1);
        QCOMPARE(w.lblFrame->text(), QStringLiteral("Frame 14 of 20, 0.433 s"));
        QVERIFY(w.btnProcess->isEnabled());   // the test's result stands
    }

    // The slider's frame k is measured as the tool's track measures row k, in
    // every reader: straight-read AVI and SER by offset, H.264 by a seek to
    // the key frame before k and decoding forward.
    void scrubberAgreesWithTheToolsTrack_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("avi") << "avi";
        QTest::newRow("ser") << "ser";
        QTest::newRow("h264") << "mp4";
    }
    void scrubberAgreesWithTheToolsTrack()
    {
        QFETCH(QString, kind);
        WindowFixture f;
        const QString sample = f.path(QStringLiteral("night.avi"));
        QStringList make = {QStringLiteral("--frames"), QStringLiteral("40"),       QStringLiteral("--size"),
                            QStringLiteral("320x240"),  QStringLiteral("--radius"), QStringLiteral("30")};
        if (kind == QLatin1String("ser"))
            make << QStringLiteral("--ser-depth") << QStringLiteral("8");
        const QString video = f.path(QStringLiteral("night.") + kind);
        QCOMPARE(QProcess::execute(QStringLiteral(ORBICROP_MAKE_SAMPLE),
                                   make << (kind == QLatin1String("mp4") ? sample : video)),
                 0);
        // Key frames every 10 frames: frame 27 lies 7 frames after one.
        if (kind == QLatin1String("mp4"))
            QCOMPARE(
                QProcess::execute(QStringLiteral("ffmpeg"),
                                  {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), sample,
                                   QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-g"),
                                   QStringLiteral("10"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), video}),
                0);
        const QString track = f.path(QStringLiteral("track.csv"));
        QCOMPARE(QProcess::execute(QStringLiteral(ORBICROP_CLI),
                                   {QStringLiteral("-q"), QStringLiteral("--track"), track, QStringLiteral("-o"),
                                    f.path(QString()), video}),
                 0);
        QFile csv(track);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QList<QByteArray> rows = csv.readAll().split('\n');
        constexpr int k = 27;
        const QList<QByteArray> row = rows.at(1 + k).split(',');
        QCOMPARE(row.at(1).toInt(), k);

        TForm1& w = f.create();
        QVERIFY(f.settle());
        f.open({video});
        QVERIFY(w.trackFrame->isEnabled());
        w.trackFrame->setValue(k);
        QTRY_COMPARE_WITH_TIMEOUT(w.lblFrame->text().section(QLatin1Char(','), 0, 0), QStringLiteral("Frame 28 of 40"),
                                  5000);
        const FrameOverlay& o = w.frameView->overlay();
        const double pictureY = 240 - 1 - o.centerY;
        QVERIFY2(std::abs(o.centerX - row.at(3).toDouble()) < 1e-3 && std::abs(pictureY - row.at(4).toDouble()) < 1e-3,
                 qPrintable(QStringLiteral("view %1, %2; track %3, %4")
                                .arg(o.centerX)
                                .arg(pictureY)
                                .arg(QString::fromLatin1(row.at(3)), QString::fromLatin1(row.at(4)))));
    }

    // During a batch the views show its frames as they go: the crop preview
    // is the output window cut from the frame shown, the right way up (the
    // sky darkens towards the top, so a flipped cut shows).
    void batchShowsItsFramesAsTheyGo()
    {
        WindowFixture f;
        TForm1& w = f.create();
        constexpr int kWidth = 640, kHeight = 480, kFrames = 8;
        const auto paint = [](std::int32_t frame, std::int32_t x, std::int32_t y) {
            const double dx = x + 0.5 - (300.5 + 2 * frame), dy = y + 0.5 - 150.5;
            return dx * dx + dy * dy < 40.0 * 40.0 ? 200 : 8 + y / 24;
        };
        const QString clip = f.path(QStringLiteral("ramp.avi"));
        WritePaintedAvi(QFile::encodeName(clip).toStdString(), kWidth, kHeight, kFrames, false, paint);
        QVERIFY(f.settle());
        f.open({clip});
        w.frameView->clear();
        w.setLiveInterval(0);   // every frame
        w.setOutputFolder(f.path(QStringLiteral("out")));
        w.btnProcess->click();
        const FrameOverlay& o = w.frameView->overlay();
        QVERIFY2(o.found && std::abs(o.centerX - (300.5 + 2 * (kFrames - 1))) < 1,
                 qPrintable(QString::number(o.centerX)));
        const QImage preview = w.Image->pixmap().toImage();
        QCOMPARE(preview.size(), QSize(o.cropWidth, o.cropHeight));
        const int top = kHeight - o.cropBottom - o.cropHeight;   // the window's top row, from the top
        for (int y : {0, o.cropHeight / 3, o.cropHeight - 1})
            for (int x : {3, o.cropWidth / 2})
                QCOMPARE(qGray(preview.pixel(x, y)), paint(kFrames - 1, o.cropLeft + x, top + y));
        QCOMPARE(w.StatusBar1->panelText(2), QStringLiteral("Completed!"));
    }

    // A range of frames: the test plays its first two, the slider stands at
    // the second of them, and the batch writes the range alone.
    void frameRangeIsTestedAndWrittenAlone()
    {
        WindowFixture f;
        TForm1& w = f.create();
        QVERIFY(f.settle());
        QVERIFY(!w.spinFramesFirst->isEnabled());
        w.checkFrames->click();
        w.spinFramesFirst->setValue(5);
        w.spinFramesLast->setValue(9);
        QVERIFY(f.settle());
        f.open({f.writeClip(QStringLiteral("clip.avi"), LargeClip(), 12)});
        QVERIFY(w.btnProcess->isEnabled());
        QCOMPARE(w.trackFrame->value(), 6);
        double cx = 0, cy = 0;
        LargeClip().path(6, cx, cy);
        QVERIFY(std::abs(w.frameView->overlay().centerX - cx) < 1);
        w.setOutputFolder(f.path(QStringLiteral("out")));
        w.btnProcess->click();
        const QString log = w.Memo1->toPlainText();
        QVERIFY2(log.contains(QStringLiteral(" - Frames 5 to 9: 5 frames of the file's 12\n"))
                     && log.contains(QStringLiteral("5/5 frames written")),
                 qPrintable(log));
    }

    // Two open files joined into one output, cut into pieces of a second
    // of the stream (the clips have no capture times): the log tells both.
    void joinedFilesAreCutIntoPieces()
    {
        WindowFixture f;
        TForm1& w = f.create();
        QVERIFY(f.settle());
        w.checkJoin->click();
        w.checkSegment->click();
        QVERIFY(w.spinSegment->isEnabled());
        w.spinSegment->setValue(1);
        f.open({f.writeClip(QStringLiteral("a.avi"), LargeClip(), 20),
                f.writeClip(QStringLiteral("b.avi"), LargeClip(), 20)});
        QVERIFY(w.btnProcess->isEnabled());
        w.setOutputFolder(f.path(QStringLiteral("out")));
        w.btnProcess->click();
        const QString log = w.Memo1->toPlainText();
        QVERIFY2(log.contains(QStringLiteral("Joined 2 files: 40 frames read, 40 written"))
                     && log.contains(QStringLiteral("a_orbic_part2.avi")) && !log.contains(QStringLiteral("b_orbic")),
                 qPrintable(log));
    }

    // The open files are listed; choosing another tests it, and the views
    // follow it, while the batch keeps them all.
    void chosenOpenFileIsTheTestedOne()
    {
        WindowFixture f;
        TForm1& w = f.create();
        QVERIFY(f.settle());
        const QString first = f.writeClip(QStringLiteral("a.avi"), LargeClip(), 6);
        const QString second = f.writeClip(QStringLiteral("b.avi"), LargeClip(), 9);
        f.open({first, second});
        QCOMPARE(w.comboFiles->count(), 2);
        QCOMPARE(w.comboFiles->itemText(1), QStringLiteral("b.avi"));
        QVERIFY(w.comboFiles->isEnabled());
        QCOMPARE(QString::fromStdString(w.state().currentFile), QFileInfo(first).absoluteFilePath());

        w.comboFiles->setCurrentIndex(1);
        QTRY_COMPARE_WITH_TIMEOUT(QString::fromStdString(w.state().currentFile), QFileInfo(second).absoluteFilePath(),
                                  2000);
        QCOMPARE(w.StatusBar1->panelText(0), QStringLiteral("File 2/2"));
        QCOMPARE(w.trackFrame->maximum(), 8);   // the views read the chosen file
        QCOMPARE(w.chosenFiles().size(), std::size_t(2));
    }

    // However a batch ends, the slider and "Analyse file" read the chosen
    // file again, which the batch moved the state away from.
    void analyseReadsTheChosenFileAfterABatchAndAfterAStop()
    {
        WindowFixture f;
        *f.answerToQuestions = true;
        TForm1& w = f.create();
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QVERIFY(f.settle());
        const QString first = QFileInfo(f.writeClip(QStringLiteral("a.avi"), LargeClip(), 6)).absoluteFilePath();
        f.open({first, f.writeClip(QStringLiteral("b.avi"), LargeClip(), 9)});
        w.setOutputFolder(f.path(QStringLiteral("out")));
        for (bool stop : {false, true}) {
            if (stop)
                QTimer::singleShot(0, &w, [&] { QTest::keyClick(&w, Qt::Key_Escape); });
            w.btnProcess->click();
            QCOMPARE(w.StatusBar1->panelText(2), stop ? QStringLiteral("Stopped") : QStringLiteral("Completed!"));
            QVERIFY(w.btnAnalyse->isEnabled());
            QVERIFY(w.trackFrame->isEnabled());
            QCOMPARE(w.trackFrame->maximum(), 5);
            QCOMPARE(QString::fromStdString(w.state().currentFile), first);
            w.plotPanel->clear();
            w.btnAnalyse->click();
            QVERIFY(!w.plotPanel->drift().isNull());
            QCOMPARE(w.StatusBar1->panelText(1), QStringLiteral("a.avi"));
        }
    }

    // An analysis ranks the file, so it plays it twice; the status bar counts
    // the frames of the pass it shows, never past the file's, and names the
    // file. Once the analysis is over, it no longer says one is going.
    void statusBarTellsTheAnalysisWhileItRuns()
    {
        WindowFixture f;
        TForm1& w = f.create();
        QVERIFY(f.settle());
        f.open({f.writeClip(QStringLiteral("clip.avi"), LargeClip(), 12)});
        w.setLiveInterval(0);   // every frame
        QStringList shown;
        QTimer watch;
        watch.setInterval(0);
        QObject::connect(&watch, &QTimer::timeout, [&] {
            const QString now = w.StatusBar1->panelText(2);
            if (shown.isEmpty() || shown.back() != now)
                shown << now;
        });
        watch.start();
        w.btnAnalyse->click();
        watch.stop();
        const QRegularExpression counted(QStringLiteral("^Analysing\\.\\.\\. frame (\\d+) of 12, \\d+ fps$"));
        int frames = 0;
        for (const QString& text : shown) {
            const QRegularExpressionMatch match = counted.match(text);
            if (!match.hasMatch())
                continue;
            ++frames;
            QVERIFY2(match.captured(1).toInt() <= 12, qPrintable(text));
        }
        QVERIFY2(frames > 0, qPrintable(shown.join(QLatin1Char('|'))));
        QCOMPARE(w.StatusBar1->panelText(1), QStringLiteral("clip.avi"));
        QCOMPARE(w.StatusBar1->panelText(2), QString());
    }

    // At the size the window opens at on a 1366 x 768 screen each plot is
    // drawn at least 320 pixels wide, and a click still opens them at their
    // full size. A taller window gives its height to the whole frame and to
    // the log, whose text then runs under the help box, which stays.
    void viewsAndLogShareTheRoomOfTheWindow()
    {
        WindowFixture f;
        TForm1& w = f.create();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.resize(1340, 680);
        QVERIFY(f.settle());
        f.open({f.writeClip(QStringLiteral("clip.avi"), LargeClip(), 12)});
        w.btnAnalyse->click();
        for (const QRect& plot : w.plotPanel->plotPlaces())
            QVERIFY2(plot.width() >= 320, qPrintable(QString::number(plot.width())));
        QTest::mouseClick(w.plotPanel, Qt::LeftButton);
        QVERIFY(w.plotPanel->fullSize() != nullptr && w.plotPanel->fullSize()->isVisible());
        QCOMPARE(w.plotPanel->fullSize()->findChild<QLabel*>()->pixmap().height(), w.plotPanel->drift().height());
        w.plotPanel->fullSize()->close();

        const QRect help = w.GroupBox4->geometry();
        const QSize view = w.frameView->size();
        const int plotsHeight = w.plotPanel->height();
        const QSize log = w.Memo1->size();
        // At this height the options column scrolls; taller, its scroll bar
        // gives its room back to the views.
        QVERIFY(w.optionsArea->verticalScrollBar()->isVisible());
        const int bar = w.optionsArea->width() - w.optionsPanel->width();
        QVERIFY(bar > 0);
        // Tall enough for the whole column, the orientation and levels groups at its end included.
        const int taller = 460;
        w.resize(1340, 680 + taller);
        QVERIFY(!w.optionsArea->verticalScrollBar()->isVisible());
        QCOMPARE(w.frameView->width(), view.width() + bar);
        // Wider plots are taller: the frame takes the rest of the new height.
        QCOMPARE(w.frameView->height() + w.plotPanel->height(), view.height() + plotsHeight + taller);
        QCOMPARE(w.GroupBox4->geometry(), help);
        QCOMPARE(w.Memo1->pos(), QPoint(8, 405));
        QCOMPARE(w.Memo1->height(), log.height() + taller);
        const QRect text(w.Memo1->viewport()->mapTo(&w, QPoint()), w.Memo1->viewport()->size());
        QVERIFY(!text.intersects(help));
        QVERIFY2(text.width() > 3 * log.width(), qPrintable(QString::number(text.width())));
        QVERIFY(!w.Memo1->geometry().intersects(w.frameView->geometry()));
    }

    // Analyse plays the whole file and shows both plots; a batch shows its
    // file's plots after it.
    void analyseAndBatchShowTheFilesPlots()
    {
        WindowFixture f;
        TForm1& w = f.create();
        QVERIFY(!w.btnAnalyse->isEnabled());
        QVERIFY(f.settle());
        f.open({f.writeClip(QStringLiteral("clip.avi"), LargeClip(), 12)});
        QVERIFY(w.plotPanel->drift().isNull() && w.plotPanel->quality().isNull());
        QVERIFY(w.btnAnalyse->isEnabled());
        const QString log = w.Memo1->toPlainText();
        w.btnAnalyse->click();
        QVERIFY(!w.plotPanel->drift().isNull());
        QVERIFY(!w.plotPanel->quality().isNull());
        // The drift plot holds the x curve's ink: the frames were gathered.
        const QImage drift = w.plotPanel->drift();
        bool curve = false;
        for (int y = 0; y < drift.height() && !curve; ++y)
            for (int x = 0; x < drift.width() && !curve; ++x)
                curve = drift.pixel(x, y) == qRgb(kDriftXInk.red, kDriftXInk.green, kDriftXInk.blue);
        QVERIFY(curve);
        QCOMPARE(w.Memo1->toPlainText(), log);
        QVERIFY(w.btnAnalyse->isEnabled() && w.btnProcess->isEnabled() && w.btnOpen->isEnabled());
        // A click shows both plots at their full size.
        QTest::mouseClick(w.plotPanel, Qt::LeftButton);
        QVERIFY(w.plotPanel->fullSize() != nullptr && w.plotPanel->fullSize()->isVisible());
        const QLabel* full = w.plotPanel->fullSize()->findChild<QLabel*>();
        QCOMPARE(full->pixmap().width(), drift.width() + 8 + w.plotPanel->quality().width());

        w.plotPanel->clear();
        w.btnProcess->click();
        QVERIFY(!w.plotPanel->drift().isNull());
    }
};

std::unique_ptr<QObject> MakeTestWindowViews()
{
    return std::make_unique<TestWindowViews>();
}

#include "test_window_views.moc"
