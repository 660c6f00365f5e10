#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>

// Runs a shell command and keeps what it printed and how it ended.
struct CommandResult {
    int status = -1;        // exit status, or 128 + signal
    std::string out;
    std::string err;
};

inline std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline std::string ShellQuote(const std::string& text)
{
    std::string q = "'";
    for (char c : text) {
        if (c == '\'') q += "'\\''";
        else q += c;
    }
    return q + "'";
}

inline CommandResult RunCommand(const std::string& command, const std::string& scratchDir)
{
    const std::string outPath = scratchDir + "/.stdout";
    const std::string errPath = scratchDir + "/.stderr";
    const std::string full = command + " >" + ShellQuote(outPath) + " 2>" + ShellQuote(errPath) + " </dev/null";
    const int raw = std::system(full.c_str());
    CommandResult r;
    if (raw != -1 && WIFEXITED(raw)) r.status = WEXITSTATUS(raw);
    else if (raw != -1 && WIFSIGNALED(raw)) r.status = 128 + WTERMSIG(raw);
    r.out = ReadWholeFile(outPath);
    r.err = ReadWholeFile(errPath);
    std::remove(outPath.c_str());
    std::remove(errPath.c_str());
    return r;
}
