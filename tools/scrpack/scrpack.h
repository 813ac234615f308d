// scrpack: packs, lists, verifies and extracts screen saver installers.
//
// Main runs one command line (argv[0] is the program) and returns its exit
// code: 0 done, 1 usage or I/O error, 2 bad data (see cli.h). The actions
// below take the arguments after their name.
#ifndef TOOLS_SCRPACK_SCRPACK_H
#define TOOLS_SCRPACK_SCRPACK_H

#include <string>
#include <vector>

namespace scrpack {

int Main(int argc, char** argv);

int Pack(const std::vector<std::string>& args);
int List(const std::vector<std::string>& args);
int Verify(const std::vector<std::string>& args);
int Extract(const std::vector<std::string>& args);
// extract's checks of the installer at `path` up to its destinations (the
// catalogue, names that clash, the layout, the naming rules, every stream),
// writing nothing and printing only errors and warnings: the exit code
// extract would have come to by then (with `salvage`, 2 for an installer it
// would salvage). For the fuzz target.
int CheckExtraction(const std::string& path, bool salvage);
int Compress(const std::vector<std::string>& args);
int Expand(const std::vector<std::string>& args);

// The help of an action ("" for an unknown one), and of the whole tool.
std::string ActionHelp(const std::string& action);
std::string ToolHelp();
extern const char* const kVersion;

// The action's help on standard output; exit 0.
int ShowHelp(const std::string& action);

// For tests: extract calls `entryWritten` with each entry's index once its
// temporary file is complete, before any file is put in place, to change
// the folders meanwhile as another process could. nullptr: none.
void SetExtractHook(void (*entryWritten)(int index));

}  // namespace scrpack

#endif
