// scrpack extract: writes every entry of an installer where its stub would,
// below a folder that stands for the Windows directory.
//
// All or nothing: the installer is checked whole first (catalogue, names
// that clash, every compressed stream, every destination and every folder on
// the way), then each entry is written to a temporary file beside its
// destination, and only when all are complete are they renamed into place.
// A failure or an interrupt before that removes the temporary files and the
// folders this run created. Nothing is written outside the folder: names are
// built by the stub's own rules, their components checked, and every folder
// that exists already is followed to its real path and must lie inside.
//
// Before anything is written, what will be written is compared with the
// free space of the destination's file system, as the installer asks before
// it installs.
//
// --salvage writes what can be had of a damaged installer instead: every
// entry the catalogue lists whose stored bytes lie inside the file, as the
// decoder expands it but no further than its stored bytes can give, with a
// warning for each that is damaged or left out.
#include "tools/scrpack/cli.h"
#include "tools/scrpack/installer.h"
#include "tools/scrpack/output.h"
#include "tools/scrpack/scrpack.h"
#include "tools/scrpack/system.h"

#include "decode/decode.h"
#include "platform/streams.h"

#include <cerrno>
#include <memory>
#include <set>

namespace scrpack {

namespace {

struct Options {
    std::string dir;  // stands for the Windows directory
    bool force = false;
    bool salvage = false;
};

struct Planned {
    const InstallerEntry* entry;
    std::vector<std::string> components;  // of the path below dir, the file's name last
    std::string relative;                 // the path below dir, with the system's separator
    std::string destination;              // dir joined with relative
    std::string damage;                   // with --salvage: what is wrong with it ("" when sound)
    uint32_t size = 0;                    // bytes to write: installed size, or with --salvage no more
                                          // than the stored bytes can give
    uint64_t written = 0;                 // bytes written (its size, once written whole)
};

class Extraction {
public:
    Extraction(const std::string& path, const Options& options) : path_(path), options_(options) {}
    int Run();
    int Check();
    bool Salvaged() const { return damaged_; }

private:
    int Read();
    int Plan();
    int CheckStreams();
    int CheckDestinations();
    int CheckSpace();
    int PlanFolder(const std::string& folder);
    int Write();
    int WriteEntry(FILE* in, Planned& p, Output* out);
    int CopyStored(FILE* in, Planned& p, Output* out);
    int ExpandCompressed(FILE* in, Planned& p, Output* out);
    int WriteFailure(Output* out);
    uint32_t Available(const CatalogueEntry& e) const;
    void Damaged(Planned& p, const std::string& what);

    const std::string path_;
    const Options& options_;
    InstallerFile installer_;
    std::vector<Planned> plan_;
    std::vector<std::string> folders_;  // to create, each after its parent
    std::set<std::string> planned_;     // folders checked or to create
    std::string root_;                  // the real path of dir, once it exists
    bool damaged_ = false;              // --salvage met damage
};

int Extraction::Read() {
    Problem problem = ReadInstaller(path_, &installer_);
    bool salvaging = options_.salvage && problem.exit != kExitIo && !installer_.entries.empty();
    if (problem.found() && !salvaging) return Error(problem.exit, problem.message + "; nothing extracted");
    Problem layout = CheckLayout(installer_);
    if (layout.found() && !options_.salvage) return Error(layout.exit, layout.message + "; nothing extracted");
    for (const Problem* p : {&problem, &layout}) {
        if (!p->found()) continue;
        Warning(p->message + "; salvaging what the catalogue lists");
        damaged_ = true;
    }
    return kExitOk;
}

void Extraction::Damaged(Planned& p, const std::string& what) {
    p.damage = what;
    damaged_ = true;
}

int Extraction::Plan() {
    std::set<size_t> skipped;
    for (const auto& clash : Clashes(installer_)) {
        if (!options_.salvage) return Error(kExitBadData, FindClash(installer_).message + "; nothing extracted");
        skipped.insert(clash.second);
        damaged_ = true;
        Warning(Shown(installer_.path) + ": entry " + std::to_string(installer_.entries[clash.second].index) +
                " would replace entry " + std::to_string(installer_.entries[clash.first].index) + " at " +
                Shown(installer_.entries[clash.first].name) + "; it is left out");
    }
    for (size_t i = 0; i < installer_.entries.size(); i++) {
        const InstallerEntry& e = installer_.entries[i];
        if (skipped.count(i)) continue;
        if (e.name.empty()) return Error(kExitUsage, CheckEntryName(installer_, e).message + "; nothing extracted");
        const CatalogueEntry& raw = e.raw;
        if (raw.fileOffset > installer_.fileSize || raw.storedSize > installer_.fileSize - raw.fileOffset) {
            Warning(Shown(installer_.path) + ": entry " + std::to_string(e.index) + ": its " + Grouped(raw.storedSize) +
                    " stored bytes at offset " + Offset(raw.fileOffset) + " do not lie inside the file (" +
                    Grouped(installer_.fileSize) + " bytes); it is left out");
            damaged_ = true;  // only with --salvage: ReadInstaller refuses such an entry
            continue;
        }
        if (e.index >= ENTRY_FIRST_EXTRA && ExtensionRefused(e.raw.extension, 0)) {  // only with --salvage
            Warning(Shown(installer_.path) + ": entry " + std::to_string(e.index) + ": its extension \"" +
                    ShownCp1252(e.raw.extension, true) + "\" makes no file name; it is left out");
            damaged_ = true;
            continue;
        }
        Planned p;
        p.entry = &e;
        p.components = SafeComponents(e.name);
        if (p.components.empty())
            return Error(kExitUsage, CheckEntryName(installer_, e).message + "; nothing extracted");
        p.size = e.installedSize();
        uint32_t most = MaxExpandedSize(raw.storedSize);
        if (e.compressed() && p.size > most) p.size = most;  // only with --salvage: CheckStreams refuses it
        for (const std::string& component : p.components)
            p.relative = p.relative.empty() ? component : sys::JoinPath(p.relative, component);
        p.destination = sys::JoinPath(options_.dir, p.relative);
        plan_.push_back(p);
    }
    return kExitOk;
}

int Extraction::CheckStreams() {
    errno = 0;
    FILE* in = StreamOpen(installer_.path.c_str(), "rb");
    if (!in) return Error(kExitIo, Shown(installer_.path) + ": cannot open it: " + sys::ErrorText(errno));
    int code = kExitOk;
    for (Planned& p : plan_) {
        if (!p.entry->compressed()) continue;
        Problem problem = CheckStream(in, installer_, *p.entry);
        if (!problem.found()) continue;
        if (problem.exit == kExitBadData && options_.salvage) {
            Damaged(p, problem.message);
            continue;
        }
        code = Error(problem.exit, problem.message + "; nothing extracted");
        break;
    }
    StreamClose(in);
    return code;
}

// `folder` must be a folder inside dir, or be made one: checks each level
// that exists (a symbolic link is followed and must stay inside dir) and
// notes those to create.
int Extraction::PlanFolder(const std::string& folder) {
    if (planned_.count(folder)) return kExitOk;
    planned_.insert(folder);
    sys::Node node = sys::NodeAt(folder);
    if (node == sys::Node::Missing) {
        folders_.push_back(folder);
        return kExitOk;
    }
    if (sys::TargetAt(folder) != sys::Node::Folder)
        return Error(kExitIo, Shown(folder) + ": a file stands where a folder must go; nothing extracted");
    std::string real = sys::RealPath(folder);
    if (real.empty() || !sys::IsWithin(real, root_))
        return Error(kExitIo, Shown(folder) + ": leads outside " + Shown(options_.dir) +
                                  " (a symbolic link?); nothing extracted");
    return kExitOk;
}

int Extraction::CheckDestinations() {
    // dir and the parents it lacks are made first.
    std::vector<std::string> missing;
    for (std::string at = options_.dir; sys::NodeAt(at) == sys::Node::Missing; at = sys::FolderOf(at)) {
        missing.insert(missing.begin(), at);
        if (at == sys::FolderOf(at)) break;
    }
    std::string existing = missing.empty() ? options_.dir : sys::FolderOf(missing.front());
    if (sys::TargetAt(existing) != sys::Node::Folder)
        return Error(kExitIo, Shown(existing) + ": a file stands where a folder must go; nothing extracted");
    folders_ = missing;
    planned_.insert(missing.begin(), missing.end());
    root_ = missing.empty() ? sys::RealPath(options_.dir) : "";

    for (const Planned& p : plan_) {
        std::string folder = options_.dir;
        for (size_t i = 0; i + 1 < p.components.size(); i++) {
            folder = sys::JoinPath(folder, p.components[i]);
            if (root_.empty()) {  // dir is still to be made: so is everything below it
                if (planned_.insert(folder).second) folders_.push_back(folder);
                continue;
            }
            int code = PlanFolder(folder);
            if (code != kExitOk) return code;
        }
        sys::Node node = sys::NodeAt(p.destination);
        if (node == sys::Node::Folder)
            return Error(kExitIo, Shown(p.destination) +
                                      ": a folder stands where this file must go; nothing "
                                      "extracted");
        if (node != sys::Node::Missing && !options_.force)
            return Error(kExitUsage, Shown(p.destination) + ": exists; nothing extracted (use -f to replace it)");
    }
    return kExitOk;
}

// What will be written must fit in the free space of the file system that
// holds dir, or of its nearest existing parent when dir is still to be
// made. Temporary files stand beside their destinations until every one is
// complete, so a file replaced with -f frees nothing before then. When the
// system cannot say, the writes themselves find out.
int Extraction::CheckSpace() {
    uint64_t needed = 0;
    for (const Planned& p : plan_) needed += p.size;
    std::string existing = options_.dir;
    while (sys::TargetAt(existing) == sys::Node::Missing && sys::FolderOf(existing) != existing)
        existing = sys::FolderOf(existing);
    uint64_t free = 0;
    if (!sys::FreeSpace(existing, &free) || needed <= free) return kExitOk;
    return Error(kExitIo, Shown(installer_.path) + ": the files to extract take " + Grouped(needed) +
                              " bytes, but the file system of " + Shown(existing) + " has " + Grouped(free) +
                              " bytes free; nothing extracted");
}

// The entry's stored bytes that lie inside the file (all of them, unless the
// file is cut short).
uint32_t Extraction::Available(const CatalogueEntry& e) const {
    uint32_t inside = e.fileOffset <= installer_.fileSize ? installer_.fileSize - e.fileOffset : 0;
    return e.storedSize < inside ? e.storedSize : inside;
}

int Extraction::WriteFailure(Output* out) {
    std::string error;
    out->Finish(&error);
    return Error(kExitIo, error + "; nothing extracted");
}

int Extraction::CopyStored(FILE* in, Planned& p, Output* out) {
    std::vector<uint8_t> buffer(1 << 16);
    for (uint32_t left = Available(p.entry->raw); left > 0;) {
        size_t want = left < buffer.size() ? left : buffer.size();
        errno = 0;
        size_t got = StreamRead(buffer.data(), 1, want, in);
        if (got && !out->Write(buffer.data(), got)) return WriteFailure(out);
        left -= (uint32_t)got;
        p.written += got;
        if (got == want) continue;
        if (!feof(in)) return Error(kExitIo, ReadFailure(installer_, *p.entry, errno) + "; nothing extracted");
        return Error(kExitBadData, Shown(installer_.path) + ": entry " + std::to_string(p.entry->index) +
                                       ": the file ends inside it (it changed while it was read); nothing extracted");
    }
    return kExitOk;
}

int Extraction::ExpandCompressed(FILE* in, Planned& p, Output* out) {
    const CatalogueEntry& e = p.entry->raw;
    errno = 0;
    // A cut file gives what it has; zero bits stand in for the rest.
    ExpandStream(in, out->stream(), p.size, Available(e), DECODE_TO_ORIGINAL_SIZE);
    if (WriteFailed()) {
        out->NoteWriteFailure();
        return WriteFailure(out);
    }
    if (ReadFailed()) return Error(kExitIo, ReadFailure(installer_, *p.entry, errno) + "; nothing extracted");
    p.written = p.size;
    DecodeStatus status = LastDecodeStatus();
    if (status == DECODE_OK || p.size < e.originalSize) return kExitOk;  // a cut one is damaged already
    if (!options_.salvage)                                               // it was sound a moment ago: the file changed
        return Error(kExitBadData, DescribeStream(installer_, *p.entry, status) + "; nothing extracted");
    if (p.damage.empty()) Damaged(p, DescribeStream(installer_, *p.entry, status));
    return kExitOk;
}

int Extraction::WriteEntry(FILE* in, Planned& p, Output* out) {
    std::string error;
    if (!out->OpenStaged(p.destination, &error)) return Error(kExitIo, error + "; nothing extracted");
    if (Available(p.entry->raw) > 0 && !SeekEntry(in, *p.entry))
        return Error(kExitIo, ReadFailure(installer_, *p.entry, errno) + "; nothing extracted");
    int code = p.entry->compressed() ? ExpandCompressed(in, p, out) : CopyStored(in, p, out);
    if (code != kExitOk) return code;
    if (!out->Finish(&error)) return Error(kExitIo, error + "; nothing extracted");
    if (!p.damage.empty())
        Warning(p.damage + (p.size < p.entry->installedSize()
                                ? "; its first " + Grouped(p.size) + " bytes written, what its stored bytes can give"
                                : "; written as the decoder gives it"));
    Say("  [" + std::to_string(p.entry->index) + "] " + Shown(p.relative) + ": " + Grouped(p.written) + " bytes (" +
        (p.entry->compressed() ? "expanded" : "stored") + ")");
    return kExitOk;
}

int Extraction::Write() {
    WatchInterrupts();
    for (const std::string& folder : folders_) {
        if (!sys::MakeFolder(folder) && sys::NodeAt(folder) != sys::Node::Folder) {
            int error = sys::LastError();
            RemoveCreatedFolders();
            return Error(kExitIo, Shown(folder) + ": cannot create the folder: " + sys::ErrorText(error) +
                                      "; nothing extracted");
        }
        NoteCreatedFolder(folder);
    }
    errno = 0;
    FILE* in = StreamOpen(installer_.path.c_str(), "rb");
    if (!in) {
        RemoveCreatedFolders();
        return Error(kExitIo, Shown(installer_.path) + ": cannot open it: " + sys::ErrorText(errno));
    }
    std::vector<std::unique_ptr<Output>> outputs;
    int code = kExitOk;
    for (Planned& p : plan_) {
        outputs.emplace_back(new Output);
        code = WriteEntry(in, p, outputs.back().get());
        if (code != kExitOk) break;
    }
    StreamClose(in);
    std::string error;
    for (size_t i = 0; code == kExitOk && i < outputs.size(); i++)
        if (!outputs[i]->Replace(&error)) code = Error(kExitIo, error);
    if (code != kExitOk) {
        outputs.clear();  // removes every temporary file not yet in place
        RemoveCreatedFolders();
        return code;
    }
    KeepCreatedFolders();
    return kExitOk;
}

// Everything about the installer itself, before any destination is looked at.
int Extraction::Check() {
    int code = Read();
    if (code == kExitOk) code = Plan();
    if (code == kExitOk) code = CheckStreams();
    return code;
}

int Extraction::Run() {
    int code = Check();
    if (code == kExitOk) code = CheckDestinations();
    if (code == kExitOk) code = CheckSpace();
    if (code == kExitOk) code = Write();
    if (code != kExitOk) return code;
    uint64_t total = 0;
    for (const Planned& p : plan_) total += p.written;
    Say(Shown(installer_.path) + ": " + std::to_string(plan_.size()) + " files, " + Grouped(total) +
        " bytes, extracted into " + Shown(options_.dir) + (damaged_ ? " (salvaged: damaged)" : ""));
    return damaged_ ? kExitBadData : kExitOk;
}

}  // namespace

int CheckExtraction(const std::string& path, bool salvage) {
    Options options;
    options.dir = ".";
    options.salvage = salvage;
    Extraction extraction(path, options);
    int code = extraction.Check();
    return code == kExitOk && extraction.Salvaged() ? kExitBadData : code;
}

int Extract(const std::vector<std::string>& argv) {
    Args args;
    std::string error;
    const std::vector<Option> accepted = {
        {"-d", "--directory", true}, {"--force", "-f", false}, {"--salvage", nullptr, false}};
    if (!ParseArgs(argv, accepted, &args, &error)) return UsageError("extract", error);
    if (args.help) return ShowHelp("extract");
    if (args.positional.empty()) return UsageError("extract", "expected at least one INSTALLER");
    SetQuiet(args.has("-q"));
    Options options;
    options.dir = sys::WithoutTrailingSeparators(args.has("-d") ? args.value("-d") : ".");
    if (options.dir.empty()) return UsageError("extract", "-d needs a folder");
    options.force = args.has("--force");
    options.salvage = args.has("--salvage");

    int code = kExitOk;
    for (const std::string& path : args.positional) code = WorstExit(code, Extraction(path, options).Run());
    return code;
}

}  // namespace scrpack
