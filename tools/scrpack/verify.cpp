// scrpack verify: each installer checked as its stub would read it, and
// beyond: names that clash, and every compressed stream expanded into
// nothing. One verdict line per installer.
#include "tools/scrpack/cli.h"
#include "tools/scrpack/installer.h"
#include "tools/scrpack/scrpack.h"

namespace scrpack {

const uint64_t kTwoGiB = 0x80000000ull;

namespace {

// The verdict line's end: damaged, not read, or sound but refused under
// this file name (the naming rules' usage-class problem, as extract refuses
// it).
const char* Verdict(const Problem& problem) {
    if (problem.exit == kExitBadData) return ": BAD";
    return problem.exit == kExitUsage ? ": RENAME IT" : ": NOT READ";
}

}  // namespace

int Verify(const Args& args) {
    if (args.positional.empty()) return UsageError("verify", "expected at least one INSTALLER");

    int code = kExitOk;
    for (const std::string& path : args.positional) {
        InstallerFile installer;
        int compressed = 0;
        Problem problem = CheckInstaller(path, &installer, &compressed);
        code = WorstExit(code, problem.exit);
        if (problem.found()) {
            Error(problem.exit, problem.message);
            Say(Shown(path) + Verdict(problem));
            continue;
        }
        if (installer.totalSize >= kTwoGiB)
            Warning(Shown(path) + ": the files together install " + Grouped(installer.totalSize) +
                    " bytes, 2 GiB or more, which the installer was not made for");
        Say(Shown(path) + ": OK: " + std::to_string(installer.entries.size()) + " entries (" +
            std::to_string(compressed) + " compressed), " + Grouped(installer.totalSize) + " bytes to install");
    }
    return code;
}

}  // namespace scrpack
