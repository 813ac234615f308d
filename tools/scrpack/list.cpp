// scrpack list: what each installer holds and where it would install it, as
// text or as JSON.
#include "tools/scrpack/cli.h"
#include "tools/scrpack/installer.h"
#include "tools/scrpack/output.h"
#include "tools/scrpack/scrpack.h"
#include "tools/scrpack/system.h"

#include "tools/authoring/codepage.h"

#include <cstdio>
#include <memory>

namespace scrpack {

namespace {

std::string Column(const std::string& text, size_t width) {
    // Pads by characters, not bytes, so that UTF-8 names line up.
    size_t characters = 0;
    for (unsigned char c : text) characters += (c & 0xC0) != 0x80;
    return characters >= width ? text : text + std::string(width - characters, ' ');
}

void PrintText(const InstallerFile& installer, const InstallerLanguage* language, Selection& selection) {
    std::printf("Installer:      %s\n", Shown(installer.path).c_str());
    if (installer.isSigned())
        std::printf("Signed:         yes (%s bytes of signature at offset %u; not checked)\n",
                    Grouped(installer.signatureSize).c_str(), (unsigned)installer.signatureOffset);
    else
        std::printf("Signed:         no\n");
    if (!installer.catalogueRead) return;
    std::printf("Title:          \"%s\"\n", ShownCp1252(installer.title, true).c_str());
    std::printf("First number:   %u\n", (unsigned)installer.firstNumber);
    std::printf("Language:       %s\n",
                language ? (std::string(language->name) + " (" + language->code + ")").c_str() : "unknown");
    std::printf("Package at:     %s\n", Offset(installer.position).c_str());
    std::printf("\n%5s  %-12s  %s %10s %10s %10s  %s\n", "index", "role",
                Column("installed as (in the Windows directory)", 44).c_str(), "offset", "stored", "installed", "kind");
    for (const InstallerEntry& e : installer.entries) {
        if (!selection.Picks(e)) continue;
        std::string name = e.name.empty() ? "(name too long)" : Shown(e.name);
        std::printf("%5d  %-12s  %s %10u %10u %10u  %s\n", e.index, e.role(), Column(name, 44).c_str(),
                    (unsigned)e.raw.fileOffset, (unsigned)e.raw.storedSize, (unsigned)e.installedSize(),
                    e.compressed() ? "compressed" : "stored");
    }
    std::printf("\nTotal installed size: %s bytes (%s KB)\n", Grouped(installer.totalSize).c_str(),
                Grouped(installer.totalSize / 1024).c_str());
}

std::string Slashed(const std::string& name) {
    std::string out = name;
    for (char& c : out)
        if (c == '\\') c = '/';
    return out;
}

void PrintJson(const InstallerFile& installer, const InstallerLanguage* language, const Problem& problem, bool last,
               Selection& selection) {
    std::printf("  {\"file\": %s", JsonString(PathText(installer.path)).c_str());
    if (installer.fileSize) std::printf(", \"signed\": %s", installer.isSigned() ? "true" : "false");
    if (installer.catalogueRead) {
        std::printf(
            ",\n   \"title\": %s, \"first_number\": %u, \"language\": %s, \"package_offset\": %u, "
            "\"total_size\": %llu,\n",
            JsonString(authoring::Cp1252ToUtf8(installer.title)).c_str(), (unsigned)installer.firstNumber,
            language ? JsonString(language->code).c_str() : "null", (unsigned)installer.position,
            (unsigned long long)installer.totalSize);
        std::printf("   \"entries\": [");
        bool any = false;
        for (size_t i = 0; i < installer.entries.size(); i++) {
            const InstallerEntry& e = installer.entries[i];
            if (!selection.Picks(e)) continue;
            std::printf(
                "%s\n     {\"index\": %d, \"role\": \"%s\", \"path\": %s, \"offset\": %u, "
                "\"stored_size\": %u, \"original_size\": %u, \"compressed\": %s}",
                any ? "," : "", e.index, e.roleKey(),
                e.name.empty() ? "null" : JsonString(sys::Utf8FromHost(Slashed(e.name))).c_str(),
                (unsigned)e.raw.fileOffset, (unsigned)e.raw.storedSize, (unsigned)e.installedSize(),
                e.compressed() ? "true" : "false");
            any = true;
        }
        std::printf("%s]", any ? "\n   " : "");
    }
    if (problem.found()) std::printf(",\n   \"error\": %s", JsonString(problem.message).c_str());
    std::printf("}%s\n", last ? "" : ",");
}

}  // namespace

int List(const Args& args) {
    if (args.positional.empty()) return UsageError("list", "expected at least one INSTALLER");
    bool json = args.has("json");

    Selection selection(args.values("include"));
    int code = kExitOk;
    if (json) std::printf("[\n");
    for (size_t i = 0; i < args.positional.size(); i++) {
        InstallerFile installer;
        std::unique_ptr<SpooledInput> input;
        std::string path;
        Problem problem = OpenArgument(args.positional[i], &input, &path);
        if (!problem.found()) problem = ReadInstaller(path, &installer);
        const InstallerLanguage* language = nullptr;
        if (installer.catalogueRead) {
            Problem unread = ReadLanguage(installer, &language);
            if (!problem.found()) problem = unread;
        }
        code = WorstExit(code, problem.exit);
        for (const InstallerEntry& e : installer.entries) selection.Picks(e);  // also when nothing is printed
        if (json) {
            PrintJson(installer, language, problem, i + 1 == args.positional.size(), selection);
        } else if (!Quiet()) {
            if (i > 0) std::printf("\n");
            PrintText(installer, language, selection);
        }
        if (problem.found()) Error(problem.exit, problem.message);
        if (installer.catalogueRead) code = WorstExit(code, selection.ReportUnmatched(installer));
    }
    if (json) std::printf("]\n");
    return code;
}

}  // namespace scrpack
