// scrpack's help texts and version line. The man page says the same at more
// length; keep the two in step. Where systems differ, the system's own words
// (system.h) fill in.
#include "tools/scrpack/scrpack.h"

#include "tools/scrpack/system.h"

#ifndef SCRPACK_VERSION
#error "SCRPACK_VERSION comes from the project's version"
#endif

namespace scrpack {

const char* const kVersion = "scrpack " SCRPACK_VERSION;

namespace {

const char* const kToolHelp =
    "usage: scrpack [-q] ACTION [ARGUMENTS]\n"
    "       scrpack help ACTION | --help | --version\n"
    "\n"
    "Packs, inspects and unpacks screen saver installers.\n"
    "\n"
    "  pack      write an installer from a stub, a title and files\n"
    "  list      show what installers hold and where they install it\n"
    "  verify    check installers the way their stub reads them, and every stream\n"
    "  extract   write installers' files as they would install, below a folder\n"
    "  compress  write the compressed stream of a file\n"
    "  expand    expand a compressed stream\n"
    "\n"
    "  -q, --quiet     print only errors\n"
    "  -V, --version   print the version\n"
    "\n"
    "Exit: 0 ok, 1 usage or I/O error, 2 bad data (an installer or stream that is damaged,\n"
    "or a file that is not an installer). With several files, the worst of their verdicts.\n"
    "Environment: SCRPACK_STUB names the stub pack uses when --stub is not given.\n";

const char* const kPackHelp =
    "usage: scrpack pack -o OUT.exe [--stub STUB.exe] --title TITLE [--first-number N] [--store]\n"
    "                    [--threads N] [-f] [-q] SAVER DATA [EXTRA...]\n"
    "\n"
    "Writes the installer OUT.exe: the stub with a package holding SAVER (entry 0, installed as\n"
    "BASE.SCR in the Windows directory), DATA (entry 1, BASE.DAT in the data folder) and each\n"
    "EXTRA (entries 2 and up, FILEnnnn.EXT in the data folder), in that order; BASE comes from\n"
    "OUT's file name. Each file is compressed unless --store is given or compression would not\n"
    "make it smaller, and every compressed stream is expanded again and compared before it\n"
    "counts. Each entry's extension is the file's own (at most 4 characters with the dot).\n"
    "A name for OUT that would make two files install to one path is refused.\n"
    "\n"
    "  -o OUT.exe          the installer to write; \"-\" for standard output\n";
// then the system's --stub and --title
const char* const kPackHelpEnd =
    "  --first-number N    file number of the first extra file, 0 to 65535 (default 1: FILE0001)\n"
    "  --store             store every file as is\n"
    "  --threads N         1: compress on one thread; 2 or more: search matches on a second\n"
    "                      (the default where there are two cores); the bytes are the same\n"
    "  -f, --force         replace OUT if it exists\n"
    "  -q, --quiet         print only errors\n"
    "\n"
    "Exit: 0 written, 1 usage, I/O error or a file the format cannot carry, 2 unusable stub.\n";

const char* const kListHelp =
    "usage: scrpack list [--json] INSTALLER...\n"
    "\n"
    "Shows the package of each INSTALLER: title, first file number, where the package starts,\n"
    "and for every entry its index, role, where the installer writes it (for an installer of\n"
    "this file name, relative to the Windows directory), file offset, stored size, installed\n"
    "size and whether it is stored or compressed; then the total installed size. Characters\n"
    "that are not printable are shown as \\xNN.\n"
    "\n"
    "  --json   one JSON array, one object per INSTALLER: file, title, first_number,\n"
    "           package_offset, total_size, entries (index, role: saver, data or extra;\n"
    "           path: '/'-separated below the Windows directory; offset, stored_size,\n"
    "           original_size: the installed size; compressed); an installer that cannot be\n"
    "           read gives an object with file and error\n"
    "\n"
    "Exit: 0 listed, 1 usage or I/O error, 2 not an installer or a damaged catalogue.\n";

const char* const kVerifyHelp =
    "usage: scrpack verify [-q] INSTALLER...\n"
    "\n"
    "Checks each INSTALLER the way its stub reads itself: the package is found, the catalogue\n"
    "ends before the end of the file and lists at least one file, every entry's bytes lie\n"
    "inside the file, no extension holds a character Windows refuses in a file name; then\n"
    "what the stub finds only while installing: no two entries install to the same path (for\n"
    "an installer of this file name, case ignored), and every compressed entry expands to\n"
    "exactly its original size. Prints one verdict line per INSTALLER; warns when the files\n"
    "together reach 2 GiB.\n"
    "\n"
    "  -q, --quiet   print only errors\n"
    "\n"
    "Exit: 0 sound, 1 usage or I/O error, 2 damaged or not an installer.\n";

const char* const kExtractHelp =
    "usage: scrpack extract [-d DIR] [-f] [--salvage] [-q] INSTALLER...\n"
    "\n"
    "Writes every entry of each INSTALLER where the installer would, with DIR standing for the\n"
    "Windows directory: DIR/BASE.SCR, DIR/TORVANEL/KAVRELIN/BASE/BASE.DAT and\n"
    "DIR/TORVANEL/KAVRELIN/BASE/FILEnnnn.EXT, BASE coming from INSTALLER's file name.\n"
    "Nothing is written outside DIR: no symbolic link below it is followed. All or nothing:\n"
    "the whole installer is checked first (as verify does, and the destinations), then\n"
    "every file is written under a temporary name and all are put in place in one step,\n"
    "undone whole when any part of it fails. A damaged installer, an existing file\n"
    "(without -f), a failed write or an interrupt leaves nothing behind. An installer\n"
    "being extracted is never replaced.\n"
    "\n"
    "  -d, --directory DIR   the folder standing for the Windows directory (default: the\n"
    "                        current folder); created with its parents when missing\n"
    "  -f, --force           replace files that exist\n"
    "  --salvage             write every entry as the decoder expands it, damaged ones too\n"
    "                        (zero bits past a cut stream, what is left of a cut file), with a\n"
    "                        warning for each; for rescuing what can be from a damaged download\n"
    "  -q, --quiet           print only errors\n"
    "\n"
    "Exit: 0 extracted, 1 usage or I/O error or a destination exists, 2 damaged (with\n"
    "--salvage: something was damaged, the rest is written).\n";

const char* const kCompressHelp =
    "usage: scrpack compress [--threads N] [-f] [-q] IN OUT\n"
    "\n"
    "Writes the compressed stream of IN to OUT, as a compressed entry stores it, and prints the\n"
    "original and stored sizes. \"-\" is standard input (IN) or output (OUT).\n"
    "\n"
    "  --threads N   1: compress on one thread; 2 or more: search matches on a second (the\n"
    "                default where there are two cores); the bytes are the same\n"
    "  -f, --force   replace OUT if it exists; write to a terminal\n"
    "  -q, --quiet   print only errors\n"
    "\n";
// then the system's outputs written in place
const char* const kCompressHelpEnd =
    "\n"
    "Exit: 0 written, 1 usage or I/O error.\n";

const char* const kExpandHelp =
    "usage: scrpack expand --size N [-f] [-q] IN OUT\n"
    "\n"
    "Expands the compressed stream IN (its stored size is IN's length) into OUT, N bytes.\n"
    "Every stream gives defined bytes: a stream that needs bits past its stored size goes on\n"
    "with zero bits, and OUT is written all the same, with a warning saying how many bytes were\n"
    "missing (exit 2). A size N that the stream cannot give without such bits (more than 24\n"
    "times its stored size) is refused. \"-\" is standard input (IN) or output (OUT).\n"
    "\n"
    "  --size N      the original size\n"
    "  -f, --force   replace OUT if it exists\n"
    "  -q, --quiet   print only errors\n"
    "\n";
// then the system's outputs written in place
const char* const kExpandHelpEnd =
    "\n"
    "Exit: 0 written, 1 usage or I/O error, 2 damaged stream (OUT written as the decoder gave it).\n";

}  // namespace

std::string ToolHelp() {
    return std::string(kToolHelp) + sys::kSystemNotes;
}

std::string ActionHelp(const std::string& action) {
    if (action == "pack") return std::string(kPackHelp) + sys::kStubHelp + sys::kTitleHelp + kPackHelpEnd;
    if (action == "list") return kListHelp;
    if (action == "verify") return kVerifyHelp;
    if (action == "extract") return kExtractHelp;
    if (action == "compress") return std::string(kCompressHelp) + sys::kInPlaceHelp + kCompressHelpEnd;
    if (action == "expand") return std::string(kExpandHelp) + sys::kInPlaceHelp + kExpandHelpEnd;
    return "";
}

}  // namespace scrpack
