// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// The part of a path after its last '/', extension included.
std::string FileNameOf(const std::string& path);

// The directory part of a path, up to and including its last separator;
// empty when the path has none.
std::string DirectoryOf(const std::string& path);

// Output path for an input: outputDir + the file name of
// (input without its last four characters, whatever they are) + "_" +
// ("Y8" for greyscale) + "orbic.avi". name.avi -> name_orbic.avi; sat.mpeg
// -> sat._orbic.avi; a path of four characters or fewer gives "_orbic.avi".
// A capture saved as still images (fileio/frame_sequence.h) is named by its
// FrameSequenceName: folder -> folder_orbic.avi.
// A character is a whole UTF-8 sequence where the bytes form one, otherwise
// a single byte, so that Mars_été keeps a valid name.
std::string OutputPathFor(const std::string& inputPath, const std::string& outputDir, bool grayscale);

// Where the window saves a file's best crop: beside its output, named after
// the output with "_best.png" for "orbic.avi" (name.avi -> name_best.png).
std::string BestFramePathFor(const std::string& inputPath, const std::string& outputDir);

// The SER output's path: the same name with "_orbic.ser", in either mode.
std::string SerOutputPathFor(const std::string& inputPath, const std::string& outputDir);
