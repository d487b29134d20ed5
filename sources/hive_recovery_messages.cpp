// What the user reads of a hive recovery: what was applied, and a line per log that fell short.
#include <string>

#include "sources/hive_recovery.h"

namespace {

std::string Count(size_t count, const char* singular, const char* plural) {
    return std::to_string(count) + " " + (count == 1 ? singular : plural);
}

std::string AppliedBefore(size_t applied) {
    return applied == 0   ? "none applied"
           : applied == 1 ? "the first applied"
                          : "the first " + std::to_string(applied) + " applied";
}

// Where recovery stopped in a log: "entry 3 of 5 damaged, the first 2 applied".
std::string Stopped(const LogResult& result, const char* unit, const char* what) {
    return std::string(unit) + " " + std::to_string(result.failed) + " of " +
           std::to_string(result.total) + " " + what + ", " + AppliedBefore(result.applied);
}

// Why a log fell short, or "" when it did not.
std::string Problem(const LogResult& result) {
    switch (result.problem) {
        case LogProblem::kNone:
            return "";
        case LogProblem::kNotFound:
            return "not found; the hive's latest changes may sit in it: copy it from the PC's "
                   "disk along with the hive";
        case LogProblem::kEmpty:
            return "empty";
        case LogProblem::kNotALog:
            return "not a transaction log";
        case LogProblem::kBaseBlockDamaged:
            return "base block damaged";
        case LogProblem::kOtherState:
            return "written for another state of the hive";
        case LogProblem::kEntryDamaged:
            return Stopped(result, "entry", "damaged");
        case LogProblem::kEntryCutShort:
            return Stopped(result, "entry", "cut short");
        case LogProblem::kEntryOutOfSequence:
            return Stopped(result, "entry", "out of sequence");
        case LogProblem::kPageDamaged:
            return Stopped(result, "page", "damaged");
        case LogProblem::kPageMissing:
            return Stopped(result, "page", "missing (the log is cut short)");
    }
    return "";
}

}  // namespace

std::vector<std::string> HiveRecoveryMessages(const HiveRecovery& recovery,
                                              const HiveLogFiles& logs) {
    std::vector<std::string> lines;
    if (!recovery.dirty) {
        return lines;
    }
    size_t applied = 0;
    std::vector<std::string> sources;
    for (size_t i = 0; i < kHiveLogCount; ++i) {
        if (recovery.logs[i].applied > 0) {
            applied += recovery.logs[i].applied;
            sources.push_back(logs[i].name);
        }
    }
    if (applied == 0) {
        lines.push_back(
            "warning: the hive was not closed cleanly and none of its logs applies: it is read "
            "as it was last written, without its latest changes");
    } else {
        std::string from;
        for (size_t i = 0; i < sources.size(); ++i) {
            from += (i == 0 ? "" : i + 1 == sources.size() ? " and " : ", ") + sources[i];
        }
        lines.push_back("the hive was not closed cleanly: applied " +
                        (recovery.newFormat ? Count(applied, "log entry", "log entries")
                                            : Count(applied, "changed page", "changed pages")) +
                        " from " + from);
    }
    for (size_t i = 0; i < kHiveLogCount; ++i) {
        const std::string problem = Problem(recovery.logs[i]);
        if (!problem.empty()) {
            lines.push_back("warning: " + logs[i].name + ": " + problem);
        }
    }
    return lines;
}
