// SPDX-License-Identifier: GPL-3.0-or-later
// Writes a deterministic sample capture: a planet drifting over a noisy sky,
// as an uncompressed RGB24 AVI at 30 frames per second.

#include "avi/avi_writer.h"
#include "image/bayer.h"
#include "tools/sample_planet.h"
#include "tools/sample_surface.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace {

void PutLe(std::FILE* out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        std::fputc(int((value >> (8 * i)) & 0xFF), out);
}

// A SER capture as planetary cameras write it: little-endian samples (flag
// 0, as capture programs write it), depth 8 or 9..16 with the samples in the
// low bits, and one time stamp per frame at 30 fps. Monochrome, or the raw
// mosaic of a one-shot-colour camera: each sample the colour of its site.
class SerSampleWriter {
public:
    SerSampleWriter(const std::string& path, int width, int height, int depth, int frames,
                    std::optional<BayerPattern> bayer, int firstStamp)
        : m_out(std::fopen(path.c_str(), "wb")), m_depth(depth), m_frames(frames), m_firstStamp(firstStamp),
          m_bayer(bayer)
    {
        if (!m_out)
            throw std::runtime_error("cannot create " + path);
        std::fwrite("LUCAM-RECORDER", 1, 14, m_out.get());
        PutLe(m_out.get(), 0, 4);                                       // camera
        PutLe(m_out.get(), bayer ? 8 + std::uint32_t(*bayer) : 0, 4);   // mono, or RGGB 8 .. BGGR 11
        PutLe(m_out.get(), 0, 4);                                       // little-endian data
        PutLe(m_out.get(), std::uint32_t(width), 4);
        PutLe(m_out.get(), std::uint32_t(height), 4);
        PutLe(m_out.get(), std::uint32_t(depth), 4);
        PutLe(m_out.get(), std::uint32_t(frames), 4);
        const char text[120] = "orbicrop-make-sample";
        std::fwrite(text, 1, sizeof text, m_out.get());
        PutLe(m_out.get(), 0, 8);
        PutLe(m_out.get(), 0, 8);
    }

    void add(const OutputBitmap& frame, std::uint32_t& noise)
    {
        for (std::int32_t r = 0; r < frame.height(); ++r) {
            const std::uint8_t* row = frame.rowFromTop(r);
            for (std::int32_t x = 0; x < frame.width(); ++x) {
                const unsigned value = row[x * 3 + Channel(x, r)];
                if (m_depth <= 8) {
                    std::fputc(int(value), m_out.get());
                } else {
                    noise = noise * 1664525u + 1013904223u;
                    const unsigned low = (noise >> 16) & ((1u << (m_depth - 8)) - 1);
                    PutLe(m_out.get(), (value << (m_depth - 8)) | low, 2);
                }
            }
        }
    }

    void finish()
    {
        for (int i = m_firstStamp; i < m_firstStamp + m_frames; ++i)   // 100 ns ticks, 30 frames a second
            PutLe(m_out.get(), std::uint64_t(638000000000000000LL) + std::uint64_t(i) * 333333u, 8);
        if (std::fflush(m_out.get()) != 0)
            throw std::runtime_error("write failed");
    }

private:
    // The byte of a blue, green, red pixel that the sample at (x, y) takes:
    // green for a monochrome capture, else the colour of the mosaic's site.
    int Channel(int x, int y) const
    {
        if (!m_bayer)
            return 1;
        switch (PatternAt(*m_bayer, x, y)) {   // the site's colour leads its pattern
        case BayerPattern::Rggb: return 2;
        case BayerPattern::Bggr: return 0;
        case BayerPattern::Grbg:
        case BayerPattern::Gbrg: break;
        }
        return 1;
    }

    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> m_out;
    int m_depth;
    int m_frames;
    int m_firstStamp;
    std::optional<BayerPattern> m_bayer;
};

void Usage()
{
    std::fprintf(
        stderr,
        "usage: orbicrop-make-sample [--frames N] [--size WxH] [--radius PX] [--seed N] [--gray]\n"
        "                            [--ser-depth D [--bayer P]] [--track FILE.csv] [--rings] [--moon PX] [--surface]\n"
        "                            [--bump FRAME] [--stamps-from N] [--phase DEG]\n"
        "                            OUT.avi|OUT.ser\n"
        "  --ser-depth D  write a monochrome SER capture of depth D (8..16) instead of an AVI\n"
        "  --bayer P      with --ser-depth: the raw mosaic of a colour camera, pattern P (RGGB ...)\n"
        "  --rings        give the planet a ring system (Saturn)\n"
        "  --moon PX      a 6 x 6 white moon PX pixels right of the planet's centre\n"
        "  --phase DEG    Venus at this phase angle (0 full, 150 a thin crescent), the sun 20 degrees\n"
        "                 above the right; the track gives the disc's centre\n"
        "  --bump FRAME   the mount knocked at FRAME: the disc half out of the frame for 5 frames\n"
        "  --stamps-from N  with --ser-depth: time stamps go on from frame N of a longer capture\n"
        "                 (its next part, as capture programs split files)\n"
        "  --surface      a cratered surface filling the frame, cut at known whole-pixel shifts\n"
        "                 (the track gives each frame's shift instead of a centre)\n");
}

// What the command line asks for.
struct SampleRequest {
    SamplePlanet::Options options;
    int frames = 300;
    std::string output;
    std::string trackPath;
    int serDepth = 0;
    std::optional<BayerPattern> bayer;
    bool surface = false;
    int stampsFrom = 0;
};

// Nothing when the arguments are not understood or do not fit together.
std::optional<SampleRequest> ParseArguments(int argc, char** argv)
{
    SampleRequest request;
    SamplePlanet::Options& options = request.options;
    bool badBayer = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--frames" && hasValue)
            request.frames = std::atoi(argv[++i]);
        else if (arg == "--size" && hasValue) {
            if (std::sscanf(argv[++i], "%dx%d", &options.width, &options.height) != 2)
                return std::nullopt;
        } else if (arg == "--radius" && hasValue)
            options.radius = std::atof(argv[++i]);
        else if (arg == "--seed" && hasValue)
            options.seed = std::strtoull(argv[++i], nullptr, 10);
        else if (arg == "--gray")
            options.gray = true;
        else if (arg == "--rings")
            options.rings = true;
        else if (arg == "--moon" && hasValue)
            options.moonDistance = std::atof(argv[++i]);
        else if (arg == "--phase" && hasValue)
            options.phase = std::atof(argv[++i]);
        else if (arg == "--bump" && hasValue)
            options.bumpFrame = std::atoi(argv[++i]);
        else if (arg == "--stamps-from" && hasValue)
            request.stampsFrom = std::atoi(argv[++i]);
        else if (arg == "--surface")
            request.surface = true;
        else if (arg == "--track" && hasValue)
            request.trackPath = argv[++i];
        else if (arg == "--ser-depth" && hasValue)
            request.serDepth = std::atoi(argv[++i]);
        else if (arg == "--bayer" && hasValue) {
            request.bayer = ParseBayerPattern(argv[++i]);
            badBayer = !request.bayer;
        } else if (!arg.empty() && arg[0] != '-' && request.output.empty())
            request.output = arg;
        else
            return std::nullopt;
    }
    if (request.output.empty() || request.frames < 0 || options.width < 1 || options.height < 1 || request.serDepth < 0
        || request.serDepth > 16 || request.stampsFrom < 0 || badBayer || (request.bayer && request.serDepth == 0))
        return std::nullopt;
    return request;
}

void WriteSerSample(const SampleRequest& request)
{
    SamplePlanet::Options options = request.options;
    options.gray = !request.bayer;
    SerSampleWriter ser(request.output, options.width, options.height, request.serDepth, request.frames, request.bayer,
                        request.stampsFrom);
    SamplePlanet planet(options);
    OutputBitmap frame;
    std::uint32_t noise = 7;
    for (int i = 0; i < request.frames; ++i) {
        double cx = 0, cy = 0;
        planet.next(frame, cx, cy);
        ser.add(frame, noise);
    }
    ser.finish();
    std::printf("%s: %d frames of %dx%d, SER depth %d\n", request.output.c_str(), request.frames, options.width,
                options.height, request.serDepth);
}

// With the track of the planet's centres (or the surface's shifts) when asked.
void WriteAviSample(const SampleRequest& request)
{
    const SamplePlanet::Options& options = request.options;
    std::FILE* track = request.trackPath.empty() ? nullptr : std::fopen(request.trackPath.c_str(), "w");
    if (track)
        std::fputs("frame,center_x,center_y\n", track);
    TAviWriter writer(0, 0);
    writer.setFileName(request.output);
    writer.setWidth(options.width);
    writer.setHeight(options.height);
    writer.OpenVideo(false);
    SamplePlanet planet(options);
    SampleSurface ground({options.width, options.height, options.seed});
    OutputBitmap frame;
    for (int i = 0; i < request.frames; ++i) {
        double cx = 0, cy = 0;
        if (request.surface)
            ground.next(frame, cx, cy);
        else
            planet.next(frame, cx, cy);
        writer.AddFrame(frame, i);
        if (track)
            std::fprintf(track, "%d,%.3f,%.3f\n", i, cx, cy);
    }
    writer.CloseVideo();
    if (track)
        std::fclose(track);
}

}   // namespace

int main(int argc, char** argv)
{
    const std::optional<SampleRequest> request = ParseArguments(argc, argv);
    if (!request) {
        Usage();
        return 2;
    }
    try {
        if (request->serDepth > 0) {
            WriteSerSample(*request);
            return 0;
        }
        WriteAviSample(*request);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orbicrop-make-sample: %s\n", e.what());
        return 1;
    }
    std::printf("%s: %d frames of %dx%d\n", request->output.c_str(), request->frames, request->options.width,
                request->options.height);
    return 0;
}
