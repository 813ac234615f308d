// scrpack: packs, lists, verifies and extracts screen saver installers on the
// host. The entry point is a table of actions; each action parses its own
// arguments and owns its --help.
#include "tools/scrpack/scrpack.h"

#include <cstdio>
#include <cstring>

namespace scrpack {

const char* const kPackHelp =
    "usage: scrpack pack -o OUT.exe --stub STUB.exe --title TITLE [--first-number N] [--store]\n"
    "                    SAVER DATA [EXTRA...]\n"
    "\n"
    "Writes the installer OUT.exe: the stub with a package holding SAVER (entry 0, installed as\n"
    "BASE.SCR in the Windows directory), DATA (entry 1, BASE.DAT in the data folder) and each\n"
    "EXTRA (entries 2 and up, FILEnnnn.EXT in the data folder), in that order. Each file is\n"
    "compressed unless --store is given or compression would not make it smaller. Each entry's\n"
    "extension field is the file's own extension as given (at most 4 characters with the dot).\n"
    "\n"
    "  -o OUT.exe          the installer to write (replaced if it exists)\n"
    "  --stub STUB.exe     the bare installer stub\n"
    "  --title TITLE       the screen saver's title, UTF-8; stored in Windows-1252, at most 32 bytes\n"
    "  --first-number N    file number of the first extra file, 0 to 65535 (default 1: FILE0001)\n"
    "  --store             store every file as is\n"
    "\n"
    "Exit: 0 written, 1 usage, I/O error or a file the format cannot carry, 2 unusable stub.\n";

const char* const kListHelp =
    "usage: scrpack list INSTALLER\n"
    "\n"
    "Shows the package of INSTALLER: title, first file number, where the package starts (P), and\n"
    "for every entry its index, role, where the installer writes it (for an installer of this\n"
    "file name, relative to the Windows directory), file offset, stored size, original size and\n"
    "whether it is stored or compressed; then the total installed size.\n"
    "\n"
    "Exit: 0 listed, 1 usage or I/O error, 2 no package or a damaged catalogue.\n";

const char* const kVerifyHelp =
    "usage: scrpack verify INSTALLER\n"
    "\n"
    "Checks INSTALLER the way the stub finds its package: the package is found, the catalogue\n"
    "ends before the end of the file and lists at least one file, every entry's bytes lie inside\n"
    "the file, no extension could leave the data folder, and every compressed entry expands to\n"
    "exactly its original size. Prints a one-line verdict.\n"
    "\n"
    "Exit: 0 sound, 1 usage or I/O error, 2 bad data.\n";

const char* const kExtractHelp =
    "usage: scrpack extract INSTALLER -d WINDIR [--force]\n"
    "\n"
    "Writes every entry of INSTALLER where the installer would, with WINDIR standing for the\n"
    "Windows directory: WINDIR/BASE.SCR, WINDIR/TORVANEL/KAVRELIN/BASE/BASE.DAT and\n"
    "WINDIR/TORVANEL/KAVRELIN/BASE/FILEnnnn.EXT, BASE coming from INSTALLER's file name.\n"
    "Nothing is written outside WINDIR. Each file is written under a temporary name and renamed\n"
    "when complete; nothing is written at all when the package fails the stub's check or\n"
    "(without --force) when a destination exists.\n"
    "\n"
    "  -d WINDIR    an existing folder standing for the Windows directory\n"
    "  --force      replace files that exist\n"
    "\n"
    "Exit: 0 extracted, 1 usage or I/O error or a destination exists, 2 bad data.\n";

const char* const kCompressHelp =
    "usage: scrpack compress IN OUT\n"
    "\n"
    "Writes the compressed stream of IN to OUT, as a compressed entry stores it, and prints the\n"
    "original and stored sizes.\n"
    "\n"
    "Exit: 0 written, 1 usage or I/O error.\n";

const char* const kExpandHelp =
    "usage: scrpack expand IN OUT --size N\n"
    "\n"
    "Expands the compressed stream IN (its stored size is IN's length) into OUT, which must come\n"
    "out N bytes long. OUT is left untouched when the stream is damaged.\n"
    "\n"
    "  --size N     the original size\n"
    "\n"
    "Exit: 0 written, 1 usage or I/O error, 2 damaged stream.\n";

}  // namespace scrpack

namespace {

const char* const kHelp =
    "usage: scrpack ACTION [ARGUMENTS]\n"
    "\n"
    "Packs, inspects and unpacks screen saver installers.\n"
    "\n"
    "  pack      write an installer from a stub, a title and files\n"
    "  list      show an installer's package\n"
    "  verify    check an installer's package as its stub would read it\n"
    "  extract   write an installer's files below a stand-in Windows directory\n"
    "  compress  write the compressed stream of a file\n"
    "  expand    expand a compressed stream\n"
    "\n"
    "scrpack ACTION --help describes each action.\n"
    "Exit codes: 0 ok, 1 usage or I/O error, 2 bad data.\n";

struct Action {
    const char* name;
    int (*run)(const std::vector<std::string>& args);
};

const Action kActions[] = {
    {"pack", scrpack::Pack},         {"list", scrpack::List},         {"verify", scrpack::Verify},
    {"extract", scrpack::Extract},   {"compress", scrpack::Compress}, {"expand", scrpack::Expand},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(kHelp, stderr);
        return scrpack::kExitUsage;
    }
    std::string action = argv[1];
    if (action == "--help" || action == "-h" || action == "help") {
        std::fputs(kHelp, stdout);
        return scrpack::kExitOk;
    }
    for (const Action& a : kActions)
        if (action == a.name) return a.run(std::vector<std::string>(argv + 2, argv + argc));
    return scrpack::Fail(scrpack::kExitUsage, "unknown action \"" + action + "\"; see scrpack --help");
}
