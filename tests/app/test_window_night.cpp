// SPDX-License-Identifier: GPL-3.0-or-later
// A folder opened as a night and processed as orbicrop-cli runs one: the
// resume file, the report, and the second run that skips what was done.
#include "test_classes.h"
#include "window_fixture.h"

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
};

std::unique_ptr<QObject> MakeTestWindowNight()
{
    return std::make_unique<TestWindowNight>();
}

#include "test_window_night.moc"
