// Fuzz target for the package locator, the catalogue readers and the package
// check, on any bytes taken as an installer's file.
//
// Promise: whatever the file holds, no reader crashes, reads outside its
// buffers, leaves a handle open or loops (a walk takes at most one step per
// 16 bytes of file); a position the locator returns lies inside the file; and
// a package the check passes reads whole with the size reader and the walk.
// Any broken promise aborts.
//
// The input is written to one file per process (in /dev/shm when it can be,
// else $TMPDIR or /tmp), removed at exit.
#include "package/package.h"
#include "fuzz/fuzz_input.h"
#include "platform/hostwin/hostwin.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

const std::string& InputPath() {
    return fuzzinput::InputPath("fuzz_package");
}

void Require(bool condition, const char* what) {
    fuzzinput::Require("fuzz_package", condition, what);
}

// The locator, then the size reader from where it left the handle.
void LocateAndSum(const char* path, size_t size) {
    PackageStatus why = PACKAGE_OK;
    PackageResource found;
    HFILE file = LocatePackageResource(path, &why, &found);
    Require((file == HFILE_ERROR) == (why != PACKAGE_OK), "a handle exactly when the status is ok");
    if (file == HFILE_ERROR) return;
    Require(found.position < size, "the package starts inside the file");
    Require(_llseek(file, 0, FILE_CURRENT) == (LONG)found.position, "the handle is at P");
    uint32_t total = 0;
    ReadTotalSize(file, &total);
    _lclose(file);
}

// A full walk; returns the number of entries, or -1 when it stopped on damage.
long Walk(const char* path, size_t size) {
    HFILE file = LocatePackageIn(path, nullptr);
    if (file == HFILE_ERROR) return -1;
    CatalogueWalk walk;
    long steps = 0;
    for (int more = BeginWalk(&walk, file); more; more = NextEntry(&walk))
        Require(++steps <= (long)(size / ENTRY_SIZE), "the walk ends within the file");
    Require(NextEntry(&walk) == 0, "an ended walk stays ended");
    _lclose(file);
    return walk.status == PACKAGE_OK ? steps : -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = InputPath();
    if (!fuzzinput::WriteInput(path, data, size)) return 0;
    const int handles = hostwin::Count().openHandles;

    LocateAndSum(path.c_str(), size);

    hostwin::SetModuleFileName(path);  // the stub's own readers walk "their" module
    char title[CAT_TITLE_SIZE + 1];
    std::memset(title, 0x55, sizeof title);
    title[CAT_TITLE_SIZE] = 0x7E;
    ReadTitle(title);
    Require(title[CAT_TITLE_SIZE] == 0x7E, "the title reader writes 32 bytes at most");

    long entries = Walk(path.c_str(), size);
    PackageCheck check;
    PackageStatus status = CheckPackageDetail(path.c_str(), &check);
    Require(CheckPackage() == status, "the stub's check agrees with the tools' check");
    if (status == PACKAGE_OK) {
        Require(entries == (long)check.entryCount && entries > 0, "a sound package walks whole");
        HFILE file = LocatePackageIn(path.c_str(), nullptr);
        uint32_t total = 0;
        Require(file != HFILE_ERROR && ReadTotalSize(file, &total) == PACKAGE_OK, "a sound package sums whole");
        _lclose(file);
    }
    Require(hostwin::Count().openHandles == handles, "every handle is closed");
    return 0;
}
