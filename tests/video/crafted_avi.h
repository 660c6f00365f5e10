// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// AVIs built byte by byte, for files no muxer writes: chunks the index does
// not list, sizes that disagree with it, an index out of order, chunks after
// the RIFF.

#include "fileio/little_endian.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace crafted {

using Bytes = std::vector<std::uint8_t>;
using orbicrop::fileio::fourcc;

inline void Append32(Bytes& out, std::uint32_t value)
{
    out.resize(out.size() + 4);
    orbicrop::fileio::WriteLe32(out.data() + out.size() - 4, value);
}

inline void Append16(Bytes& out, std::uint16_t value)
{
    out.resize(out.size() + 2);
    orbicrop::fileio::WriteLe16(out.data() + out.size() - 2, value);
}

inline void AppendId(Bytes& out, const char (&id)[5])
{
    Append32(out, fourcc(id));
}

// A chunk as it lands in the file: id, size, payload, a pad byte after an
// odd payload.
struct RawChunk {
    RawChunk(std::string id_, Bytes payload_, bool indexed_ = true)
        : id(std::move(id_)), payload(std::move(payload_)), indexed(indexed_)
    {}

    std::string id;   // four characters
    Bytes payload;
    bool indexed = true;                      // listed in idx1 (movi chunks only)
    std::optional<std::uint32_t> indexSize;   // a size in idx1 that disagrees with the chunk's
    std::string indexId;                      // an id in idx1 that does; empty: the chunk's
};

// A movie-list chunk idx1 does not list.
inline RawChunk Unlisted(const std::string& id, Bytes payload)
{
    return {id, std::move(payload), false};
}

inline void AppendChunk(Bytes& out, const RawChunk& chunk)
{
    out.insert(out.end(), chunk.id.begin(), chunk.id.begin() + 4);
    Append32(out, std::uint32_t(chunk.payload.size()));
    out.insert(out.end(), chunk.payload.begin(), chunk.payload.end());
    if (chunk.payload.size() % 2 != 0)
        out.push_back(0);
}

inline Bytes List(const char (&type)[5], const Bytes& body)
{
    Bytes out;
    AppendId(out, "LIST");
    Append32(out, std::uint32_t(body.size() + 4));
    AppendId(out, type);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// A one-stream AVI of 24-bit bottom-up frames (or Y800) as capture programs
// write it, with the movie list given chunk by chunk.
struct AviRecipe {
    std::int32_t width = 8;   // a multiple of four
    std::int32_t height = 4;
    bool gray = false;
    std::uint32_t rate = 25;
    std::uint32_t start = 0;   // the stream header's dwStart
    std::vector<RawChunk> movi;
    std::vector<int> indexOrder;        // the order of idx1's entries; empty: file order
    std::vector<RawChunk> afterIndex;   // inside the RIFF, after idx1
    Bytes afterRiff;                    // after the RIFF chunk

    std::uint32_t frameBytes() const { return std::uint32_t(width * height * (gray ? 1 : 3)); }

    // Frame k's pixels: every byte different from frame to frame.
    Bytes frame(int k) const
    {
        Bytes pixels(frameBytes());
        for (std::size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = std::uint8_t(k * 37 + int(i) * 5 + 1);
        return pixels;
    }

    // count whole frame chunks, all indexed.
    static AviRecipe Frames(int count)
    {
        AviRecipe recipe;
        for (int k = 0; k < count; ++k)
            recipe.movi.push_back({"00db", recipe.frame(k)});
        return recipe;
    }

    Bytes bytes() const
    {
        std::uint32_t indexed = 0;
        for (const RawChunk& chunk : movi)
            indexed += chunk.indexed ? 1 : 0;

        Bytes avih;
        for (std::uint32_t v : {1000000u / rate, 0u, 0u, 0x10u, indexed, 0u, 1u, frameBytes(), std::uint32_t(width),
                                std::uint32_t(height), 0u, 0u, 0u, 0u})
            Append32(avih, v);
        Bytes strh;
        AppendId(strh, "vids");
        Append32(strh, 0);
        for (std::uint32_t v : {0u, 0u, 0u, 1u, rate, start, indexed, frameBytes(), 0xFFFFFFFFu, 0u})
            Append32(strh, v);
        for (int v : {0, 0, width, height})
            Append16(strh, std::uint16_t(v));
        Bytes strf;
        for (std::uint32_t v : {40u, std::uint32_t(width), std::uint32_t(height)})
            Append32(strf, v);
        Append16(strf, 1);
        Append16(strf, gray ? 8 : 24);
        Append32(strf, gray ? fourcc("Y800") : 0);
        for (std::uint32_t v : {frameBytes(), 0u, 0u, 0u, 0u})
            Append32(strf, v);

        Bytes strl;
        AppendChunk(strl, {"strh", strh});
        AppendChunk(strl, {"strf", strf});
        Bytes hdrl;
        AppendChunk(hdrl, {"avih", avih});
        const Bytes streamList = List("strl", strl);
        hdrl.insert(hdrl.end(), streamList.begin(), streamList.end());

        Bytes moviBody;
        std::vector<std::pair<const RawChunk*, std::uint32_t>> entries;   // chunk, offset from 'movi'
        for (const RawChunk& chunk : movi) {
            if (chunk.indexed)
                entries.push_back({&chunk, std::uint32_t(moviBody.size() + 4)});
            AppendChunk(moviBody, chunk);
        }
        Bytes idx1;
        for (std::size_t k = 0; k < entries.size(); ++k) {
            const auto& [chunk, offset] = entries[indexOrder.empty() ? k : std::size_t(indexOrder[k])];
            const std::string& id = chunk->indexId.empty() ? chunk->id : chunk->indexId;
            idx1.insert(idx1.end(), id.begin(), id.begin() + 4);
            Append32(idx1, 0x10);
            Append32(idx1, offset);
            Append32(idx1, chunk->indexSize.value_or(std::uint32_t(chunk->payload.size())));
        }

        Bytes body;
        AppendId(body, "AVI ");
        for (const Bytes& part : {List("hdrl", hdrl), List("movi", moviBody)})
            body.insert(body.end(), part.begin(), part.end());
        AppendChunk(body, {"idx1", idx1});
        for (const RawChunk& chunk : afterIndex)
            AppendChunk(body, chunk);
        Bytes file;
        AppendId(file, "RIFF");
        Append32(file, std::uint32_t(body.size()));
        file.insert(file.end(), body.begin(), body.end());
        file.insert(file.end(), afterRiff.begin(), afterRiff.end());
        return file;
    }
};

}   // namespace crafted
