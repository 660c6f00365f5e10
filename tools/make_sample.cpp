// Writes a deterministic sample capture: a planet drifting over a noisy sky,
// as an uncompressed RGB24 AVI at 30 frames per second.

#include "avi/avi_writer.h"
#include "tools/sample_planet.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

namespace {

void Usage()
{
    std::fprintf(stderr,
                 "usage: orbicrop-make-sample [--frames N] [--size WxH] [--radius PX] [--seed N] [--gray]\n"
                 "                            [--track FILE.csv] OUT.avi\n");
}

} // namespace

int main(int argc, char** argv)
{
    SamplePlanet::Options options;
    int frames = 300;
    std::string output;
    std::string trackPath;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--frames" && hasValue) frames = std::atoi(argv[++i]);
        else if (arg == "--size" && hasValue) {
            if (std::sscanf(argv[++i], "%dx%d", &options.width, &options.height) != 2) { Usage(); return 2; }
        } else if (arg == "--radius" && hasValue) options.radius = std::atof(argv[++i]);
        else if (arg == "--seed" && hasValue) options.seed = std::strtoull(argv[++i], nullptr, 10);
        else if (arg == "--gray") options.gray = true;
        else if (arg == "--track" && hasValue) trackPath = argv[++i];
        else if (!arg.empty() && arg[0] != '-' && output.empty()) output = arg;
        else { Usage(); return 2; }
    }
    if (output.empty() || frames < 0 || options.width < 1 || options.height < 1) {
        Usage();
        return 2;
    }

    try {
        std::FILE* track = trackPath.empty() ? nullptr : std::fopen(trackPath.c_str(), "w");
        if (track) std::fputs("frame,center_x,center_y\n", track);
        TAviWriter writer(0, 0);
        writer.setFileName(output);
        writer.setWidth(options.width);
        writer.setHeight(options.height);
        writer.OpenVideo(false);
        SamplePlanet planet(options);
        OutputBitmap frame;
        for (int i = 0; i < frames; ++i) {
            double cx = 0, cy = 0;
            planet.next(frame, cx, cy);
            writer.AddFrame(frame, i);
            if (track) std::fprintf(track, "%d,%.3f,%.3f\n", i, cx, cy);
        }
        writer.CloseVideo();
        if (track) std::fclose(track);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orbicrop-make-sample: %s\n", e.what());
        return 1;
    }
    std::printf("%s: %d frames of %dx%d\n", output.c_str(), frames, options.width, options.height);
    return 0;
}
