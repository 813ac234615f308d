// Fuzz target for scrpack's own reading and planning of an installer: what
// verify checks (the catalogue, names that clash, the naming rules, the
// layout, every stream) and what extract plans from it, with and without
// --salvage, up to its destinations. Nothing is written but the input.
//
// Promise: whatever the file holds, nothing crashes, reads outside its
// buffers, leaves a handle or a stream open or loops; the catalogue read
// holds no more entries than the file can (16 bytes and a stored byte of
// its own each); an installer verify calls sound is one extract takes
// whole, and one verify calls damaged is one extract refuses. Any broken
// promise aborts.
//
// The input is written to one file per process (in /dev/shm when it can be,
// else $TMPDIR or /tmp), removed at exit. Messages go to standard error:
// the libFuzzer run closes it (-close_fd_mask).
#include "package/records.h"
#include "fuzz/fuzz_input.h"
#include "platform/hostwin/hostwin.h"
#include "tools/scrpack/cli.h"
#include "tools/scrpack/installer.h"
#include "tools/scrpack/scrpack.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

const std::string& InputPath() {
    return fuzzinput::InputPath("fuzz_installer");
}

void Require(bool condition, const char* what) {
    fuzzinput::Require("fuzz_installer", condition, what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = InputPath();
    if (!fuzzinput::WriteInput(path, data, size)) return 0;
    hostwin::Reset();
    scrpack::SetQuiet(true);

    scrpack::InstallerFile installer;
    int compressed = 0;
    scrpack::Problem problem = scrpack::CheckInstaller(path, &installer, &compressed);
    Require(installer.entries.size() * (ENTRY_SIZE + 1) <= size, "no more entries than the file holds");
    Require(problem.exit != scrpack::kExitOk || !installer.entries.empty(), "a sound installer lists files");

    int plain = scrpack::CheckExtraction(path, false);
    Require(plain == problem.exit, "extract comes to verify's verdict");
    int salvage = scrpack::CheckExtraction(path, true);
    Require(plain != scrpack::kExitOk || salvage == scrpack::kExitOk, "--salvage of a sound installer is sound");
    Require(salvage >= 0 && salvage <= scrpack::kExitBadData, "an exit code extract has");

    Require(hostwin::Count().openHandles == 0, "every handle is closed");
    Require(hostwin::Count().openStreams == 0, "every stream is closed");
    return 0;
}
