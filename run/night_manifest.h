// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A file as it was when a capture was processed: a rerun redoes a capture
// whose inputs changed since.
struct FileStamp {
    std::string path;   // absolute
    std::uint64_t size = 0;
    std::int64_t modified = 0;   // nanoseconds since the epoch

    bool operator==(const FileStamp&) const = default;
};
std::optional<FileStamp> StampOf(const std::string& path);

// One capture of a night in the output folder's resume file: its inputs,
// the options that shaped its outputs, the outputs and how it ended.
struct NightEntry {
    std::vector<FileStamp> inputs;
    std::string options;
    std::vector<FileStamp> outputs;
    std::string status;   // "done" or "failed"
    std::string reason;
    std::string card;   // the capture as the night's report shows it (JSON text; see StoreCard)
};

// The output folder's orbicrop-night.json. Every change is made under a
// lock on the folder's lock file (so that machines sharing the folder do
// not lose each other's entries) and written through a temporary file
// renamed over the old one: a run killed at any point leaves the last
// complete resume file.
class NightManifest {
public:
    explicit NightManifest(const std::string& outputDir);

    const std::string& path() const { return m_path; }
    // The entry of a capture done before from exactly these inputs with
    // these options whose outputs are all still there as they were written.
    std::optional<NightEntry> doneBefore(const std::vector<FileStamp>& inputs, const std::string& options) const;
    // Adds entry, replacing one of the same inputs. Throws
    // std::runtime_error naming the file when it cannot be written.
    void record(const NightEntry& entry) const;

private:
    std::vector<NightEntry> read() const;

    std::string m_path;
    std::string m_lockPath;
};

// One machine's claim on a capture while it processes it, so that another
// machine writing into the same folder skips it: a file made only if it
// does not exist, holding the host's name and the process id. A claim left
// by a process of this host that is gone (killed) is taken over. The claim
// ends with the object.
class CaptureClaim {
public:
    // The claim, or nothing when another process holds it (holder names it).
    static std::optional<CaptureClaim> Take(const std::string& outputDir, const std::string& firstInput,
                                            std::string& holder);
    CaptureClaim(CaptureClaim&& other) noexcept;
    CaptureClaim& operator=(CaptureClaim&&) = delete;
    CaptureClaim(const CaptureClaim&) = delete;
    ~CaptureClaim();

private:
    explicit CaptureClaim(std::string path) : m_path(std::move(path)) {}
    std::string m_path;
};
