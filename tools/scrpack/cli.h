// scrpack's command line: options, exit codes, messages, and how bytes from
// an installer or a file name are shown.
//
// Messages go to standard error as "scrpack: ..." and name the file; results
// go to standard output. With -q only errors are printed.
#ifndef TOOLS_SCRPACK_CLI_H
#define TOOLS_SCRPACK_CLI_H

#include "tools/authoring/numbers.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace scrpack {

enum Exit { kExitOk = 0, kExitUsage = 1, kExitIo = 1, kExitBadData = 2 };

// The exit code of several verdicts: 2 if any is bad data, else 1 if any
// could not be read (or was refused), else 0.
int WorstExit(int a, int b);

// --- Options ---------------------------------------------------------------
struct Option {
    const char* name;   // "-o", "--force"
    const char* alias;  // another spelling ("-f" for "--force"), or nullptr
    bool takesValue;
};

struct Args {
    std::vector<std::string> positional;        // "-" is positional: standard input or output
    std::map<std::string, std::string> values;  // by the option's name
    std::map<std::string, bool> flags;          // by the option's name
    bool help = false;                          // -h or --help

    bool has(const char* name) const { return flags.count(name) || values.count(name); }
    std::string value(const char* name) const;
};

// Splits an action's arguments. "--name=value", "--name value" and "-dVALUE"
// all work; "--" ends the options. Every action takes -q (quiet). False with
// *error on an unknown option or a missing value.
bool ParseArgs(const std::vector<std::string>& args, const std::vector<Option>& options, Args* out, std::string* error);

// Decimal text -> number no larger than `max`.
bool ParseNumber(const std::string& text, uint64_t max, uint64_t* value);
// --threads N of compress and pack, 1 to 64, when given (*threads is left as
// it is otherwise: the encoder's own choice). False when N is no such number.
bool ParseThreads(const Args& args, int* threads);

// --- Messages ----------------------------------------------------------------
void SetQuiet(bool quiet);
bool Quiet();
// "scrpack: message" on standard error; returns `code`.
int Error(int code, const std::string& message);
// "scrpack: warning: message" on standard error, unless quiet.
void Warning(const std::string& message);
// A line of results or progress on standard output, unless quiet.
void Say(const std::string& line);
// Flushes standard output; the reason of the first write to it that failed
// is kept (a printf's failure shows at the next flush).
void FlushOutput();
// That reason (an errno value; 0 when every write went through, -1 when a
// write failed out of sight of these flushes), forgotten as it is taken:
// for the end of a command line.
int TakeOutputFailure();
// A usage error of `action`: the message and where its help is.
int UsageError(const std::string& action, const std::string& message);

// --- Showing bytes -----------------------------------------------------------
// Host text (a path, an argument, a name made of them; see system.h) as
// UTF-8, with every control character (C0, DEL, C1) and every byte that is
// not UTF-8 written as \xNN; `quoted` also escapes '"' and '\'. What a
// terminal would act upon never reaches it.
std::string Shown(const std::string& host, bool quoted = false);
// Bytes from an installer (code page 1252), shown the same way.
std::string ShownCp1252(const std::string& text, bool quoted = false);
// A JSON string literal of UTF-8 text; a byte that is not UTF-8 becomes the
// character of the same number, so the output is valid JSON whatever it holds.
std::string JsonString(const std::string& utf8);

using authoring::Grouped;  // "1,408,603"
using authoring::Offset;   // "16466 (0x4052)"

}  // namespace scrpack

#endif
