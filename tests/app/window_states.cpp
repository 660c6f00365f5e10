// SPDX-License-Identifier: GPL-3.0-or-later
// The window driven as a user would, for pictures and for one figure.
//
//   orbicrop-window-states shots VIDEO FRAME OUTDIR
//     renders the window in three states into OUTDIR: window-open.png (the
//     video opened and tested), window-frame.png (the slider at FRAME, with
//     "Reject cut discs" on, so that a frame whose disc the edge cuts says so),
//     window-batch.png (after processing the video, with its plots).
//   orbicrop-window-states night WIDTHxHEIGHT OUTDIR VIDEO...
//     opens the videos at that window size, with "Keep going when a file
//     fails" on, and renders the window before and after processing them
//     into OUTDIR: window-WIDTH-open.png and window-WIDTH-batch.png.
//   orbicrop-window-states cost RUNS VIDEO...
//     processes the videos as one batch 2 x RUNS times, alternately without
//     and with the frames shown as they go, and prints the median of each
//     and their ratio with the user and system time, page faults and peak
//     memory.
#include "app/frame_view_panel.h"
#include "app/plot_panel.h"
#include "app/window_host.h"
#include "window_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QSlider>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

int Fail(const char* message)
{
    std::fprintf(stderr, "orbicrop-window-states: %s\n", message);
    return 2;
}

bool Save(TForm1& w, const QString& path)
{
    QApplication::processEvents();
    if (!w.grab().save(path, "PNG"))
        return false;
    std::printf("%s\n", qPrintable(path));
    return true;
}

int Shots(WindowFixture& f, const QString& video, int frame, const QString& outDir)
{
    TForm1& w = f.create();
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return Fail("the window was not shown");
    // The size it opens at on a 1366 x 768 screen.
    w.resize(1340, 680);
    f.settle();
    f.open({video});
    if (!w.btnProcess->isEnabled())
        return Fail("the test did not pass on the video");
    if (!Save(w, QDir(outDir).filePath(QStringLiteral("window-open.png"))))
        return Fail("cannot write the first picture");

    w.checkRejectCut->click();
    f.settle();
    w.trackFrame->setFocus();
    w.trackFrame->setValue(frame);
    const QString shown = QStringLiteral("Frame %1 ").arg(frame + 1);
    if (!QTest::qWaitFor([&] { return !w.timerView->isActive() && w.lblFrame->text().startsWith(shown); }, 5000))
        return Fail("the slider did not show the frame");
    QTest::qWait(100);
    if (!Save(w, QDir(outDir).filePath(QStringLiteral("window-frame.png"))))
        return Fail("cannot write the second picture");

    // Outputs go to the scratch folder, not beside the video.
    w.setOutputFolder(f.path(QStringLiteral("out")));
    w.btnProcess->click();
    if (w.plotPanel->drift().isNull())
        return Fail("the batch drew no plots");
    if (!Save(w, QDir(outDir).filePath(QStringLiteral("window-batch.png"))))
        return Fail("cannot write the third picture");
    return 0;
}

int Night(WindowFixture& f, QSize size, const QString& outDir, const QStringList& videos)
{
    TForm1& w = f.create();
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return Fail("the window was not shown");
    w.resize(size);
    f.settle();
    w.checkKeepGoing->setChecked(true);
    f.open(videos);
    f.settle();
    const QString name = QStringLiteral("window-%1-").arg(size.width());
    if (!Save(w, QDir(outDir).filePath(name + QStringLiteral("open.png"))))
        return Fail("cannot write the first picture");
    w.setOutputFolder(f.path(QStringLiteral("out")));
    w.btnProcess->click();
    if (!Save(w, QDir(outDir).filePath(name + QStringLiteral("batch.png"))))
        return Fail("cannot write the second picture");
    return 0;
}

struct Run {
    double wall = 0;
    double user = 0;
    double system = 0;
    long faults = 0;
};

double Seconds(const timeval& t)
{
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

Run Process(TForm1& w)
{
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    QElapsedTimer clock;
    clock.start();
    w.btnProcess->click();
    Run run;
    run.wall = double(clock.nsecsElapsed()) / 1e9;
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    run.user = Seconds(after.ru_utime) - Seconds(before.ru_utime);
    run.system = Seconds(after.ru_stime) - Seconds(before.ru_stime);
    run.faults = (after.ru_minflt - before.ru_minflt) + (after.ru_majflt - before.ru_majflt);
    return run;
}

Run Median(std::vector<Run> runs)
{
    const auto middle = [&](auto field) {
        std::vector<double> values;
        for (const Run& run : runs)
            values.push_back(double(run.*field));
        std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(values.size() / 2), values.end());
        return values[values.size() / 2];
    };
    return {middle(&Run::wall), middle(&Run::user), middle(&Run::system), long(middle(&Run::faults))};
}

std::string CpuModel()
{
    std::ifstream cpuinfo("/proc/cpuinfo");
    for (std::string line; std::getline(cpuinfo, line);)
        if (line.rfind("model name", 0) == 0)
            return line.substr(line.find(':') + 2);
    return "unknown";
}

int Cost(WindowFixture& f, const QStringList& videos, int runs)
{
    TForm1& w = f.create();
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return Fail("the window was not shown");
    f.settle();
    f.open(videos);
    if (!w.btnProcess->isEnabled())
        return Fail("the test did not pass on the video");
    w.setOutputFolder(f.path(QStringLiteral("out")));
    std::vector<Run> hidden;
    std::vector<Run> shown;
    long framesShown = 0;
    for (int i = 0; i < runs; ++i) {
        w.setLiveInterval(-1);
        hidden.push_back(Process(w));
        w.setLiveInterval(1000 / WindowHost::kLiveFramesPerSecond);
        const QImage before = w.frameView->frame();
        shown.push_back(Process(w));
        framesShown += w.frameView->frame().cacheKey() != before.cacheKey();
    }
    const Run a = Median(hidden);
    const Run b = Median(shown);
    rusage self{};
    getrusage(RUSAGE_SELF, &self);
    std::printf("CPU: %s\n", CpuModel().c_str());
    std::printf("batch: %s (%lld files), %d runs each, alternating\n", qPrintable(videos.front()),
                static_cast<long long>(videos.size()), runs);
    std::printf("%-22s %8s %8s %8s %8s\n", "median of", "wall s", "user s", "sys s", "faults");
    std::printf("%-22s %8.3f %8.3f %8.3f %8ld\n", "frames not shown", a.wall, a.user, a.system, a.faults);
    std::printf("%-22s %8.3f %8.3f %8.3f %8ld\n", "5 frames a second", b.wall, b.user, b.system, b.faults);
    std::printf("ratio shown / not shown: wall %.3f, user+sys %.3f\n", b.wall / a.wall,
                (b.user + b.system) / (a.user + a.system));
    std::printf("peak memory of the process: %.1f MiB; runs that showed a frame: %ld of %d\n",
                double(self.ru_maxrss) / 1024.0, framesShown, runs);
    return framesShown == runs ? 0 : 1;
}

}   // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    WindowFixture f;
    if (args.size() == 5 && args[1] == QLatin1String("shots")) {
        QDir().mkpath(args[4]);
        return Shots(f, QFileInfo(args[2]).absoluteFilePath(), args[3].toInt(), args[4]);
    }
    if (args.size() >= 5 && args[1] == QLatin1String("night")) {
        const QStringList size = args[2].split(QLatin1Char('x'));
        QStringList videos;
        for (const QString& video : args.mid(4))
            videos << QFileInfo(video).absoluteFilePath();
        QDir().mkpath(args[3]);
        return Night(f, QSize(size.value(0).toInt(), size.value(1).toInt()), args[3], videos);
    }
    if (args.size() >= 4 && args[1] == QLatin1String("cost")) {
        QStringList videos;
        for (const QString& video : args.mid(3))
            videos << QFileInfo(video).absoluteFilePath();
        return Cost(f, videos, std::max(1, args[2].toInt()));
    }
    std::fprintf(stderr,
                 "usage: orbicrop-window-states shots VIDEO FRAME OUTDIR\n"
                 "       orbicrop-window-states night WIDTHxHEIGHT OUTDIR VIDEO...\n"
                 "       orbicrop-window-states cost RUNS VIDEO...\n");
    return 2;
}
