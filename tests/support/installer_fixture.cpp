// A packaged installer on a fake machine (see installer_fixture.h).
#include "tests/support/installer_fixture.h"

#include "platform/hostwin/hostwin.h"
#include "tests/support/pe_builder.h"
#include "shell/shell.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace fs = std::filesystem;

namespace stubtest {

std::string Fill(const char* format, std::initializer_list<std::string> args) {
    std::string out;
    auto next = args.begin();
    for (const char* f = format; *f; f++) {
        if (f[0] == '%' && f[1] == 's') {
            if (next == args.end())
                ADD_FAILURE() << "Fill: too few arguments for " << format;
            else
                out += *next++;
            f++;
        } else {
            out += *f;
        }
    }
    if (next != args.end()) ADD_FAILURE() << "Fill: too many arguments for " << format;
    return out;
}

std::ostream& operator<<(std::ostream& out, const Box& box) {
    return out << "{caption \"" << box.caption << "\", style 0x" << std::hex << box.style << std::dec << ", text \""
               << box.text << "\"}";
}

std::vector<Box> Boxes() {
    std::vector<Box> out;
    for (const auto& call : hostwin::Record().messageBoxes) out.push_back({call.text, call.caption, call.style});
    return out;
}

std::vector<std::string> Folded(std::vector<std::string> paths) {
    for (auto& p : paths)
        for (char& c : p)
            if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::vector<uint8_t> BareStub() {
    return pe::Build().bytes;
}

InstallerFixture::InstallerFixture() {
    hostwin::Reset();
    ResetInstaller();
    std::string pattern = (fs::temp_directory_path() / "stubtest-XXXXXX").string();
    if (!mkdtemp(pattern.data())) ADD_FAILURE() << "cannot make a temporary folder";
    root_ = pattern;
    hostwin::MapDrive('C', root_);
}

InstallerFixture::~InstallerFixture() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

void InstallerFixture::UseStandardFiles() {
    files = {
        {"saver", TextBytes(20000, 1), ""},
        {"data", NoiseBytes(5000, 2), ".DAT"},
        {"extra1", NoiseBytes(4096, 3), ".TMP"},
        {"extra2", NoiseBytes(1, 4), ".T"},
    };
}

const authoring::Package& InstallerFixture::Build() {
    std::string stubPath = root_ + "/bare-stub.exe";
    {
        std::vector<uint8_t> stub = BareStub();
        std::ofstream(stubPath, std::ios::binary).write((const char*)stub.data(), (std::streamsize)stub.size());
    }
    authoring::PackRequest request;
    request.stubPath = stubPath;
    request.title = title;
    request.firstNumber = firstNumber;
    request.storeAll = storeAll;
    request.files = files;
    authoring::PackResult result = authoring::WritePackage(request, &package_);
    EXPECT_EQ(result.fault, authoring::PackFault::None) << result.message;
    fs::remove(stubPath);

    MakeFolder(windowsDir);
    size_t slash = installerPath.rfind('\\');
    if (slash != std::string::npos && slash > 2) MakeFolder(installerPath.substr(0, slash));
    Write(installerPath, package_.bytes);
    hostwin::SetModuleFileName(installerPath);
    hostwin::SetWindowsDirectory(windowsDir);
    return package_;
}

int InstallerFixture::Run(const char* commandLine) {
    ResetInstaller();
    return WinMain((HINSTANCE)0x400000, nullptr, (LPSTR)commandLine, SW_SHOWDEFAULT);
}

void InstallerFixture::ExpectCleanEnd() const {
    const hostwin::Records& r = hostwin::Record();
    EXPECT_TRUE(r.stalls.empty()) << r.stalls.front();
    EXPECT_TRUE(r.misuse.empty()) << r.misuse.front();
    EXPECT_EQ(hostwin::Count().openHandles, 0);
    EXPECT_EQ(hostwin::Count().openStreams, 0);
    EXPECT_EQ(r.localAllocs, r.localFrees);
    EXPECT_EQ(r.libraryLoads, r.libraryFrees);
    EXPECT_EQ(r.windowsAlive, 0);
}

std::string InstallerFixture::Host(const std::string& windowsPath) const {
    std::string host;
    if (!hostwin::ToHostPath(windowsPath.c_str(), &host)) ADD_FAILURE() << "unmapped: " << windowsPath;
    return host;
}

bool InstallerFixture::Exists(const std::string& windowsPath) const {
    return fs::exists(Host(windowsPath));
}

std::vector<uint8_t> InstallerFixture::Read(const std::string& windowsPath) const {
    std::ifstream in(Host(windowsPath), std::ios::binary);
    if (!in) ADD_FAILURE() << "cannot read " << windowsPath;
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void InstallerFixture::Write(const std::string& windowsPath, const std::vector<uint8_t>& bytes) const {
    std::ofstream out(Host(windowsPath), std::ios::binary | std::ios::trunc);
    out.write((const char*)bytes.data(), (std::streamsize)bytes.size());
    if (!out) ADD_FAILURE() << "cannot write " << windowsPath;
}

void InstallerFixture::MakeFolder(const std::string& windowsPath) const {
    // Component by component from the root, so that the layer's case-blind
    // matching sees each level.
    std::string path = windowsPath.substr(0, 3);
    for (size_t i = 3; i <= windowsPath.size(); i++) {
        if (i == windowsPath.size() || windowsPath[i] == '\\') {
            if (path.size() > 3) fs::create_directory(Host(path));
        }
        if (i < windowsPath.size()) path += windowsPath[i];
    }
}

std::vector<std::string> InstallerFixture::AllFiles() const {
    std::vector<std::string> out;
    for (auto& e : fs::recursive_directory_iterator(root_)) {
        if (!e.is_regular_file()) continue;
        std::string rel = fs::relative(e.path(), root_).string();
        std::replace(rel.begin(), rel.end(), '/', '\\');
        out.push_back("C:\\" + rel);
    }
    std::sort(out.begin(), out.end());
    return out;
}

static std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
    return s;
}

static std::string FileName(const std::string& path) {
    size_t slash = path.rfind('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string InstallerFixture::SaverFileName() const {
    std::string name = FileName(installerPath);
    return Upper(name.substr(0, name.find('.'))) + ".SCR";
}

std::string InstallerFixture::BaseName() const {
    std::string name = FileName(installerPath);
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string InstallerFixture::Destination(size_t index) const {
    std::string dir = windowsDir.back() == '\\' ? windowsDir : windowsDir + "\\";
    if (index == 0) return Upper(dir + SaverFileName());
    std::string folder = dir + "TORVANEL\\KAVRELIN\\" + BaseName() + "\\";
    if (index == 1) return folder + BaseName() + ".DAT";
    std::string number = std::to_string(index + firstNumber - 2);
    while (number.size() < 4) number = "0" + number;
    return folder + "FILE" + number + files[index].extension;
}

}  // namespace stubtest
