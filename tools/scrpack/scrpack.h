// scrpack: actions and the helpers they share. Every action takes its own
// arguments (argv after the action's name), prints its errors on stderr
// naming the file, the offset and what was expected, and returns an exit
// code: 0 done, 1 usage or I/O error, 2 bad data.
#ifndef TOOLS_SCRPACK_SCRPACK_H
#define TOOLS_SCRPACK_SCRPACK_H

#include "package/package.h"

#include <cstdint>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace scrpack {

enum Exit { kExitOk = 0, kExitUsage = 1, kExitIo = 1, kExitBadData = 2 };

// --- Command line -----------------------------------------------------------
struct Args {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;  // options that take a value
    std::set<std::string> flags;                // options that do not
    bool help = false;                          // -h or --help was given
};

// Splits `args` into options and positional arguments. "--name=value" and
// "--name value" both work; "--" ends the options. False (with *error) on an
// unknown option or a missing value.
bool ParseArgs(const std::vector<std::string>& args, const std::set<std::string>& valued,
               const std::set<std::string>& flags, Args* out, std::string* error);

// Prints "scrpack: message" on stderr and returns `code`.
int Fail(int code, const std::string& message);
// A usage error of `action`: the message and a pointer to its --help.
int UsageError(const std::string& action, const std::string& message);

// Decimal text -> number no larger than `max`.
bool ParseNumber(const std::string& text, uint64_t max, uint64_t* value);

// --- Files -----------------------------------------------------------------
// The whole file, or false with *error ("PATH: reason").
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* error);

// A file written in the folder of its destination under a temporary name and
// renamed over the destination only once it is complete; removed when it is
// dropped before Commit.
class TempFile {
public:
    explicit TempFile(const std::string& destination);
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    bool ok() const { return stream_ != nullptr; }
    FILE* stream() { return stream_; }
    const std::string& error() const { return error_; }
    // Closes the stream and renames it to the destination. False (with
    // error()) when anything failed; the temporary is then gone.
    bool Commit();

private:
    std::string destination_, path_, error_;
    FILE* stream_ = nullptr;
};

// Writes `bytes` to `path` through a TempFile.
bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error);

// "1,408,603"
std::string Grouped(uint64_t value);

// --- Names -------------------------------------------------------------------
// The installer's names from its host path, as the stub derives them from the
// last component of its own path: the screen saver file name (BASE.SCR) and
// the base name. False when the file name is too long for them.
bool InstallerNames(const std::string& path, std::string* saverFileName, std::string* baseName);

// Where entry `index` goes, relative to the Windows directory and separated
// by '\' as the stub builds it, with the extension shown in UTF-8. "" when
// the name does not fit the stub's path buffer.
std::string EntryName(int index, uint16_t firstNumber, const CatalogueEntry& entry, const std::string& saverFileName,
                      const std::string& baseName);

// --- Packages ----------------------------------------------------------------
// What is wrong with a package, as one line naming the file and the offset.
std::string DescribeCheck(const std::string& path, PackageStatus status, const PackageCheck& check);

// The exit code of a failed check: 1 when the file cannot be opened, else 2.
int CheckExitCode(PackageStatus status);

// Expands one compressed stream from `in` (at its first byte) into `out`.
struct DecodeOutcome {
    uint32_t produced = 0;  // bytes handed to the output
    int status = 0;         // DecodeStatus
    bool writeFailed = false;
    bool whole(uint32_t originalSize) const { return produced == originalSize && status == 0 && !writeFailed; }
};
DecodeOutcome DecodeEntry(FILE* in, FILE* out, uint32_t originalSize, uint32_t storedSize);
const char* DecodeStatusText(int status);

// --- Actions -----------------------------------------------------------------
int Pack(const std::vector<std::string>& args);
int List(const std::vector<std::string>& args);
int Verify(const std::vector<std::string>& args);
int Extract(const std::vector<std::string>& args);
int Compress(const std::vector<std::string>& args);
int Expand(const std::vector<std::string>& args);

extern const char* const kPackHelp;
extern const char* const kListHelp;
extern const char* const kVerifyHelp;
extern const char* const kExtractHelp;
extern const char* const kCompressHelp;
extern const char* const kExpandHelp;

}  // namespace scrpack

#endif
