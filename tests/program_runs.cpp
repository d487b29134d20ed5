// Running programs from the tests, under a setting of their process, or under strace.
#include "tests/program_runs.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "tests/test_support.h"

namespace {

constexpr auto kStopDeadline = std::chrono::minutes(1);
constexpr auto kStopPollInterval = std::chrono::milliseconds(10);
const char kTracedStringBytes[] = "4096";  // file names in a trace are never cut short

// In a child process that StartProgram made: runs argv under the file size limit (see
// LimitFileSize), its stderr going through a pipe so that the limit does not cut the messages
// themselves, and ends with its exit code.
[[noreturn]] void RunUnderFileSizeLimit(char** argv, size_t fileSizeLimit) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        _exit(127);
    }
    const pid_t limited = fork();
    if (limited == 0) {
        dup2(pipeEnds[1], 2);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        LimitFileSize(fileSizeLimit);
        execvp(argv[0], argv);
        _exit(127);
    }
    close(pipeEnds[1]);
    char buffer[4096];
    for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) {
        if (write(2, buffer, static_cast<size_t>(got)) != got) {
            _exit(127);
        }
    }
    int status = 0;
    waitpid(limited, &status, 0);
    _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 127);
}

// In a child process that StartProgram made: sets it up as setting says. Returns false when
// that cannot be done here.
bool SetUpProcess(const ProcessSetting& setting) {
    for (const std::string& variable : setting.environment) {
        const size_t equals = variable.find('=');
        if (equals == std::string::npos) {
            unsetenv(variable.c_str());
        } else {
            setenv(variable.substr(0, equals).c_str(), variable.c_str() + equals + 1, 1);
        }
    }
    if (!setting.varTmp.empty() && !BindOverVarTmp(setting.varTmp, setting.varTmpReadOnly)) {
        return false;
    }
    return !setting.unprivileged || BecomeUnprivileged();
}

// The processes whose parent is pid.
std::vector<pid_t> ChildrenOf(pid_t pid) {
    const std::string pidText = std::to_string(pid);
    std::istringstream children(
        ReadFileBytes("/proc/" + pidText + "/task/" + pidText + "/children"));
    std::vector<pid_t> found;
    for (pid_t child; children >> child;) {
        found.push_back(child);
    }
    return found;
}

// The process named name at or below pid, -1 when there is none.
pid_t FindProcess(pid_t pid, const std::string& name) {
    if (ReadFileBytes("/proc/" + std::to_string(pid) + "/comm") == name + "\n") {
        return pid;
    }
    for (pid_t child : ChildrenOf(pid)) {
        const pid_t found = FindProcess(child, name);
        if (found > 0) {
            return found;
        }
    }
    return -1;
}

}  // namespace

pid_t StartProgram(const std::string& directory, const std::string& program,
                   const std::vector<std::string>& args, const std::string& inputPath,
                   const ProcessSetting& setting) {
    const std::string outPath = directory + "/../stdout";
    const std::string errPath = directory + "/../stderr";
    std::vector<char*> argv;
    std::string programCopy = program;
    argv.push_back(programCopy.data());
    std::vector<std::string> copies = args;
    for (std::string& arg : copies) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    const pid_t child = fork();
    if (child == 0) {
        const int in = open(inputPath.empty() ? "/dev/null" : inputPath.c_str(), O_RDONLY);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0 || chdir(directory.c_str()) != 0 || dup2(in, 0) < 0 ||
            dup2(out, 1) < 0 || dup2(err, 2) < 0 || !SetUpProcess(setting)) {
            _exit(127);
        }
        if (setting.fileSizeLimit != 0) {
            RunUnderFileSizeLimit(argv.data(), setting.fileSizeLimit);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return child;
}

RunResult WaitForProgram(pid_t child, const std::string& directory) {
    RunResult result;
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child) {
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    }
    result.out = ReadFileBytes(directory + "/../stdout");
    result.err = ReadFileBytes(directory + "/../stderr");
    return result;
}

RunResult RunProgram(const std::string& directory, const std::string& program,
                     const std::vector<std::string>& args, const std::string& inputPath,
                     const ProcessSetting& setting) {
    return WaitForProgram(StartProgram(directory, program, args, inputPath, setting), directory);
}

std::string StraceUnavailable() {
    ScratchDir scratch;
    const std::string work = scratch.File("work");
    if (mkdir(work.c_str(), 0755) != 0) {
        return "no scratch directory";
    }
    const RunResult run = RunProgram(work, "strace", {"-qq", "-o", "/dev/null", "true"});
    return run.exitCode == 0 ? "" : "strace cannot trace a program here: " + run.err;
}

std::vector<std::string> UnderStrace(const std::string& syscall, const char* signal,
                                     const std::string& program,
                                     const std::vector<std::string>& args,
                                     const std::string& traceFile, const std::string& alsoTraced) {
    const std::string traced = alsoTraced.empty() ? syscall : syscall + "," + alsoTraced;
    std::vector<std::string> line = {"-f",   "-qq",
                                     "-s",   kTracedStringBytes,
                                     "-o",   traceFile,
                                     "-e",   "trace=" + traced,
                                     "-e",   "inject=" + syscall + ":signal=" + signal + ":when=1",
                                     program};
    line.insert(line.end(), args.begin(), args.end());
    return line;
}

pid_t WaitForStoppedProcess(pid_t root, const std::string& name, const std::string& traceFile) {
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < kStopDeadline) {
        const pid_t found = FindProcess(root, name);
        if (found > 0 &&
            ReadFileBytes(traceFile).find("--- stopped by SIGSTOP ---") != std::string::npos) {
            return found;
        }
        siginfo_t state = {};
        if (waitid(P_PID, static_cast<id_t>(root), &state, WEXITED | WNOHANG | WNOWAIT) != 0 ||
            state.si_pid != 0) {
            return -1;
        }
        std::this_thread::sleep_for(kStopPollInterval);
    }
    return -1;
}
