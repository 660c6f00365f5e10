// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "support/temp_dir.h"

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

// How tests start other processes. Programs go through the shell, with what
// they print kept in files of a scratch folder (binary output survives, and a
// program that fills one stream while the test waits on the other cannot
// stall). Code of the test itself runs in a forked child when it needs a
// limit the test process must not take on.

struct CommandResult {
    int status = -1;   // exit status, or 128 + signal
    std::string out;
    std::string err;
};

inline std::string ShellQuote(const std::string& text)
{
    std::string q = "'";
    for (char c : text) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

inline bool OnPath(const std::string& program)
{
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "");
    for (std::string dir; std::getline(dirs, dir, ':');)
        if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0)
            return true;
    return false;
}

// The tests read outputs back with ffmpeg and ffprobe, which
// scripts/install-deps --test installs: without one the set-up is broken, so the
// test fails naming the tool instead of skipping or failing on empty output.
inline void RequireTool(const std::string& program)
{
    if (!OnPath(program))
        throw std::runtime_error(program + " not on PATH: this test needs it (make test-deps installs it)");
}

inline CommandResult RunCommand(const std::string& command, const std::string& scratchDir)
{
    const std::string outPath = scratchDir + "/.stdout";
    const std::string errPath = scratchDir + "/.stderr";
    const std::string full = command + " >" + ShellQuote(outPath) + " 2>" + ShellQuote(errPath) + " </dev/null";
    const int raw = std::system(full.c_str());
    CommandResult r;
    if (raw != -1 && WIFEXITED(raw))
        r.status = WEXITSTATUS(raw);
    else if (raw != -1 && WIFSIGNALED(raw))
        r.status = 128 + WTERMSIG(raw);
    r.out = ReadWholeFile(outPath);
    r.err = ReadWholeFile(errPath);
    std::remove(outPath.c_str());
    std::remove(errPath.c_str());
    return r;
}

// Runs a program found on PATH with these arguments, none of them seen by
// the shell; a program that is not there fails the test (RequireTool).
inline CommandResult RunProgram(const std::vector<std::string>& args, const std::string& scratchDir)
{
    RequireTool(args.at(0));
    std::string command;
    for (const std::string& a : args) {
        if (!command.empty())
            command += ' ';
        command += ShellQuote(a);
    }
    return RunCommand(command, scratchDir);
}

// A command started through the shell and left running, for tests that act
// on it while it runs (an interrupt). Its output goes to the scratch folder
// as with RunCommand. A command not waited for is killed and reaped.
class StartedCommand {
public:
    StartedCommand(const std::string& command, const std::string& scratchDir)
        : m_outPath(scratchDir + "/.stdout"), m_errPath(scratchDir + "/.stderr")
    {
        const std::string full =
            "exec " + command + " >" + ShellQuote(m_outPath) + " 2>" + ShellQuote(m_errPath) + " </dev/null";
        m_pid = ::fork();
        if (m_pid < 0)
            throw std::runtime_error("fork failed");
        if (m_pid == 0) {
            ::execl("/bin/sh", "sh", "-c", full.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    ~StartedCommand()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    StartedCommand(const StartedCommand&) = delete;
    StartedCommand& operator=(const StartedCommand&) = delete;

    pid_t pid() const { return m_pid; }
    void signal(int number) const { ::kill(m_pid, number); }

    // Waits for the command to end; what it printed, and its status.
    CommandResult wait()
    {
        int raw = 0;
        CommandResult r;
        if (::waitpid(m_pid, &raw, 0) == m_pid) {
            if (WIFEXITED(raw))
                r.status = WEXITSTATUS(raw);
            else if (WIFSIGNALED(raw))
                r.status = 128 + WTERMSIG(raw);
        }
        m_pid = -1;
        r.out = ReadWholeFile(m_outPath);
        r.err = ReadWholeFile(m_errPath);
        std::remove(m_outPath.c_str());
        std::remove(m_errPath.c_str());
        return r;
    }

private:
    std::string m_outPath;
    std::string m_errPath;
    pid_t m_pid = -1;
};

// What a writer did in a child whose writes are refused (a file size limit,
// a full disk): how many frames it took and the message of each step that
// threw, carried back as text.
struct WriteOutcome {
    std::int32_t accepted = -1;   // frames whose add call returned normally
    std::string openError;
    std::string addError;
    std::string closeError;

    std::string serialised() const
    {
        return std::to_string(accepted) + "\n" + openError + "\n" + addError + "\n" + closeError + "\n";
    }
    static WriteOutcome parse(const std::string& text)
    {
        WriteOutcome o;
        std::istringstream lines(text);
        std::string accepted;
        std::getline(lines, accepted);
        o.accepted = accepted.empty() ? -1 : std::stoi(accepted);
        std::getline(lines, o.openError);
        std::getline(lines, o.addError);
        std::getline(lines, o.closeError);
        return o;
    }
};

// Runs work in a forked child and returns what it returned, through a pipe;
// throws when the child does not exit normally.
inline std::string InChild(const std::function<std::string()>& work)
{
    int fds[2];
    if (::pipe(fds) != 0)
        throw std::runtime_error("pipe failed");
    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        ::close(fds[0]);
        const std::string report = work();
        (void)!::write(fds[1], report.data(), report.size());
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string report;
    char buffer[256];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, std::size_t(n));
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("child did not exit normally");
    return report;
}

// Runs work in a child process whose file size limit is fileSizeLimit, the
// way a quota refuses a write: the kernel lets part of the data in, then
// fails with EFBIG. Returns what work returned.
inline std::string InChildWithFileSizeLimit(std::uint64_t fileSizeLimit, const std::function<std::string()>& work)
{
    return InChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{fileSizeLimit, fileSizeLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        return work();
    });
}

// Runs work in a child process that sees folder as a file system of its own
// with room for bytes (a tmpfs in the child's own mount namespace, gone with
// it): a full disk, which lets part of the data in, then fails with ENOSPC.
// Returns what work returned, or nothing when this machine lets the process
// mount no file system (it is neither root nor allowed user namespaces).
inline std::optional<std::string> InChildOnAFullDisk(const std::string& folder, std::uint64_t bytes,
                                                     const std::function<std::string()>& work)
{
    const std::string report = InChild([&]() -> std::string {
        const uid_t uid = ::getuid();
        const gid_t gid = ::getgid();
        if (::unshare(CLONE_NEWNS) != 0) {
            if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
                return "-";
            // As root of a namespace of its own, the child may mount a tmpfs.
            std::ofstream("/proc/self/setgroups") << "deny";
            std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
            std::ofstream("/proc/self/gid_map") << "0 " << gid << " 1";
        }
        // Private first, so that the tmpfs never shows outside the child.
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
            || ::mount("tmpfs", folder.c_str(), "tmpfs", 0, ("size=" + std::to_string(bytes)).c_str()) != 0)
            return "-";
        return "+" + work();
    });
    if (report.empty() || report[0] != '+')
        return std::nullopt;
    return report.substr(1);
}
