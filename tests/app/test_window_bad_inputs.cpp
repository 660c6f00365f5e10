// SPDX-License-Identifier: GPL-3.0-or-later
// The reliability corpus (tests/support/bad_inputs.h) through the window:
// every damaged or unusual input, opened alone, ends with the message the
// command-line tool prints (without its "orbicrop-cli: " prefix), or with the
// red COG panel where the tool prints a warning; Process ends enabled only
// for the inputs the tool processes; nothing crashes or hangs, and the window
// opens a good file afterwards. A batch of all of them goes on to its last
// file, and no input is changed.
#include "test_classes.h"
#include "window_fixture.h"

#include "app/status_bar.h"
#include "support/bad_inputs.h"
#include "support/decoded_video.h"
#include "run/actions.h"

#include <QRegularExpression>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace {

// A message as the window showed it, with the file name that the status bar
// showed at that moment: the file the message is about.
struct AttributedMessage {
    MessageSink::Kind kind;
    QString text;
    QString file;
};

class AttributingSink : public MessageSink {
public:
    explicit AttributingSink(std::shared_ptr<std::vector<AttributedMessage>> shown) : m_shown(std::move(shown)) {}
    void show(QWidget* parent, Kind kind, const QString& text) override
    {
        const auto* form = qobject_cast<const TForm1*>(parent);
        m_shown->push_back({kind, text, form ? form->StatusBar1->panelText(1) : QString()});
    }
    bool ask(QWidget*, const QString&) override { return false; }

private:
    std::shared_ptr<std::vector<AttributedMessage>> m_shown;
};

// Ends the test program with the name of what it was doing when a step does
// not return in time: a hang shows as a named failure, not as a CTest timeout.
class Watchdog {
public:
    Watchdog(std::chrono::seconds limit, std::string what)
        : m_what(std::move(what)), m_thread([this, limit] {
              std::unique_lock<std::mutex> lock(m_mutex);
              if (!m_done.wait_for(lock, limit, [this] { return m_finished; })) {
                  std::fprintf(stderr, "HANG: %s did not return within %lld s\n", m_what.c_str(),
                               static_cast<long long>(limit.count()));
                  std::fflush(stderr);
                  std::abort();
              }
          })
    {}
    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_finished = true;
        }
        m_done.notify_all();
        m_thread.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::string m_what;
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    std::thread m_thread;
};

constexpr auto kStepLimit = std::chrono::seconds(60);
constexpr qint64 kOpenMsLimit = 20000;

std::string Native(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

bool IsCogWarning(const BadInput& input)
{
    return input.message.find("COG") != std::string::npos;
}

// The real window with a scripted open dialog, attributed messages and a
// settings file in a scratch folder; output 32 x 32 as in the CLI's corpus tests.
struct BadInputWindow {
    QTemporaryDir dir;
    std::shared_ptr<QStringList> answer = std::make_shared<QStringList>();
    std::shared_ptr<std::vector<AttributedMessage>> shown = std::make_shared<std::vector<AttributedMessage>>();
    std::unique_ptr<TForm1> form;

    QString path(const QString& name) const { return dir.filePath(name); }

    TForm1& create()
    {
        WindowServices services;
        services.chooser = std::make_unique<ScriptedChooser>(answer);
        services.messages = std::make_unique<AttributingSink>(shown);
        services.settingsPath = path(QStringLiteral("Orbicrop.ini"));
        form = std::make_unique<TForm1>(std::move(services));
        form->trackWidth->setValue(2);
        form->trackHeight->setValue(2);
        return *form;
    }
    bool settle() const
    {
        return QTest::qWaitFor([this] { return !form->timerTest->isActive(); }, 1000);
    }
    void open(const QStringList& files)
    {
        *answer = files;
        form->btnOpen->click();
    }
    QString make(const BadInput& input) const
    {
        const QString file = path(QString::fromStdString(input.name));
        input.make(Native(file));
        return file;
    }
    ProbedStream probe(const QString& video) const { return Probe(Native(video), Native(dir.path())); }
};

QString OutputOf(const QString& input)
{
    return input.left(input.size() - 4) + QStringLiteral("_Y8orbic.avi");
}

}   // namespace

class TestWindowBadInputs : public QObject {
    Q_OBJECT
private slots:
    void openedAloneEndsWithTheToolsMessage_data()
    {
        QTest::addColumn<int>("index");
        const auto corpus = BadInputCorpus("");
        for (std::size_t i = 0; i < corpus.size(); ++i)
            QTest::newRow(corpus[i].name.c_str()) << int(i);
    }
    void openedAloneEndsWithTheToolsMessage()
    {
        QFETCH(int, index);
        const BadInput input = BadInputCorpus("")[std::size_t(index)];
        BadInputWindow f;
        TForm1& w = f.create();
        QVERIFY(f.settle());
        const QString file = f.make(input);
        const auto before = FileBytes(Native(file));
        const bool good = input.exitWhenFirst == 0;

        QSignalSpy tests(&w, &TForm1::testRan);
        QElapsedTimer clock;
        clock.start();
        {
            Watchdog dog(kStepLimit, "opening " + input.name);
            f.open({file});
        }
        QVERIFY2(clock.elapsed() < kOpenMsLimit, qPrintable(QStringLiteral("open took %1 ms").arg(clock.elapsed())));
        QCOMPARE(tests.count(), 1);
        QCOMPARE(tests.at(0).at(0).toBool(), good);
        QCOMPARE(w.btnProcess->isEnabled(), good);

        if (good || IsCogWarning(input)) {
            // Nothing in a box: a passing test, or the warning in the panel.
            // A clip whose planet reaches from border to border passes with
            // the fill warning, and only that.
            std::erase_if(*f.shown, [](const auto& m) { return m.text == QString::fromLatin1(kFillsFrameWarning); });
            for (const auto& m : *f.shown)
                qWarning("unexpected message: %s", qPrintable(m.text));
            QVERIFY(f.shown->empty());
            if (IsCogWarning(input)) {
                QCOMPARE(w.Panel1->text(), QString::fromStdString(input.message));
                QVERIFY(w.Image->isHidden());
            }
        } else {
            QCOMPARE(f.shown->size(), std::size_t(1));
            QCOMPARE(f.shown->front().kind, MessageSink::Kind::Information);
            QCOMPARE(f.shown->front().text, QString::fromStdString(input.message));
            QCOMPARE(f.shown->front().file, QString::fromStdString(input.name));
        }

        if (good) {
            // Processed alone, as the command-line tool does.
            QVERIFY(f.settle());
            {
                Watchdog dog(kStepLimit, "processing " + input.name);
                w.btnProcess->click();
            }
            QVERIFY(f.shown->empty());
            QCOMPARE(w.StatusBar1->panelText(2), QStringLiteral("Completed!"));
            QVERIFY(w.btnProcess->isEnabled() && w.btnOpen->isEnabled() && w.GroupBox1->isEnabled());
            const ProbedStream out = f.probe(OutputOf(file));
            QCOMPARE(out.width, 32);
            QVERIFY2(out.frames >= 1, qPrintable(QStringLiteral("%1 frames").arg(out.frames)));
        }
        QVERIFY2(FileBytes(Native(file)) == before, "the input was changed");

        // The window is still usable: a good file opens and passes its test.
        f.shown->clear();
        const QString clip = f.path(QStringLiteral("afterwards.avi"));
        SmallClip().write(Native(clip), 3);
        {
            Watchdog dog(kStepLimit, "opening a good file after " + input.name);
            f.open({clip});
        }
        QCOMPARE(tests.count(), 2);
        QCOMPARE(tests.at(1).at(0).toBool(), true);
        QVERIFY(w.btnProcess->isEnabled());
        QVERIFY(w.Panel1->text().isEmpty());
        QVERIFY(f.shown->empty());
    }

    void batchGoesOnPastEveryBadFileAndTouchesNoInput()
    {
        BadInputWindow f;
        TForm1& w = f.create();
        QVERIFY(f.settle());
        const QString first = f.path(QStringLiteral("first.avi"));
        const QString last = f.path(QStringLiteral("last.avi"));
        SmallClip().write(Native(first), 4);
        SmallClip().write(Native(last), 5);
        const auto corpus = BadInputCorpus("");
        QStringList files{first};
        for (const BadInput& input : corpus)
            files << f.make(input);
        files << last;
        std::vector<std::vector<std::uint8_t>> before;
        for (const QString& file : files)
            before.push_back(FileBytes(Native(file)));

        QSignalSpy tests(&w, &TForm1::testRan);
        f.open(files);
        QCOMPARE(tests.count(), 1);
        QCOMPARE(tests.at(0).at(0).toBool(), true);
        QVERIFY(w.btnProcess->isEnabled());
        QVERIFY(f.shown->empty());
        QVERIFY(f.settle());

        QElapsedTimer clock;
        clock.start();
        {
            Watchdog dog(std::chrono::seconds(240), "the batch of the whole corpus");
            w.btnProcess->click();
        }
        qInfo("batch of %lld files: %lld ms", static_cast<long long>(files.size()),
              static_cast<long long>(clock.elapsed()));

        // The batch reached its last file and ended as a batch ends, with
        // the files that failed (one message each) counted.
        QCOMPARE(w.StatusBar1->panelText(0), QStringLiteral("File %1/%1").arg(files.size()));
        QCOMPARE(w.StatusBar1->panelText(1), QStringLiteral("last.avi"));
        QCOMPARE(w.StatusBar1->panelText(2), QStringLiteral("Completed with %1 failed files").arg(f.shown->size()));
        QVERIFY(w.btnProcess->isEnabled() && w.btnOpen->isEnabled() && w.GroupBox1->isEnabled());

        // Each failing file's message, in the order of the files, about that
        // file, saying that nothing was written for it.
        QStringList expected, actual;
        for (const BadInput& input : corpus) {
            if (input.exitWhenFirst != 0 && !IsCogWarning(input))
                expected << QString::fromStdString(input.name + ": " + input.message + "\nNothing was written for "
                                                   + input.name + ".");
            else if (IsCogWarning(input))
                expected << QString::fromStdString(input.name + ": No frame of " + input.name
                                                   + " was written: N without a planet");
        }
        // The reason is counted: how many frames depends on the file.
        static const QRegularExpression counted(QStringLiteral("was written: \\d+ without a planet$"));
        for (const auto& m : *f.shown) {
            QCOMPARE(m.kind, MessageSink::Kind::Information);
            QString text = m.file + QStringLiteral(": ") + m.text;
            actual << text.replace(counted, QStringLiteral("was written: N without a planet"));
        }
        QCOMPARE(actual, expected);

        QCOMPARE(f.probe(f.path(QStringLiteral("first_Y8orbic.avi"))).frames, 4);
        const ProbedStream out = f.probe(f.path(QStringLiteral("last_Y8orbic.avi")));
        QCOMPARE(out.frames, 5);
        QCOMPARE(out.width, 32);
        QCOMPARE(out.height, 32);
        // The good inputs among the bad ones have their outputs too.
        for (const BadInput& input : corpus) {
            if (input.exitWhenFirst == 0) {
                const ProbedStream good = f.probe(OutputOf(f.path(QString::fromStdString(input.name))));
                QVERIFY2(good.frames >= 1, input.name.c_str());
            }
        }
        for (std::size_t i = 0; i < std::size_t(files.size()); ++i)
            QVERIFY2(FileBytes(Native(files[int(i)])) == before[i],
                     qPrintable(files[int(i)] + QStringLiteral(" was changed")));

        // And the window opens again afterwards.
        f.open({first});
        QCOMPARE(tests.count(), 2);
        QCOMPARE(tests.at(1).at(0).toBool(), true);
    }
};

std::unique_ptr<QObject> MakeTestWindowBadInputs()
{
    return std::make_unique<TestWindowBadInputs>();
}

#include "test_window_bad_inputs.moc"
