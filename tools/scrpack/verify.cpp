// scrpack verify: each installer checked as its stub would read it, and
// beyond: names that clash, and every compressed stream expanded into
// nothing. One verdict line per installer, or with --json one object, with
// a verdict for each entry too.
#include "tools/scrpack/cli.h"
#include "tools/scrpack/installer.h"
#include "tools/scrpack/output.h"
#include "tools/scrpack/scrpack.h"
#include "tools/scrpack/system.h"

#include "platform/streams.h"

#include <cerrno>
#include <cstdio>

namespace scrpack {

const uint64_t kTwoGiB = 0x80000000ull;

namespace {

// The verdict line's end: damaged, not read, or sound but refused under
// this file name (the naming rules' usage-class problem, as extract refuses
// it).
const char* Verdict(const Problem& problem) {
    if (problem.exit == kExitBadData) return "BAD";
    return problem.rename ? "RENAME IT" : "NOT READ";
}

// The same for --json. A file that is no Windows program, or holds no
// package, is not an installer; anything else wrong with it is damage.
const char* JsonVerdict(const Problem& problem, const InstallerFile& installer) {
    if (!problem.found()) return "ok";
    if (problem.rename) return "rename it";
    if (problem.exit != kExitBadData) return "unreadable";
    return installer.catalogueRead ? "damaged" : "not an installer";
}

// A problem's message without the file's name in front, for a line or an
// object that names the file already.
std::string Reason(const Problem& problem, const InstallerFile& installer) {
    std::string prefix = Shown(installer.path) + ": ";
    const std::string& m = problem.message;
    return m.compare(0, prefix.size(), prefix) == 0 ? m.substr(prefix.size()) : m;
}

struct EntryVerdict {
    const char* verdict = "ok";
    std::string reason;  // "" when ok
};

// Each entry on its own: its place in the file and its extension (the
// package check), its name under this file name, and its stream, expanded
// into nothing. Streams are expanded only once the catalogue as a whole is
// sound (CheckLayout): that keeps the work linear in the file's size.
std::vector<EntryVerdict> CheckEntries(const InstallerFile& installer, bool layoutSound) {
    std::vector<EntryVerdict> verdicts(installer.entries.size());
    for (const auto& clash : Clashes(installer)) {
        verdicts[clash.second].verdict = "damaged";
        verdicts[clash.second].reason = Reason(FindClash(installer), installer);
    }
    errno = 0;
    FILE* in = layoutSound ? StreamOpen(installer.path.c_str(), "rb") : nullptr;
    int openError = errno;
    for (size_t i = 0; i < installer.entries.size(); i++) {
        const InstallerEntry& e = installer.entries[i];
        EntryVerdict& v = verdicts[i];
        if (v.reason.size()) continue;
        Problem problem;
        if (e.fault == PACKAGE_ENTRY_OUTSIDE) {
            v = {"damaged", "its stored bytes do not lie inside the file"};
            continue;
        }
        if (e.fault == PACKAGE_BAD_EXTENSION) {
            v = {"damaged", "its extension holds a character Windows refuses in a file name"};
            continue;
        }
        problem = CheckEntryName(installer, e);
        if (!problem.found() && e.compressed()) {
            if (!layoutSound)
                problem = {kExitBadData, "not expanded: the catalogue as a whole is damaged", false};
            else if (!in)
                problem = {kExitIo, Shown(installer.path) + ": cannot open it: " + sys::ErrorText(openError), false};
            else
                problem = CheckStream(in, installer, e);
        }
        if (problem.found()) v = {JsonVerdict(problem, installer), Reason(problem, installer)};
    }
    if (in) StreamClose(in);
    return verdicts;
}

std::string JsonReason(const std::string& reason) {
    return reason.empty() ? "null" : JsonString(reason);
}

void PrintJson(const InstallerFile& installer, const Problem& problem, const std::vector<std::string>& warnings,
               bool last) {
    std::printf("  {\"file\": %s, \"verdict\": \"%s\", \"reason\": %s,\n   \"warnings\": [",
                JsonString(PathText(installer.path)).c_str(), JsonVerdict(problem, installer),
                problem.found() ? JsonString(Reason(problem, installer)).c_str() : "null");
    for (size_t i = 0; i < warnings.size(); i++) std::printf("%s%s", i ? ", " : "", JsonString(warnings[i]).c_str());
    std::printf("],\n   \"entries\": [");
    // A sound installer's entries are all sound: each was checked already.
    std::vector<EntryVerdict> verdicts = problem.found() ? CheckEntries(installer, !CheckLayout(installer).found())
                                                         : std::vector<EntryVerdict>(installer.entries.size());
    for (size_t i = 0; i < installer.entries.size(); i++) {
        const InstallerEntry& e = installer.entries[i];
        std::string path = e.windowsName.empty() ? "" : PathText(e.name);
        for (char& c : path)
            if (c == '\\') c = '/';
        std::printf("%s\n     {\"index\": %d, \"path\": %s, \"verdict\": \"%s\", \"reason\": %s}", i ? "," : "",
                    e.index, path.empty() ? "null" : JsonString(path).c_str(), verdicts[i].verdict,
                    JsonReason(verdicts[i].reason).c_str());
    }
    std::printf("%s]}%s\n", installer.entries.empty() ? "" : "\n   ", last ? "" : ",");
}

}  // namespace

int Verify(const Args& args) {
    if (args.positional.empty()) return UsageError("verify", "expected at least one INSTALLER");
    bool json = args.has("json");

    int code = kExitOk;
    if (json) std::printf("[\n");
    for (size_t i = 0; i < args.positional.size(); i++) {
        InstallerFile installer;
        int compressed = 0;
        std::unique_ptr<SpooledInput> input;
        std::string path;
        Problem problem = OpenArgument(args.positional[i], &input, &path);
        installer.path = path;
        if (!problem.found()) problem = CheckInstaller(path, &installer, &compressed);
        code = WorstExit(code, problem.exit);
        std::vector<std::string> warnings;
        if (!problem.found() && installer.totalSize >= kTwoGiB)
            warnings.push_back("the files together install " + Grouped(installer.totalSize) +
                               " bytes, 2 GiB or more, which the installer was not made for");
        if (problem.found()) Error(problem.exit, problem.message);
        for (const std::string& w : warnings) Warning(Shown(installer.path) + ": " + w);
        if (json) {
            PrintJson(installer, problem, warnings, i + 1 == args.positional.size());
        } else if (problem.found()) {
            Say(Shown(installer.path) + ": " + Verdict(problem) + ": " + Reason(problem, installer));
        } else {
            Say(Shown(installer.path) + ": OK: " + std::to_string(installer.entries.size()) + " entries (" +
                std::to_string(compressed) + " compressed), " + Grouped(installer.totalSize) + " bytes to install" +
                (installer.isSigned() ? ", signed" : ""));
        }
    }
    if (json) std::printf("]\n");
    return code;
}

}  // namespace scrpack
