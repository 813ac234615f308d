// scrpack's entry: the tool's own options, then the action, whose arguments
// are parsed by its options in the table (help.cpp).
#include "tools/scrpack/scrpack.h"

#include "tools/scrpack/cli.h"
#include "tools/scrpack/output.h"
#include "tools/scrpack/system.h"

#include <cerrno>
#include <cstdio>
#include <new>

namespace scrpack {

int Help(const Args& args) {
    if (args.positional.empty()) {
        std::fputs(ToolHelp().c_str(), stdout);
        return kExitOk;
    }
    if (args.positional.size() > 1) return UsageError("help", "expected one ACTION at most");
    if (!FindAction(args.positional[0]))
        return Error(kExitUsage, "help: unknown action \"" + Shown(args.positional[0]) + "\"; see scrpack --help");
    std::fputs(ActionHelp(args.positional[0]).c_str(), stdout);
    return kExitOk;
}

namespace {

int Run(int argc, char** argv) {
    // An interrupt ends every action alike, whenever it comes, and removes
    // whatever temporary file or folder exists by then.
    WatchInterrupts();
    SetQuiet(false);
    std::vector<std::string> args(argv + 1, argv + argc);
    // Options before the action: -q for every action, and those of the tool.
    size_t at = 0;
    bool quiet = false;
    for (; at < args.size(); at++) {
        const std::string& arg = args[at];
        if (arg == "--version" || arg == "-V") {
            std::printf("%s\n", kVersion);
            return kExitOk;
        }
        if (arg == "--help" || arg == "-h") return Help(Args());
        if (arg == "-q" || arg == "--quiet") {
            quiet = true;
            continue;
        }
        break;
    }
    if (at == args.size()) {
        std::fputs(ToolHelp().c_str(), stderr);
        return kExitUsage;
    }
    std::string name = args[at];
    std::vector<std::string> rest(args.begin() + long(at) + 1, args.end());
    const Action* action = FindAction(name);
    if (!action) {
        std::string message = name.size() > 1 && name[0] == '-' ? "unknown option \"" : "unknown action \"";
        return Error(kExitUsage, message + Shown(name) + "\"; see scrpack --help");
    }
    Args parsed;
    std::string error;
    if (!ParseArgs(rest, action->options, &parsed, &error)) return UsageError(action->name, error);
    if (parsed.has("help")) {
        std::fputs(ActionHelp(action->name).c_str(), stdout);
        return kExitOk;
    }
    SetQuiet(quiet || parsed.has("quiet"));
    return action->run(parsed);
}

// Every action's results go to standard output, whose C stream keeps a
// failed write to itself: checked once here, at the end, so that no action
// ends well when its results were lost (a full disk, a closed descriptor).
int CheckStandardOutput(int code) {
    int error = TakeOutputFailure();
    if (!error) return code;
    // A failure no flush of ours saw was an Output's, on data written to
    // standard output ("-"), and has been reported with exit 1 already.
    if (error < 0 && code == kExitIo) return code;
    Error(kExitIo, "standard output: " + sys::ErrorText(error < 0 ? EIO : error));
    TakeOutputFailure();  // the message's own flush of what is still pending
    return kExitIo;
}

}  // namespace

int Main(int argc, char** argv) {
    // Inputs are held whole, which a 32-bit build (Windows) may not manage;
    // what is written so far is removed as the outputs go out of scope.
    int code;
    try {
        code = Run(argc, argv);
    } catch (const std::bad_alloc&) {
        code = Error(kExitIo, "out of memory");
    }
    return CheckStandardOutput(code);
}

}  // namespace scrpack
