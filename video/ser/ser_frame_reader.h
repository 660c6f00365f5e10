// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "video/ser/ser_file.h"
#include "video/ser/ser_layout.h"

#include <cstdint>
#include <span>

// How a SER file's frames reach memory. Copied: read into the caller's
// reused buffers. Mapped: straight from a read-only map of the file, no copy;
// falls back to Copied when the file cannot be mapped. Automatic: mapped for
// two-byte samples, copied for one-byte ones, as each measured cheaper. A
// two-byte frame is narrowed to 8 bits as it is read, so the map saves a
// copy of twice the bytes the reader writes: 300 frames of a 1080p 12-bit
// capture took 0.28 s of wall time against 0.39 s copied, and 0.40 s of
// user + system time against 0.61 s. A one-byte frame goes to the sink as
// stored, and the two cost the same (0.20 s wall); the copy is kept there,
// as a copied frame stays readable if the file is cut short meanwhile.
// With Automatic, a source whose sink reads no stored samples reads
// two-byte frames in bands instead (readPart), whatever the file's reading.
enum class SerReading { Automatic, Mapped, Copied };

// Hands out the stored bytes of one frame after another.
class SerFrameReader {
public:
    // Automatic reads as Copied: the caller resolves it, knowing the samples.
    SerFrameReader(SerFile file, const SerLayout& layout, SerReading reading);

    // The layout.frameBytes stored bytes of frame index (< layout.frames),
    // copied into buffer (of layout.frameBytes at least) when the file is not
    // mapped: valid while buffer is left alone, so frames read ahead stay
    // readable. From a map, the file's own pages (read-only), mapped in
    // before they are returned; the frames framesKept before index are kept,
    // and the one before those is given back (done). nullptr when the file
    // no longer holds them (it shrank since opening).
    const std::uint8_t* frame(std::uint32_t index, std::span<std::uint8_t> buffer, std::uint32_t framesKept = 0);

    // Bytes [from, from + out.size()) of frame index, read into out whether
    // or not the file is mapped: false when the file no longer holds them.
    // A reader that narrows a frame band by band reads it through a buffer
    // that stays in the core's cache, and leaves no mapped pages behind.
    bool readPart(std::uint32_t index, std::uint64_t from, std::span<std::uint8_t> out) const;

    // Whether frames come from a map of the file. Frames may be read by
    // several threads at once, copied ones each into buffers of its own.
    bool mapped() const { return !m_map.empty(); }

private:
    // Frame index is done with: a map gives its pages back.
    void done(std::uint32_t index);

    SerFile m_file;
    SerLayout m_layout;
    SerFileMap m_map;
};
