// scrpack pack: writes an installer with the package writer, after checking
// that the installer's files would not clash under its name and that every
// compressed stream expands back to exactly its file, so that a fault in
// the encoder can never ship.
#include "tools/scrpack/cli.h"
#include "tools/scrpack/installer.h"
#include "tools/scrpack/output.h"
#include "tools/scrpack/scrpack.h"
#include "tools/scrpack/system.h"

#include "tools/authoring/codepage.h"
#include "tools/authoring/package_writer.h"
#include "tools/authoring/read_file.h"

#include <algorithm>
#include <cstdio>

namespace scrpack {

namespace {

// The stub: --stub, else the one of `language` found where the Dutch one
// is: $SCRPACK_STUB (*fromVariable) names the Dutch stub and the others lie
// beside it, else the places where the system keeps the stubs installed with
// the program. "" with *looked naming the places tried.
std::string FindStub(const Args& args, const InstallerLanguage& language, std::string* looked, bool* fromVariable) {
    *fromVariable = false;
    if (args.has("stub")) return args.value("stub");
    std::string fromEnvironment = sys::Environment("SCRPACK_STUB");
    *fromVariable = !fromEnvironment.empty();
    if (!fromEnvironment.empty()) {
        if (&language == &kInstallerLanguages[0]) return fromEnvironment;
        std::string beside = sys::JoinPath(sys::FolderOf(fromEnvironment), language.stubName);
        if (sys::TargetAt(beside) == sys::Node::File) return beside;
        *fromVariable = false;
        *looked = Shown(beside) + " (beside " + sys::kStubVariable + ")";
        return "";
    }
    *looked = std::string(sys::kStubVariable) + " (not set)";
    for (const std::string& place : sys::StubPlaces(language.stubName)) {
        if (sys::TargetAt(place) == sys::Node::File) return place;
        *looked += ", " + Shown(place);
    }
    return "";
}

// The languages as a list for a message: "nl (Dutch), en (English), ...".
std::string LanguageList() {
    std::string list;
    for (const InstallerLanguage& language : kInstallerLanguages)
        list += std::string(list.empty() ? "" : ", ") + language.code + " (" + language.name + ")";
    return list;
}

// The extension field of a file: its own extension in Windows-1252.
bool ExtensionOf(const std::string& path, std::string* extension, std::string* error) {
    std::string name = sys::LastComponent(path);
    size_t dot = name.rfind('.');
    std::string utf8 = dot == std::string::npos || dot == 0 ? "" : sys::Utf8FromHost(name.substr(dot));
    std::string problem;
    if (!authoring::Utf8ToCp1252(utf8, extension, &problem)) {
        *error = Shown(path) + ": the extension: " + problem;
        return false;
    }
    problem = authoring::CheckExtension(*extension);
    if (problem.empty()) return true;
    *error = Shown(path) + ": " + problem;
    return false;
}

int ExitFor(authoring::PackFault fault) {
    return fault == authoring::PackFault::BadStub || fault == authoring::PackFault::Encoder ? kExitBadData
           : fault == authoring::PackFault::Io                                              ? kExitIo
                                                                                            : kExitUsage;
}

// The installer's files under `fileName`, as they would install.
InstallerFile Planned(const authoring::PackRequest& request, const std::string& fileName) {
    InstallerFile planned;
    planned.path = fileName;
    planned.firstNumber = request.firstNumber;
    for (size_t i = 0; i < request.files.size(); i++) {
        InstallerEntry e;
        e.index = (int)i;
        std::snprintf(e.raw.extension, sizeof e.raw.extension, "%s", request.files[i].extension.c_str());
        planned.entries.push_back(e);
    }
    return planned;
}

// An output name whose installed files would clash is refused, with one
// that would not.
int CheckNames(const authoring::PackRequest& request, const std::string& output) {
    if (output == "-") return kExitOk;  // the name is given later, by whoever saves it
    std::string fileName = sys::LastComponent(output);
    InstallerFile planned = Planned(request, fileName);
    if (!NameEntries(fileName, &planned))
        return Error(kExitUsage, Shown(output) + ": the file name is too long for the installer's names");
    Problem clash = FindClash(planned);
    if (!clash.found()) return kExitOk;
    size_t dot = fileName.rfind('.');
    std::string stem = dot == std::string::npos ? fileName : fileName.substr(0, dot);
    std::string extension = dot == std::string::npos ? "" : fileName.substr(dot);
    for (int n = 1; n < 100; n++) {
        std::string candidate = stem + "-" + std::to_string(n) + extension;
        InstallerFile other = Planned(request, candidate);
        if (NameEntries(candidate, &other) && !FindClash(other).found())
            return Error(kExitUsage,
                         clash.message + "; name the installer differently, for example " + Shown(candidate));
    }
    return Error(kExitUsage, clash.message + "; name the installer differently");
}

// A stub that is an installer already, or is signed, is refused with what
// to do instead: the package writer would take the first only when its
// package is small, and a signature covers the file as it was signed.
int CheckStub(const std::string& stubPath) {
    InstallerFile stub;
    Problem problem = ReadInstaller(stubPath, &stub);
    if (!problem.found())
        return Error(kExitBadData, Shown(stubPath) + ": is an installer (its package holds " +
                                       std::to_string(stub.entries.size()) +
                                       " files), not a bare stub; give --stub the stub it was made from");
    if (stub.isSigned())
        return Error(kExitBadData, Shown(stubPath) +
                                       ": is signed; a signature covers the file as it was signed, and packing "
                                       "changes it: pack an unsigned stub, then sign the installer");
    return kExitOk;
}

int ReadInputs(const Args& args, authoring::PackRequest* request) {
    std::string error;
    for (const std::string& path : args.positional) {
        authoring::PackInput input;
        input.name = path;
        // A file is read as it is packed, never held whole; anything else
        // (a FIFO, or what cannot be read) as before, whole.
        uint64_t size = 0;
        bool regular = sys::TargetAt(path) == sys::Node::File && sys::FileSize(path, &size);
        if (regular && size > authoring::kTwoGiB - 1)
            return Error(kExitUsage, Shown(path) + ": 2 GiB or more; an installer installs less than 2 GiB");
        if (regular) {
            input.path = path;
            input.size = size;
        } else {
            switch (authoring::ReadWholeFile(path, authoring::kTwoGiB - 1, &input.bytes, &error)) {
            case authoring::ReadOutcome::Read: break;
            case authoring::ReadOutcome::TooLarge:
                return Error(kExitUsage, Shown(path) + ": 2 GiB or more; an installer installs less than 2 GiB");
            default: return Error(kExitIo, sys::Utf8FromHost(error));
            }
        }
        if (!ExtensionOf(path, &input.extension, &error)) return Error(kExitUsage, error);
        request->files.push_back(std::move(input));
    }
    return kExitOk;
}

}  // namespace

int Pack(const Args& args) {
    std::string error;
    for (const char* required : {"output", "title"})
        if (!args.has(required)) return UsageError("pack", std::string("--") + required + " is required");
    if (args.positional.size() < 2) return UsageError("pack", "expected SAVER and DATA, then any EXTRA files");

    const InstallerLanguage* language = &kInstallerLanguages[0];
    if (args.has("language")) {
        if (args.has("stub")) return UsageError("pack", "--stub and --language exclude each other");
        language = FindInstallerLanguage(args.value("language").c_str());
        if (!language)
            return UsageError("pack", "unknown language \"" + Shown(args.value("language"), false) +
                                          "\"; the languages are " + LanguageList());
    }

    authoring::PackRequest request;
    std::string looked;
    bool fromVariable;
    request.stubPath = FindStub(args, *language, &looked, &fromVariable);
    if (request.stubPath.empty())
        return Error(kExitUsage, "pack: no stub found; looked at " + looked + "; name one with --stub");
    if (fromVariable && sys::TargetAt(request.stubPath) == sys::Node::Missing)
        return Error(kExitUsage, Shown(request.stubPath) + ": no such file, named by " + sys::kStubVariable +
                                     " as the stub; set it to a stub, or name one with --stub");
    int code = CheckStub(request.stubPath);
    if (code != kExitOk) return code;
    request.storeAll = args.has("store");
    std::string output = args.value("output");
    if (!ParseThreads(args, &request.threads)) return UsageError("pack", "--threads expects a number from 1 to 64");
    std::string problem;
    if (!authoring::Utf8ToCp1252(sys::Utf8FromHost(args.value("title")), &request.title, &problem))
        return Error(kExitUsage, "pack: the title: " + problem);
    if (args.has("first-number")) {
        uint64_t number;
        if (!ParseNumber(args.value("first-number"), 0xFFFF, &number))
            return UsageError("pack", "--first-number expects a number from 0 to 65535");
        request.firstNumber = (uint16_t)number;
    }
    std::vector<std::string> inputs = args.positional;
    inputs.push_back(request.stubPath);
    Output out;
    if (!out.Open(output, args.has("force"), inputs, args.has("force"), &error, &code)) return Error(code, error);
    code = ReadInputs(args, &request);
    if (code == kExitOk) code = CheckNames(request, output);
    if (code != kExitOk) return code;

    // Written as it is laid out: the streams wait in a scratch file, each
    // expanded again and compared with its file before it counts.
    request.checkRoundTrip = true;
    request.openScratch = sys::OpenScratchFile;
    authoring::Package pkg;
    uint64_t total = 0;
    for (const authoring::PackInput& file : request.files) total += file.Size();
    authoring::PackResult result;
    {
        Progress progress((output == "-" ? std::string("standard output") : Shown(output)) + ": packing", total);
        if (!request.storeAll) FollowEncoding(&progress);
        result = authoring::WritePackageTo(
            request, [&](const uint8_t* bytes, size_t count) { out.Write(bytes, count); },  // a failure: Commit says
            &pkg);
        FollowEncoding(nullptr);
    }
    if (result.fault != authoring::PackFault::None)
        return Error(ExitFor(result.fault), sys::Utf8FromHost(result.message));
    if (!out.Commit(&error)) return Error(kExitIo, error);
    if (Quiet()) return kExitOk;
    FILE* report = out.toStandardOutput() ? stderr : stdout;
    for (size_t i = 0; i < pkg.entries.size(); i++) {
        const authoring::PackedEntry& e = pkg.entries[i];
        std::fprintf(report, "  [%zu] %-12s  %s: %s bytes -> %s bytes at offset %u (%s)\n", i, RoleOf((int)i),
                     Shown(request.files[i].name).c_str(), Grouped(request.files[i].Size()).c_str(),
                     Grouped(e.storedSize).c_str(), (unsigned)e.fileOffset, e.originalSize ? "compressed" : "stored");
    }
    std::fprintf(report, "%s: %s bytes, package at offset %u, %zu entries, %s bytes to install (stub: %s)\n",
                 output == "-" ? "standard output" : Shown(output).c_str(), Grouped(pkg.size).c_str(),
                 (unsigned)pkg.position, pkg.entries.size(), Grouped(pkg.totalInstalled).c_str(),
                 Shown(request.stubPath).c_str());
    return kExitOk;
}

}  // namespace scrpack
