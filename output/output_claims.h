// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The one rule by which every final name of a batch is given: a plain
// output, one named after its frames' mid-time, a piece cut by time, a folder
// of frames. A name may not be one of the batch's inputs, nor a folder that
// holds one; it may not be a name that another input of the batch has
// claimed; and a folder that already has the name is replaced only when it
// holds nothing but the frame files this program writes under that name.
//
// Claims are made as names become known: a plain name before its file runs,
// a name that depends on the frames when they are written. Several files of
// a batch may run at once, so claiming is safe from any thread.
class OutputClaims {
public:
    explicit OutputClaims(std::vector<std::string> inputs = {});
    OutputClaims(const OutputClaims&) = delete;
    OutputClaims& operator=(const OutputClaims&) = delete;

    // Why input's output may not take path (a phrase that follows the
    // output's name: "is one of the chosen input files"); claims it for
    // input when it may. folder: the output is a folder of frames.
    std::optional<std::string> claim(const std::string& input, const std::string& path, bool folder);

private:
    std::vector<std::string> m_inputs;
    std::mutex m_lock;
    std::map<std::string, std::string> m_claimed;   // normalised path -> input
};

// Why path may not be written over for inputs: it is one of them (under any
// spelling or link), or a folder that holds one. nullopt when it may.
std::optional<std::string> InputConflict(const std::string& path, const std::vector<std::string>& inputs);

// What stands in the way of replacing the folder at path by a new folder of
// frames: the first entry in it that is not one of the frame files this
// program writes there (NAME_000123.tif, .fits or .png, NAME being the
// folder's name), or path itself when it is not a folder. nullopt when path
// does not exist or holds only such frames.
std::optional<std::string> ForeignEntryIn(const std::string& path);
