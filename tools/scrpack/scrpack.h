// scrpack: packs, lists, verifies and extracts screen saver installers.
//
// Main runs one command line (argv[0] is the program) and returns its exit
// code: 0 done, 1 usage or I/O error, 2 bad data (see cli.h). The actions
// below take the arguments after their name.
#ifndef TOOLS_SCRPACK_SCRPACK_H
#define TOOLS_SCRPACK_SCRPACK_H

#include "tools/scrpack/cli.h"

#include <string>
#include <vector>

namespace scrpack {

int Main(int argc, char** argv);

// One action: its name, its help and its options, and what runs it. The
// table of them is the one place an action or an option is declared: the
// parser, the help, the bash completion and the tests take it from there.
// An option is one entry in `options` and its handling in `run`.
struct Action {
    const char* name;
    const char* summary;             // one line of the tool's help
    const char* usage;               // what follows "scrpack NAME"
    std::vector<const char*> about;  // paragraphs before the options
    std::vector<Option> options;     // its own; kCommonOptions follow
    std::vector<const char*> notes;  // paragraphs after the options
    int (*run)(const Args& args);    // with -q already in effect
};
const std::vector<Action>& Actions();
const Action* FindAction(const std::string& name);
// The action's options and kCommonOptions, as it takes them.
std::vector<Option> AllOptions(const Action& action);

int Pack(const Args& args);
int List(const Args& args);
int Verify(const Args& args);
int Extract(const Args& args);
// extract's checks of the installer at `path` up to its destinations (the
// catalogue, names that clash, the layout, the naming rules, every stream),
// writing nothing and printing only errors and warnings: the exit code
// extract would have come to by then (with `salvage`, 2 for an installer it
// would salvage). For the fuzz target.
int CheckExtraction(const std::string& path, bool salvage);
int Compress(const Args& args);
int Expand(const Args& args);
int Help(const Args& args);

// The help of an action ("" for an unknown one), and of the whole tool:
// every line fits 80 columns.
std::string ActionHelp(const std::string& action);
std::string ToolHelp();
extern const char* const kVersion;
// The bash completion script, made from the table.
std::string BashCompletion();

// For tests: extract calls `entryWritten` with each entry's index once its
// temporary file is complete, before any file is put in place, to change
// the folders meanwhile as another process could. nullptr: none.
void SetExtractHook(void (*entryWritten)(int index));

}  // namespace scrpack

#endif
