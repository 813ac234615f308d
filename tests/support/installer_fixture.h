// A packaged installer on a fake machine, for running the stub's WinMain
// natively: drive C on a fresh temporary folder, a Windows directory on it,
// the installer (a synthetic bare stub with a package written into it by the
// package writer) somewhere on C, and the layer told both names.
//
// Expected texts are composed here with Fill(), which is written apart from
// the stub's own formatter so that a fault there cannot hide itself.
#ifndef TESTS_SUPPORT_INSTALLER_FIXTURE_H
#define TESTS_SUPPORT_INSTALLER_FIXTURE_H

#include "tests/support/sample_data.h"
#include "tools/authoring/package_writer.h"

#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

namespace stubtest {

// `format` with each "%s" replaced by the next argument, in order.
std::string Fill(const char* format, std::initializer_list<std::string> args);

// One message box as the user saw it.
struct Box {
    std::string text, caption;
    unsigned style;
    bool operator==(const Box& o) const { return text == o.text && caption == o.caption && style == o.style; }
};
std::ostream& operator<<(std::ostream& out, const Box& box);

// The message boxes of the last run, in order.
std::vector<Box> Boxes();

// Windows paths folded to lower case (ASCII) and sorted: how Windows
// compares names, for comparing lists of files.
std::vector<std::string> Folded(std::vector<std::string> paths);

// The bytes of a bare stub: a small PE whose last section is ".rsrc" with the
// 4-byte package marker as its first resource's data, ending the file.
std::vector<uint8_t> BareStub();

class InstallerFixture {
public:
    InstallerFixture();   // resets the layer and the installer's values, maps drive C
    ~InstallerFixture();  // removes the temporary folder

    // What Build() packs; change before calling it.
    std::string windowsDir = "C:\\Windows";
    std::string installerPath = "C:\\Downloads\\sunset.exe";
    std::string title = "Sunset";
    uint16_t firstNumber = 1;
    bool storeAll = false;
    std::vector<authoring::PackInput> files;

    // The usual package: a compressed screen saver, a stored data file and
    // two stored extra files (4096 bytes, and 1 byte with a 2-character
    // extension), so that both kinds and the chunk edges are crossed.
    void UseStandardFiles();

    // Writes the installer and the Windows directory, tells the layer their
    // names. Fails the test when the package writer refuses.
    const authoring::Package& Build();
    const authoring::Package& package() const { return package_; }

    // Runs WinMain as the process start-up code would; returns its result.
    int Run(const char* commandLine = "");

    // The run left nothing behind: no stall, no misuse, no open handle or
    // stream, every allocation and library released, no window alive.
    void ExpectCleanEnd() const;

    // Files of the fake machine, by Windows path.
    std::string Host(const std::string& windowsPath) const;
    bool Exists(const std::string& windowsPath) const;
    std::vector<uint8_t> Read(const std::string& windowsPath) const;
    void Write(const std::string& windowsPath, const std::vector<uint8_t>& bytes) const;
    void MakeFolder(const std::string& windowsPath) const;

    // Every file on drive C, as Windows paths, sorted.
    std::vector<std::string> AllFiles() const;

    // Where entry `index` of the package goes, as the stub should name it.
    std::string Destination(size_t index) const;
    std::string SaverFileName() const;  // BASE.SCR
    std::string BaseName() const;       // installer base name, case kept

private:
    std::string root_;
    authoring::Package package_;
};

}  // namespace stubtest

#endif
