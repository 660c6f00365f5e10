// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/files_at_once.h"

#include "output/segmented_output.h"
#include "run/deferred_host.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

// How long the calling thread leaves the shell's events unhandled while it
// waits for a file to end: a stop is heard within this.
constexpr std::chrono::milliseconds kEventInterval{25};

// One file of the batch, from its preparation until it is told. Not movable:
// the host holds on to the state.
struct FileJob {
    explicit FileJob(BatchHost& shell) : host(shell, state) {}
    FileJob(const FileJob&) = delete;
    FileJob& operator=(const FileJob&) = delete;

    TProcessingState state;
    DeferredHost host;
    std::unique_ptr<BatchOutput> output;
    std::optional<SegmentedOutput> pieces;
    std::string outputPath;
    FileOutcome outcome;
    std::exception_ptr error;   // what ended the batch in this file
    std::thread thread;
    bool skipped = false;   // the batch rules refused it; it never ran
    bool over = false;      // under the batch's lock
};

class FilesAtOnce {
public:
    FilesAtOnce(TProcessingState& state, BatchHost& host, const OutputMaker& makeOutput, std::size_t jobs,
                const SourceOpener& open, BatchResult& summary)
        : m_state(state), m_host(host), m_makeOutput(makeOutput), m_jobs(jobs), m_summary(summary),
          m_open([this, &open](const std::string& path) {
              // A shell's opener may keep sources between calls (SourceKeeper).
              const std::lock_guard lock(m_openLock);
              return open(path);
          }),
          m_namer(makeOutput()), m_carried(state), m_claims(host.files()), m_count(host.files().size())
    {
        m_slots.resize(m_count);
    }

    // However the batch ends, no file runs on behind it.
    ~FilesAtOnce()
    {
        for (const auto& job : m_slots)
            if (job)
                job->host.requestStop();
        for (const auto& job : m_slots)
            if (job && job->thread.joinable())
                job->thread.join();
    }
    FilesAtOnce(const FilesAtOnce&) = delete;
    FilesAtOnce& operator=(const FilesAtOnce&) = delete;

    void run()
    {
        m_host.resetProgress();
        for (;;) {
            // The shell's events first: a stop heard now starts no other file.
            handleEvents();
            startFiles();
            tellFinished();
            std::unique_lock lock(m_lock);
            if (m_told == m_next && (m_next == m_count || m_stop || m_firstError))
                break;
            m_changed.wait_for(lock, kEventInterval, [this] { return m_news; });
            m_news = false;
        }
        tellNotRun();
        // A stopped batch's gauge stays where the stop left it.
        if (!m_stop)
            m_host.fillProgress();
        m_summary.stopped = m_summary.stopped || m_stop;
        m_state.stopRequested = m_summary.stopped;
    }

private:
    std::size_t running()
    {
        const std::lock_guard lock(m_lock);
        return m_running;
    }
    bool failing()
    {
        const std::lock_guard lock(m_lock);
        return m_firstError.has_value();
    }

    // Files are readied and their outputs claimed on this thread, in their
    // order, each as its turn to run comes: the names are the ones a batch
    // of one file at a time claims, and a probe of a file's first frames
    // waits until a run can start.
    void startFiles()
    {
        while (!m_stop && m_next < m_count && running() < m_jobs && !failing()) {
            const auto files = m_host.files();   // read afresh, as one file at a time does
            if (m_next >= files.size()) {
                m_count = m_next;
                return;
            }
            auto job = std::make_unique<FileJob>(m_host);
            PreparedFile prepared =
                PrepareBatchFile(m_carried, job->host, *m_namer, files, m_next, m_count, m_open, m_claims);
            job->state = m_carried;
            // Files side by side share the cores: a decoder that spreads one
            // file over them all pays for it in synchronisation.
            job->state.decoderThreads = std::max<std::int32_t>(1, std::int32_t(m_cores / m_jobs));
            if (prepared.skipped) {
                job->outcome = std::move(*prepared.skipped);
                job->skipped = true;
                job->over = true;
            } else {
                launch(*job, prepared.outputPath);
            }
            m_slots[m_next++] = std::move(job);
        }
    }

    void launch(FileJob& job, const std::string& outputPath)
    {
        job.output = m_makeOutput();
        if (const auto seconds = m_host.choices().segmentSeconds)
            job.pieces.emplace(*job.output, double(*seconds), m_claims);
        job.outputPath = outputPath;
        {
            const std::lock_guard lock(m_lock);
            ++m_running;
        }
        const std::size_t index = m_next;
        job.thread = std::thread([this, &job, index] { work(job, index); });
    }

    // On the file's own thread.
    void work(FileJob& job, std::size_t index)
    {
        try {
            job.outcome = RunBatchFile(job.state, job.host, *job.output, job.outputPath, m_open, nullptr,
                                       job.pieces ? &*job.pieces : nullptr, m_claims);
        } catch (...) {
            job.error = std::current_exception();
        }
        // A file over may wait long for the files before it: its writer's
        // memory goes now.
        job.pieces.reset();
        job.output.reset();
        {
            const std::lock_guard lock(m_lock);
            job.over = true;
            --m_running;
            m_news = true;
            if (job.error && (!m_firstError || index < *m_firstError))
                m_firstError = index;
        }
        m_changed.notify_all();
    }

    // Tells the shell about every file that is over and has none before it
    // left to tell; rethrows what ended the batch once its file's turn comes.
    void tellFinished()
    {
        for (;;) {
            FileJob* job = nullptr;
            {
                const std::lock_guard lock(m_lock);
                if (m_told == m_next || !m_slots[m_told]->over)
                    return;
                job = m_slots[m_told].get();
            }
            if (job->thread.joinable())
                job->thread.join();
            // The shell reads the file's state as it hears of it, as it
            // would while the file ran on it.
            m_state = job->state;
            job->host.replay(m_host);
            if (job->error) {
                stopAll();
                std::rethrow_exception(job->error);
            }
            m_summary.stopped = m_summary.stopped || job->state.stopRequested;
            TallyBatchFile(m_summary, m_host, std::move(job->outcome));
            ++m_told;
        }
    }

    void stopAll()
    {
        for (const auto& job : m_slots)
            if (job)
                job->host.requestStop();
    }

    void handleEvents()
    {
        m_host.processEvents();
        if (m_state.stopRequested && !m_stop) {
            m_stop = true;
            stopAll();
        }
        // An output that could not be opened ends the batch there: the
        // files after it stop, the files before it go on to their ends.
        if (const std::optional<std::size_t> failed = firstError())
            for (std::size_t i = *failed + 1; i < m_next; ++i)
                m_slots[i]->host.requestStop();
        showProgress();
    }

    std::optional<std::size_t> firstError()
    {
        const std::lock_guard lock(m_lock);
        return m_firstError;
    }

    // The frames of the whole batch: those played of the files started, over
    // the lengths known so far, each file not yet described counted as long
    // as the average of those that are.
    void showProgress()
    {
        std::int64_t done = 0;
        std::int64_t lengths = 0;
        std::int64_t described = 0;
        std::int64_t toPlay = std::int64_t(m_count);
        for (std::size_t i = 0; i < m_next; ++i) {
            const FileJob& job = *m_slots[i];
            if (job.skipped) {
                --toPlay;
                continue;
            }
            done += job.host.progress();
            if (const std::int32_t length = job.host.progressMax(); length >= 0) {
                lengths += length;
                ++described;
            }
        }
        if (described == 0)
            return;
        const std::int64_t total = lengths + (toPlay - described) * lengths / described;
        constexpr std::int64_t kMost = std::numeric_limits<std::int32_t>::max();
        m_host.setProgressMax(std::int32_t(std::clamp(std::max(total, done), std::int64_t(0), kMost)));
        m_host.setProgress(std::int32_t(std::clamp(done, std::int64_t(0), kMost)));
    }

    // The files a stop left out, as one file at a time leaves them.
    void tellNotRun()
    {
        for (std::size_t i = m_next; m_stop && i < m_count; ++i) {
            const auto files = m_host.files();
            if (i >= files.size())
                break;
            FileOutcome notRun;
            notRun.input = files[i];
            TallyBatchFile(m_summary, m_host, std::move(notRun));
        }
    }

    TProcessingState& m_state;
    BatchHost& m_host;
    const OutputMaker& m_makeOutput;
    const std::size_t m_jobs;
    const std::size_t m_cores = std::max(1U, std::thread::hardware_concurrency());
    BatchResult& m_summary;
    std::mutex m_openLock;
    const SourceOpener m_open;
    const std::unique_ptr<BatchOutput> m_namer;   // names outputs; never opened
    TProcessingState m_carried;                   // readies each file in turn
    OutputClaims m_claims;                        // before the files, which use it
    std::size_t m_count;
    std::vector<std::unique_ptr<FileJob>> m_slots;   // by the files' order; made as they start
    std::size_t m_next = 0;                          // the next file to start
    std::size_t m_told = 0;                          // the next file to tell the shell
    bool m_stop = false;                             // the user's

    std::mutex m_lock;   // guards what the files' threads change
    std::condition_variable m_changed;
    std::size_t m_running = 0;
    bool m_news = false;
    std::optional<std::size_t> m_firstError;
};

}   // namespace

void RunFilesAtOnce(TProcessingState& state, BatchHost& host, const OutputMaker& makeOutput, std::size_t jobs,
                    const SourceOpener& open, BatchResult& summary)
{
    FilesAtOnce batch(state, host, makeOutput, jobs, open, summary);
    batch.run();
}
