// SPDX-License-Identifier: GPL-3.0-or-later
#include "debayer/demosaic_module.h"

#include "image/bayer.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <array>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <stdexcept>

namespace {

// OpenCV names a pattern by the second and third samples of its second row,
// that is as seen from one sample down and to the right: RGGB is its BG.
int ConversionCode(BayerPattern pattern, DemosaicMethod method)
{
    const bool edgeAware = method == DemosaicMethod::EdgeAware;
    switch (pattern) {
    case BayerPattern::Rggb: return edgeAware ? cv::COLOR_BayerBG2BGR_EA : cv::COLOR_BayerBG2BGR;
    case BayerPattern::Grbg: return edgeAware ? cv::COLOR_BayerGB2BGR_EA : cv::COLOR_BayerGB2BGR;
    case BayerPattern::Gbrg: return edgeAware ? cv::COLOR_BayerGR2BGR_EA : cv::COLOR_BayerGR2BGR;
    case BayerPattern::Bggr: return edgeAware ? cv::COLOR_BayerRG2BGR_EA : cv::COLOR_BayerRG2BGR;
    }
    throw std::invalid_argument("demosaic: unknown Bayer pattern");
}

// Whether OpenCV can work on the caller's buffer in place; other buffers go
// through a copy. It takes two-byte samples only at even addresses and row
// steps, and its edge-aware code (4.6) walks from one row into the next as if
// there were no padding between them, so it needs rows packed end to end.
bool InPlace(const void* data, std::ptrdiff_t stride, std::size_t rowBytes, std::int32_t bytesPerSample,
             DemosaicMethod method)
{
    if (method == DemosaicMethod::EdgeAware && stride != std::ptrdiff_t(rowBytes))
        return false;
    return reinterpret_cast<std::uintptr_t>(data) % std::uintptr_t(bytesPerSample) == 0 && stride % bytesPerSample == 0;
}

void CopyRows(void* to, std::ptrdiff_t toStride, const void* from, std::ptrdiff_t fromStride, std::int32_t rows,
              std::size_t rowBytes)
{
    for (std::int32_t y = 0; y < rows; ++y)
        std::memcpy(static_cast<char*>(to) + y * toStride, static_cast<const char*>(from) + y * fromStride, rowBytes);
}

// OpenCV's parallel_for_ would otherwise spread each picture over worker
// threads of its own (TBB in Debian's build). Our readers already keep every
// core busy, one picture per thread, and ThreadSanitizer cannot see what an
// uninstrumented pool hands back, so a race on an output would go unnoticed.
// The setting is process-wide; a function-local static sets it once, however
// many threads make their first scratch at the same time.
void KeepOpenCvOnTheCallingThread()
{
    [[maybe_unused]] static const bool done = [] {
        cv::setNumThreads(0);
        return true;
    }();
}

// What a demosaicer keeps from call to call, so that a run of same-sized
// frames allocates once.
struct Scratch {
    cv::Mat mosaic;   // a copy of a mosaic OpenCV cannot read in place
    cv::Mat padded;   // a mosaic too small for OpenCV, grown by its mirror image
    cv::Mat grown;    // the colour picture of the grown mosaic
    cv::Mat colour;   // the picture before it reaches a buffer OpenCV cannot write
};

void Demosaic(Scratch& s, const void* mosaic, std::ptrdiff_t stride, std::int32_t width, std::int32_t height,
              std::int32_t bytesPerSample, BayerPattern pattern, DemosaicMethod method, void* out,
              std::ptrdiff_t outStride)
{
    if (width < 2 || height < 2)
        throw std::invalid_argument("demosaic: a mosaic needs at least 2 x 2 samples");
    if (bytesPerSample != 1 && bytesPerSample != 2)
        throw std::invalid_argument("demosaic: samples must be 1 or 2 bytes");
    const auto rowBytes = std::size_t(width) * std::size_t(bytesPerSample);
    if (stride < std::ptrdiff_t(rowBytes) || outStride < std::ptrdiff_t(3 * rowBytes))
        throw std::invalid_argument("demosaic: a stride is shorter than its row");

    const int depth = bytesPerSample == 1 ? CV_8U : CV_16U;
    const int code = ConversionCode(pattern, method);

    cv::Mat in;
    if (InPlace(mosaic, stride, rowBytes, bytesPerSample, method)) {
        in = cv::Mat(height, width, CV_MAKETYPE(depth, 1), const_cast<void*>(mosaic), std::size_t(stride));
    } else {
        s.mosaic.create(height, width, CV_MAKETYPE(depth, 1));
        CopyRows(s.mosaic.data, std::ptrdiff_t(s.mosaic.step), mosaic, stride, height, rowBytes);
        in = s.mosaic;
    }

    const bool direct = InPlace(out, outStride, 3 * rowBytes, bytesPerSample, method);
    cv::Mat picture;
    if (direct) {
        picture = cv::Mat(height, width, CV_MAKETYPE(depth, 3), out, std::size_t(outStride));
    } else {
        s.colour.create(height, width, CV_MAKETYPE(depth, 3));
        picture = s.colour;
    }

    // OpenCV interpolates only samples with a neighbour on every side and
    // blanks mosaics narrower or lower than 3. A mirror image two samples
    // deep (the edge sample not repeated) keeps every site's colour and gives
    // the small mosaic the neighbours it lacks.
    if (width < 3 || height < 3) {
        cv::copyMakeBorder(in, s.padded, 2, 2, 2, 2, cv::BORDER_REFLECT_101);
        cv::demosaicing(s.padded, s.grown, code);
        s.grown(cv::Rect(2, 2, width, height)).copyTo(picture);
    } else {
        // picture already has the size and type asked for, so OpenCV writes
        // into the caller's rows instead of allocating its own.
        cv::demosaicing(in, picture, code);
    }

    if (!direct)
        CopyRows(out, outStride, s.colour.data, std::ptrdiff_t(s.colour.step), height, 3 * rowBytes);
}

void* CreateScratch()
{
    try {
        KeepOpenCvOnTheCallingThread();
        return new Scratch;
    } catch (...) {
        return nullptr;
    }
}

void DestroyScratch(void* scratch)
{
    delete static_cast<Scratch*>(scratch);
}

int DemosaicEntry(void* scratch, const void* mosaic, std::ptrdiff_t stride, std::int32_t width, std::int32_t height,
                  std::int32_t bytesPerSample, int pattern, int method, void* out, std::ptrdiff_t outStride,
                  char* error, std::size_t errorSize)
{
    try {
        Demosaic(*static_cast<Scratch*>(scratch), mosaic, stride, width, height, bytesPerSample, BayerPattern(pattern),
                 DemosaicMethod(method), out, outStride);
        return 0;
    } catch (const std::invalid_argument& e) {
        std::snprintf(error, errorSize, "%s", e.what());
        return kDemosaicRefused;
    } catch (const std::exception& e) {
        std::snprintf(error, errorSize, "%s", e.what());
    } catch (...) {
        std::snprintf(error, errorSize, "demosaic: failed");
    }
    return kDemosaicRefused + 1;
}

constexpr DemosaicModule kModule{CreateScratch, DestroyScratch, DemosaicEntry};

}   // namespace

extern "C" const DemosaicModule* orbicrop_demosaic_module()
{
    return &kModule;
}
