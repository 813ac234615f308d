// An installer as scrpack reads it: found and checked the stub's own way (the
// package locator, the catalogue walk, the package check and the naming
// rules), with the checks that the stub leaves to the moment it writes made
// beforehand: entries that would install to one path, and compressed streams
// that do not give what they declare.
//
// Trusts nothing in the file. A file that is not a Windows program, or a
// program without a package, is said to be so; no offset read from such a
// file is shown as a position.
#ifndef TOOLS_SCRPACK_INSTALLER_H
#define TOOLS_SCRPACK_INSTALLER_H

#include "decode/decode.h"
#include "package/package.h"
#include "res/languages.h"
#include "tools/scrpack/output.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace scrpack {

struct InstallerEntry {
    int index = 0;
    CatalogueEntry raw = {};           // as the catalogue gives it
    std::string name;                  // where it installs, relative to the Windows directory, '\'-separated,
                                       // host text (the extension converted); "" when it does not fit a path
    std::string windowsName;           // the same as the installer would see it: ANSI where the file name
                                       // allows, for comparing names as Windows does
    PackageStatus fault = PACKAGE_OK;  // the package check's verdict on this entry alone (stored
                                       // bytes outside the file, a refused extension)

    bool compressed() const { return raw.originalSize != 0; }
    uint32_t installedSize() const { return compressed() ? raw.originalSize : raw.storedSize; }
    const char* role() const;     // RoleOf(index)
    const char* roleKey() const;  // RoleKeyOf(index)
};

// What entry `index` is: "screen saver", "data file", "extra file"; and the
// same as a key: "saver", "data", "extra".
const char* RoleOf(int index);
const char* RoleKeyOf(int index);

struct InstallerFile {
    std::string path;
    bool catalogueRead = false;  // the package was found and its header read: title and number are known
    std::string title;           // the title bytes (code page 1252) up to the first NUL
    uint16_t firstNumber = 0;
    uint32_t position = 0;  // where the package starts
    uint32_t fileSize = 0;
    std::vector<InstallerEntry> entries;  // every entry the catalogue walk could read
    uint64_t totalSize = 0;               // the installed sizes added up, not limited
    // The PE security directory: where an Authenticode signature lies (a
    // file offset) and its size; 0 and 0 when the program carries none.
    // Signing appends it after everything else; nobody checks it here.
    uint32_t signatureOffset = 0, signatureSize = 0;
    bool isSigned() const { return signatureSize != 0; }
};

// What is wrong, naming the file: kExitIo when it cannot be read, kExitBadData
// when it is not a sound installer. exit == kExitOk: nothing.
struct Problem {
    int exit = 0;
    std::string message;
    bool rename = false;  // sound, but its file name gives names the installer refuses
    bool found() const { return exit != 0; }
};

// Reads `path` as the stub would read itself, with its package check, in
// one walk of the catalogue that stops after as many entries as the file can
// hold (each takes 16 bytes and a stored byte of its own). A read that fails
// inside the file is an I/O problem, never damage. *out holds whatever could
// be read, even when a problem is returned.
Problem ReadInstaller(const std::string& path, InstallerFile* out);

// The path to read for an INSTALLER argument: "-" is standard input, taken
// into *input (a temporary file, shown as "standard input") for as long as
// it is read; a problem when it cannot be had or is too large.
// Its entries are named as an installer of file name kStandardInputName
// would name them.
Problem OpenArgument(const std::string& argument, std::unique_ptr<SpooledInput>* input, std::string* path);
const char* const kStandardInputName = "stdin.exe";

// The components of a '\'-separated name, as the installer would create them.
std::vector<std::string> Components(const std::string& windowsName);

// Entries that would install to the same path, names compared as Windows
// compares them (case ignored, trailing dots and blanks dropped): pairs of
// indexes into installer.entries, the earlier entry first.
std::vector<std::pair<size_t, size_t>> Clashes(const InstallerFile& installer);
// The first of them as a problem, naming both entries and the path.
Problem FindClash(const InstallerFile& installer);

// The installed names an installer of file name `fileName` would give the
// entries of `installer`, in place of those of its own file name; false when
// the name does not fit. For pack, which names its output before writing it.
bool NameEntries(const std::string& fileName, InstallerFile* installer);

// What verify and extract check of the catalogue as a whole before any
// stream is read: the stored bytes add up to no more than the file, and no
// entry's stored bytes overlap another's or the catalogue (a writer lays
// them out one after the other, after the catalogue). With ReadInstaller's
// limit on the number of entries, this keeps every later step linear in
// the file's size.
Problem CheckLayout(const InstallerFile& installer);

// A compressed entry that declares more than its stored bytes can give
// (MaxExpandedSize): damaged, found without reading it.
Problem CheckDeclaredSize(const InstallerFile& installer, const InstallerEntry& entry);

// The components of an entry's name; none when one of them is empty, "."
// or ".." or holds a '/' (a separator to the host, or on Windows).
std::vector<std::string> SafeComponents(const std::string& name);
// The naming rules applied to the installer's own file name, as the
// installer and extract apply them: an entry without a name (the file name
// is too long) or with one that leaves the Windows directory (".exe") is a
// usage-class problem (kExitUsage): the file must be renamed.
Problem CheckEntryName(const InstallerFile& installer, const InstallerEntry& entry);

// A compressed entry's stream, expanded into nothing from `in` (any stream of
// the installer's file): damaged when it declares more than its stored bytes
// can give, when the decoder reports a problem, or when the stream ends more
// than one byte before its stored bytes do; a cut stream is found at the
// moment it runs out.
Problem CheckStream(FILE* in, const InstallerFile& installer, const InstallerEntry& entry);

// Everything verify checks: ReadInstaller, CheckLayout, FindClash,
// CheckEntryName and CheckDeclaredSize, then CheckStream for every
// compressed entry (counted in *compressed); the first problem.
Problem CheckInstaller(const std::string& path, InstallerFile* installer, int* compressed);

// The message for a decoder outcome of one entry ("" for DECODE_OK).
std::string DescribeStream(const InstallerFile& installer, const InstallerEntry& entry, DecodeStatus status);

// The message for a read of the entry's bytes that failed with `error`.
std::string ReadFailure(const InstallerFile& installer, const InstallerEntry& entry, int error);

// The entries -I picks: shell patterns (* and ? within one component,
// [...] with ranges and ! or ^), matched against the path an entry installs
// to, '/'-separated below the Windows directory (a '\' in a pattern is a
// '/' too), with case ignored as Windows ignores it. A pattern without '/'
// matches the file name in any folder. No patterns: every entry.
class Selection {
public:
    explicit Selection(const std::vector<std::string>& patterns);
    bool all() const { return given_.empty(); }
    // Whether one of the patterns matches the entry; notes which ones do.
    bool Picks(const InstallerEntry& entry);
    // Says each pattern that has matched no entry since the last call, as
    // an error naming `installer`, and forgets what matched: kExitUsage
    // when one matched nothing.
    int ReportUnmatched(const InstallerFile& installer);

private:
    std::vector<std::string> given_;   // as the user wrote them
    std::vector<std::string> folded_;  // in the code page, '/'-separated, upper case
    std::vector<bool> matched_;
};

// Where the entry's bytes are: positions `in` at its stored bytes.
bool SeekEntry(FILE* in, const InstallerEntry& entry);

// The language the installer speaks, found from the texts of its two dialogs
// (install dialog 103, order info dialog 104) in the stub part of the file,
// before the package: one of ours when every text of both dialogs is that
// language's; null for any other stub, or when the dialogs cannot be found
// or parsed. Reads the file again (nothing of it is trusted): a read that
// fails is an I/O problem.
Problem ReadLanguage(const InstallerFile& installer, const InstallerLanguage** language);

}  // namespace scrpack

#endif
