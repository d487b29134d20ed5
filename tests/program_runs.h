// Running programs from the tests: their output kept in files, their process set up as a case
// needs (environment, user, a private /var/tmp), and, through strace, a crash or a stop at a
// chosen system call.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

struct RunResult {
    int exitCode = -1;  // -1 when it did not exit on its own
    bool killed = false;
    std::string out;
    std::string err;
};

// How the process of a program is set up before the program starts.
struct ProcessSetting {
    size_t fileSizeLimit = 0;              // see LimitFileSize, when not 0
    std::vector<std::string> environment;  // "NAME=VALUE" to set, "NAME" to unset
    bool unprivileged = false;  // as user nobody (see kNobody) when the tests run as root
    std::string varTmp;         // when not empty: bound over /var/tmp (see BindOverVarTmp)
    bool varTmpReadOnly = false;
};

// Starts program with args in directory, stdin from inputPath ("" for none), its two streams
// going to files beside it, its process set up as setting says. Returns its process id.
pid_t StartProgram(const std::string& directory, const std::string& program,
                   const std::vector<std::string>& args, const std::string& inputPath = "",
                   const ProcessSetting& setting = {});

// Waits for a program that StartProgram started in directory and collects what it printed.
RunResult WaitForProgram(pid_t child, const std::string& directory);

// Runs program with args in directory (see StartProgram).
RunResult RunProgram(const std::string& directory, const std::string& program,
                     const std::vector<std::string>& args, const std::string& inputPath = "",
                     const ProcessSetting& setting = {});

// Returns "" when strace can trace a program here, else why not.
std::string StraceUnavailable();

// strace's command line that runs program with args, injecting signal into its first call of
// syscall (and of no other). A deadly signal stops the call from being made; any other is
// delivered after it returns. The calls traced (syscall, and those of alsoTraced, a list with
// commas) are written to traceFile.
std::vector<std::string> UnderStrace(const std::string& syscall, const char* signal,
                                     const std::string& program,
                                     const std::vector<std::string>& args,
                                     const std::string& traceFile = "/dev/null",
                                     const std::string& alsoTraced = "");

// Waits until a process named name below the process root (which StartProgram started) is
// stopped, as UnderStrace(..., "STOP", ..., traceFile) stops it and says in traceFile (the
// process state alone cannot tell the stop from strace's own stops at each call). Returns its
// process id, or -1 when root ended first or a minute went by.
pid_t WaitForStoppedProcess(pid_t root, const std::string& name, const std::string& traceFile);
