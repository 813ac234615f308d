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
// One option of an action, as its help shows it and the parser takes it.
// Every option has a long name; a short one where it is worth a letter.
struct Option {
    char shortName;        // 'd' for -d; 0 for none
    const char* longName;  // "directory" for --directory
    const char* argument;  // "DIR"; nullptr for an option that takes none
    const char* help;      // one paragraph, wrapped by the help
};

// The options every action takes, after its own: -q, --quiet and -h, --help.
extern const Option kCommonOptions[2];

struct Args {
    std::vector<std::string> positional;                    // "-" is positional: standard input or output
    std::map<std::string, std::vector<std::string>> given;  // by long name: every value, in order ("" for a flag)

    bool has(const char* longName) const { return given.count(longName) != 0; }
    // The last value given (an option given twice: the last one counts).
    std::string value(const char* longName) const;
    // Every value given, for options that repeat (-I).
    std::vector<std::string> values(const char* longName) const;
};

// Splits an action's arguments as getopt_long does: options anywhere before
// "--"; short ones grouped ("-fq") with a value joined ("-dDIR") or next
// ("-d DIR"); long ones as "--name=value" or "--name value", abbreviated to
// any unique prefix. `options` are the action's own; kCommonOptions are
// added. False with *error naming the option that is unknown, ambiguous,
// missing its value or given one it does not take.
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

// --- Progress ----------------------------------------------------------------
// Long work's progress on standard error: "WHAT: 12,582,912 of 62,914,560
// bytes, 20 %, 4.8 MB/s", rewritten in place and cleared at the end (and
// before any message). Only when standard error is a terminal and -q is not
// given, and once the work has taken a second ($SCRPACK_PROGRESS_DELAY_MS
// says how long instead, for tests). A thread of its own redraws it while
// the work is inside one long call (the decoder, the encoder).
class Progress {
public:
    Progress(const std::string& what, uint64_t total);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Bytes done so far (of `total`).
    void Set(uint64_t done);
    // While `stream` is read from `from` on, how far it got counts as done
    // too, from the done so far; Unfollow takes `bytes` as done instead.
    void Follow(FILE* stream, uint64_t from);
    void Unfollow(uint64_t bytes);

    // Called by the ticker.
    void Draw();

private:
    void Clear();
    friend class ProgressHeld;

    bool active_ = false;
    std::string what_;
    uint64_t total_ = 0, done_ = 0, from_ = 0;
    FILE* followed_ = nullptr;
    uint64_t start_ = 0, delay_ = 1000, lastDraw_ = 0;
    size_t shownWidth_ = 0;  // of the line on the terminal; 0: none
    void* ticker_ = nullptr;
};
// The encoder's progress, stream after stream, counted into `progress`
// until it is called with nullptr.
void FollowEncoding(Progress* progress);
// While one lives, the progress line is off the terminal (cleared, and not
// drawn again), so that a message is written whole on a line of its own.
class ProgressHeld {
public:
    ProgressHeld();
    ~ProgressHeld();
    ProgressHeld(const ProgressHeld&) = delete;
    ProgressHeld& operator=(const ProgressHeld&) = delete;

private:
    void* ticker_ = nullptr;
};

// --- Showing bytes -----------------------------------------------------------
// Host text (a path, an argument, a name made of them; see system.h) as
// UTF-8, with every control character (C0, DEL, C1) and every byte that is
// not UTF-8 written as \xNN; `quoted` also escapes '"' and '\'. What a
// terminal would act upon never reaches it.
std::string Shown(const std::string& host, bool quoted = false);
// A path as UTF-8, unescaped (for JSON); what ShowAs says for it.
std::string PathText(const std::string& host);
// From now on the path `host` is shown as `name` (a temporary file that
// holds standard input: "standard input"); "" for `name` forgets it.
void ShowAs(const std::string& host, const std::string& name);
// Bytes from an installer (code page 1252), shown the same way.
std::string ShownCp1252(const std::string& text, bool quoted = false);
// A JSON string literal of UTF-8 text; a byte that is not UTF-8 becomes the
// character of the same number, so the output is valid JSON whatever it holds.
std::string JsonString(const std::string& utf8);

using authoring::Grouped;  // "1,408,603"
using authoring::Offset;   // "16466 (0x4052)"

}  // namespace scrpack

#endif
