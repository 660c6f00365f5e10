// SPDX-License-Identifier: GPL-3.0-or-later
// A folder opened as a night and processed as orbicrop-cli runs one: the
// resume file, the report, and the second run that skips what was done.
#include "test_classes.h"
#include "window_fixture.h"

#include "stills/still_image.h"
#include "support/decoded_video.h"

#include <QComboBox>
#include <QDir>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

namespace {

QStringList LogLines(const TForm1& w)
{
    return w.Memo1->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// A folder "night" of two short clips of a grey disc (greyscale outputs).
QString WriteNight(const WindowFixture& f)
{
    QDir(f.dir.path()).mkpath(QStringLiteral("night"));
    f.writeClip(QStringLiteral("night/a.avi"), DiscClip{}, 4);
    f.writeClip(QStringLiteral("night/b.avi"), DiscClip{}, 5);
    return f.path(QStringLiteral("night"));
}

// A folder "frames" of n numbered 8-bit PNG frames of a grey disc, as a
// capture program saves a capture as still images.
QString WriteFrameFolder(const WindowFixture& f, int n)
{
    QDir(f.dir.path()).mkpath(QStringLiteral("frames"));
    constexpr int kWidth = 120;
    constexpr int kHeight = 90;
    std::vector<std::uint8_t> grey(std::size_t(kWidth) * kHeight);
    for (int i = 0; i < n; ++i) {
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                grey[std::size_t(y) * kWidth + std::size_t(x)] =
                    std::hypot(x - 50.0 - i, y - 45.0) < 20.0 ? std::uint8_t(200) : std::uint8_t(8);
        orbicrop::stills::StillImage image;
        image.samples = grey.data();
        image.width = kWidth;
        image.height = kHeight;
        const QString name = QStringLiteral("frames/f_%1.png").arg(i + 1);
        orbicrop::stills::WritePngStill(QFile::encodeName(f.path(name)).toStdString(), image);
    }
    return f.path(QStringLiteral("frames"));
}

int FramesOf(const WindowFixture& f, const QString& video)
{
    return Probe(QFile::encodeName(video).toStdString(), QFile::encodeName(f.dir.path()).toStdString()).frames;
}

}   // namespace

class TestWindowNight : public QObject {
    Q_OBJECT
private slots:
    // Process writes every capture, the resume file and the report, which
    // the browser is asked to show; a second Process skips both captures;
    // files opened the usual way are a batch again.
    void folderRunsAsANightAndASecondRunSkipsWhatWasDone()
    {
        WindowFixture f;
        TForm1& w = f.createSmall();
        const QString night = WriteNight(f);
        QVERIFY(!w.btnNightReport->isEnabled());
        *f.folderAnswer = night;
        w.btnOpenFolder->click();
        QCOMPARE(w.chosenFiles().size(), std::size_t(2));
        QCOMPARE(w.comboFiles->count(), 2);
        QCOMPARE(w.comboFiles->itemText(1), QStringLiteral("b.avi"));
        QVERIFY(w.btnProcess->isEnabled());
        QVERIFY(f.settle());

        w.btnProcess->click();
        QVERIFY2(f.shown->empty(), f.shown->empty() ? "" : qPrintable(f.shown->front().text));
        QCOMPARE(FramesOf(f, night + QStringLiteral("/a_Y8orbic.avi")), 4);
        QCOMPARE(FramesOf(f, night + QStringLiteral("/b_Y8orbic.avi")), 5);
        const QString report = night + QStringLiteral("/night.html");
        QVERIFY(QFileInfo::exists(report));
        QVERIFY(QFileInfo::exists(night + QStringLiteral("/orbicrop-night.json")));
        QCOMPARE(LogLines(w).back(), QStringLiteral("Night report: ") + report);
        QVERIFY(w.btnNightReport->isEnabled());
        QCOMPARE(*f.pagesOpened, QStringList{report});
        w.btnNightReport->click();
        QCOMPARE(f.pagesOpened->size(), 2);

        w.btnProcess->click();
        const QStringList log = LogLines(w);
        QCOMPARE(log.filter(QRegularExpression(QStringLiteral("^Skipped [ab]\\.avi: "))).size(), 2);
        QCOMPARE(log.back(), QStringLiteral("Night report: ") + report);

        f.open({f.writeClip(QStringLiteral("single.avi"), DiscClip{}, 3)});
        QVERIFY(f.settle());
        w.btnProcess->click();
        QCOMPARE(FramesOf(f, f.path(QStringLiteral("single_Y8orbic.avi"))), 3);
        QVERIFY(!LogLines(w).back().startsWith(QStringLiteral("Night report")));
    }

    // A folder dropped opens as the button opens it; one without captures
    // says so and leaves nothing open.
    void droppedFolderOpensAsANightAndAnEmptyOneIsTold()
    {
        WindowFixture f;
        TForm1& w = f.createSmall();
        QVERIFY(f.settle());
        const QString night = WriteNight(f);
        QSignalSpy tests(&w, &TForm1::testRan);
        QVERIFY(DragAndDrop(w, {QUrl::fromLocalFile(night)}));
        QTRY_COMPARE_WITH_TIMEOUT(tests.count(), 1, 1000);
        QCOMPARE(w.chosenFiles().size(), std::size_t(2));

        QDir(f.dir.path()).mkpath(QStringLiteral("empty"));
        *f.folderAnswer = f.path(QStringLiteral("empty"));
        w.btnOpenFolder->click();
        QVERIFY(w.chosenFiles().empty());
        QVERIFY(!w.btnProcess->isEnabled());
        QCOMPARE(f.shown->size(), std::size_t(1));
        QVERIFY2(f.shown->front().text.startsWith(QStringLiteral("No captures in ")),
                 qPrintable(f.shown->front().text));
    }

    // A folder of numbered frames is one capture, not a night: dropped or
    // chosen with "Open folder…", it opens as a file does and its output
    // goes beside it, named after it.
    void aFolderOfFramesOpensAsOneCapture()
    {
        WindowFixture f;
        TForm1& w = f.createSmall();
        QVERIFY(f.settle());
        const QString frames = WriteFrameFolder(f, 6);
        QSignalSpy tests(&w, &TForm1::testRan);
        QVERIFY(DragAndDrop(w, {QUrl::fromLocalFile(frames)}));
        QTRY_COMPARE_WITH_TIMEOUT(tests.count(), 1, 1000);
        QCOMPARE(w.chosenFiles(), std::vector<std::string>{QFile::encodeName(frames).toStdString()});
        QVERIFY2(f.shown->empty(), f.shown->empty() ? "" : qPrintable(f.shown->front().text));

        *f.folderAnswer = frames;
        w.btnOpenFolder->click();
        QVERIFY(f.settle());
        QCOMPARE(w.comboFiles->count(), 1);
        QCOMPARE(w.comboFiles->itemText(0), QStringLiteral("frames"));
        w.btnProcess->click();
        QVERIFY2(f.shown->empty(), f.shown->empty() ? "" : qPrintable(f.shown->front().text));
        QCOMPARE(FramesOf(f, f.path(QStringLiteral("frames_Y8orbic.avi"))), 6);
        QVERIFY(!QFileInfo::exists(frames + QStringLiteral("/night.html")));
    }
};

std::unique_ptr<QObject> MakeTestWindowNight()
{
    return std::make_unique<TestWindowNight>();
}

#include "test_window_night.moc"
