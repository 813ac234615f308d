// scrpack extract: writes every entry of an installer where its stub would,
// below a folder that stands for the Windows directory.
//
// All or nothing: the installer is checked whole first (catalogue, names
// that clash, every compressed stream, every destination and every folder on
// the way), then each entry is written to a temporary file beside its
// destination, and only when all are complete are they put in place, as one
// step that is undone whole when any part of it fails or an interrupt comes
// (Output::CommitAll). A failure or an interrupt before that removes the
// temporary files and the folders this run created. Only a power cut or
// SIGKILL during the renames can leave a part, and then the rest stays
// under temporary names (.scrpack-*) beside it.
//
// Nothing is written outside the folder: names are built by the stub's own
// rules and their components checked; the folder (which the user may name
// through a link) is opened once, and every folder below it is opened from
// its parent, refusing a link at every level, and held until the end, so
// that whatever another process renames or swaps meanwhile, every file is
// made and renamed in the very folders that were checked. No destination
// may be an installer being read, with or without -f.
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
#include <map>
#include <set>

namespace scrpack {

namespace {

struct Options {
    std::string dir;  // stands for the Windows directory
    bool force = false;
    bool salvage = false;
    std::vector<sys::FileId> installers;  // every installer of the call: never a destination
    Selection* selection = nullptr;       // the entries -I picks; nullptr: every one
    Output* toStandardOutput = nullptr;   // -p: the entries' bytes go there, one after another
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
    size_t folder = 0;                    // where it goes, in Extraction::folders_
};

// A folder of the extraction: dir, those below it on the way to a file, and
// when dir is missing, the folders above it that are to be made.
struct HeldFolder {
    std::unique_ptr<sys::Folder> folder;  // held from the check (or its making) to the end
    size_t parent;                        // in Extraction::folders_; itself for the first
    std::string name;                     // in the parent
    bool toMake;                          // missing at the check: made by Write
    sys::FileId id;                       // of the folder held
    std::string path;                     // for messages
};

void (*gEntryWritten)(int index) = nullptr;

class Extraction {
public:
    Extraction(const std::string& path, const Options& options) : path_(path), options_(options) {}
    int Run();
    int Check();
    bool Salvaged() const { return damaged_; }
    bool Listed() const { return !installer_.entries.empty(); }

private:
    int Read();
    int Plan();
    int CheckStreams();
    int CheckDestinations();
    int HoldDir();
    int HoldFolder(size_t parent, const std::string& name, size_t* at);
    int CheckDestination(const Planned& p);
    int MakeFolders();
    int CheckFoldersStayed();
    int CheckSpace();
    int Write();
    int WriteToStandardOutput();
    int WriteEntry(FILE* in, Planned& p, Output* out);
    int CopyStored(FILE* in, Planned& p, Output* out);
    int ExpandCompressed(FILE* in, Planned& p, Output* out);
    int WriteFailure(Output* out);
    uint32_t Available(const CatalogueEntry& e) const;
    uint64_t StoredToWrite() const;
    void Damaged(Planned& p, const std::string& what);

    const std::string path_;
    const Options& options_;
    InstallerFile installer_;
    std::vector<Planned> plan_;
    Progress* progress_ = nullptr;            // while the entries are written
    std::vector<HeldFolder> folders_;         // each after its parent; held until the extraction ends
    std::map<std::string, size_t> folderAt_;  // by the path below dir ("" for dir)
    bool damaged_ = false;                    // --salvage met damage
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
        if (options_.selection && !options_.selection->Picks(e)) continue;
        if (skipped.count(i)) continue;
        if (e.name.empty()) return Error(kExitUsage, CheckEntryName(installer_, e).message + "; nothing extracted");
        const CatalogueEntry& raw = e.raw;
        // Faulty entries reach here only with --salvage: ReadInstaller refuses them.
        if (e.fault == PACKAGE_ENTRY_OUTSIDE) {
            Warning(Shown(installer_.path) + ": entry " + std::to_string(e.index) + ": its " + Grouped(raw.storedSize) +
                    " stored bytes at offset " + Offset(raw.fileOffset) + " do not lie inside the file (" +
                    Grouped(installer_.fileSize) + " bytes); it is left out");
            damaged_ = true;
            continue;
        }
        if (e.fault == PACKAGE_BAD_EXTENSION) {
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
    uint64_t total = 0;
    for (const Planned& p : plan_)
        if (p.entry->compressed()) total += Available(p.entry->raw);
    Progress progress(Shown(installer_.path) + ": checking", total);
    for (Planned& p : plan_) {
        if (!p.entry->compressed()) continue;
        progress.Follow(in, p.entry->raw.fileOffset);
        Problem problem = CheckStream(in, installer_, *p.entry);
        progress.Unfollow(Available(p.entry->raw));
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

// dir, held; when it is missing, the deepest folder above it that exists
// is held instead (links followed: the user names these) and the rest is to
// be made.
int Extraction::HoldDir() {
    std::vector<std::string> missing;  // paths, the outermost first
    std::string at = options_.dir;
    for (; sys::NodeAt(at) == sys::Node::Missing; at = sys::FolderOf(at)) {
        missing.insert(missing.begin(), at);
        if (at == sys::FolderOf(at)) break;
    }
    if (sys::TargetAt(at) != sys::Node::Folder)
        return Error(kExitIo, Shown(at) + ": a file stands where a folder must go; nothing extracted");
    HeldFolder first{std::unique_ptr<sys::Folder>(new sys::Folder), 0, "", false, {}, at};
    if (!first.folder->Open(at) || !sys::FileIdOf(*first.folder, &first.id))
        return Error(kExitIo, Shown(at) + ": cannot open the folder: " + sys::ErrorText(sys::LastError()) +
                                  "; nothing extracted");
    folders_.push_back(std::move(first));
    for (const std::string& path : missing)
        folders_.push_back({std::unique_ptr<sys::Folder>(new sys::Folder),
                            folders_.size() - 1,
                            sys::LastComponent(path),
                            true,
                            {},
                            path});
    folderAt_[""] = folders_.size() - 1;
    return kExitOk;
}

// The folder `name` in folders_[parent], held or planned, at *at: it must be
// a folder and no link, or be missing and then made.
int Extraction::HoldFolder(size_t parent, const std::string& name, size_t* at) {
    const HeldFolder& above = folders_[parent];
    std::string path = sys::JoinPath(above.path, name);
    HeldFolder held{std::unique_ptr<sys::Folder>(new sys::Folder), parent, name, above.toMake, {}, path};
    const std::string link = Shown(installer_.path) + ": " + Shown(path) +
                             ": a symbolic link, which could lead outside " + Shown(options_.dir) +
                             "; links below it are not followed; nothing extracted";
    if (!held.toMake) {
        switch (sys::NodeIn(*above.folder, name)) {
        case sys::Node::Missing: held.toMake = true; break;
        case sys::Node::Folder: break;
        case sys::Node::Link: return Error(kExitIo, link);
        default: return Error(kExitIo, Shown(path) + ": a file stands where a folder must go; nothing extracted");
        }
    }
    if (!held.toMake && (!held.folder->OpenIn(*above.folder, name) || !sys::FileIdOf(*held.folder, &held.id))) {
        int error = sys::LastError();
        if (error == ELOOP) return Error(kExitIo, link);  // a link made meanwhile, or one only opening tells
        return Error(kExitIo,
                     Shown(path) + ": cannot open the folder: " + sys::ErrorText(error) + "; nothing extracted");
    }
    folders_.push_back(std::move(held));
    *at = folders_.size() - 1;
    return kExitOk;
}

// What stands at the destination now, in a folder that exists: nothing, or
// with -f a file that is no installer of this call.
int Extraction::CheckDestination(const Planned& p) {
    const sys::Folder& folder = *folders_[p.folder].folder;
    const std::string& name = p.components.back();
    sys::Node node = sys::NodeIn(folder, name);
    if (node == sys::Node::Missing) return kExitOk;
    if (node == sys::Node::Folder)
        return Error(kExitIo, Shown(installer_.path) + ": " + Shown(p.destination) +
                                  ": a folder stands where this file must go; nothing extracted");
    sys::FileId id;
    if (sys::FileIdIn(folder, name, &id))
        for (const sys::FileId& installer : options_.installers)
            if (id == installer)
                return Error(kExitUsage, Shown(installer_.path) + ": " + Shown(p.destination) +
                                             ": is an installer being extracted; nothing extracted "
                                             "(extract into another folder)");
    if (!options_.force)
        return Error(kExitUsage, Shown(installer_.path) + ": " + Shown(p.destination) +
                                     ": exists; nothing extracted (use -f to replace it)");
    return kExitOk;
}

int Extraction::CheckDestinations() {
    int code = HoldDir();
    if (code != kExitOk) return code;
    for (Planned& p : plan_) {
        size_t at = folderAt_[""];
        std::string below;
        for (size_t i = 0; i + 1 < p.components.size(); i++) {
            below += "/" + p.components[i];
            auto known = folderAt_.find(below);
            if (known != folderAt_.end()) {
                at = known->second;
                continue;
            }
            code = HoldFolder(at, p.components[i], &at);
            if (code != kExitOk) return code;
            folderAt_[below] = at;
        }
        p.folder = at;
        if (folders_[at].toMake) continue;  // a new folder holds nothing yet
        code = CheckDestination(p);
        if (code != kExitOk) return code;
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
    if (!out->OpenStaged(*folders_[p.folder].folder, p.components.back(), &error))
        return Error(kExitIo, error + "; nothing extracted");
    if (Available(p.entry->raw) > 0 && !SeekEntry(in, *p.entry))
        return Error(kExitIo, ReadFailure(installer_, *p.entry, errno) + "; nothing extracted");
    if (progress_) progress_->Follow(in, p.entry->raw.fileOffset);
    int code = p.entry->compressed() ? ExpandCompressed(in, p, out) : CopyStored(in, p, out);
    if (progress_) progress_->Unfollow(Available(p.entry->raw));
    if (code != kExitOk) return code;
    if (!out->Finish(&error)) return Error(kExitIo, error + "; nothing extracted");
    if (!p.damage.empty())
        Warning(p.damage + (p.size < p.entry->installedSize()
                                ? "; its first " + Grouped(p.size) + " bytes written, what its stored bytes can give"
                                : "; written as the decoder gives it"));
    return kExitOk;
}

// The folders missing at the check, each after its parent, held from now
// on and removed again by a failure or an interrupt.
int Extraction::MakeFolders() {
    for (HeldFolder& held : folders_) {
        if (!held.toMake) continue;
        const sys::Folder& parent = *folders_[held.parent].folder;
        if (held.folder->MakeIn(parent, held.name)) {
            NoteCreatedFolder(held.folder.get());
            if (sys::FileIdOf(*held.folder, &held.id)) continue;
        }
        int error = sys::LastError();
        if (error == EEXIST && held.folder->OpenIn(parent, held.name) && sys::FileIdOf(*held.folder, &held.id))
            continue;  // made meanwhile, by another
        RemoveCreatedFolders();
        return Error(kExitIo,
                     Shown(held.path) + ": cannot create the folder: " + sys::ErrorText(error) + "; nothing extracted");
    }
    return kExitOk;
}

// Each folder held still stands under its name: one renamed away meanwhile
// (on systems that allow it while it is held) would take the files with it,
// out of dir.
int Extraction::CheckFoldersStayed() {
    for (size_t i = 1; i < folders_.size(); i++) {
        const HeldFolder& held = folders_[i];
        sys::FileId id;
        if (!sys::FileIdIn(*folders_[held.parent].folder, held.name, &id) || !(id == held.id))
            return Error(kExitIo, Shown(held.path) + ": was moved or replaced while extracting; nothing extracted");
    }
    return kExitOk;
}

int Extraction::Write() {
    WatchInterrupts();  // before the first folder or file is made
    int code = MakeFolders();
    if (code != kExitOk) return code;
    errno = 0;
    FILE* in = StreamOpen(installer_.path.c_str(), "rb");
    if (!in) {
        int error = errno;
        RemoveCreatedFolders();
        return Error(kExitIo, Shown(installer_.path) + ": cannot open it: " + sys::ErrorText(error));
    }
    std::vector<std::unique_ptr<Output>> outputs;
    {
        Progress progress(Shown(installer_.path) + ": extracting", StoredToWrite());
        progress_ = &progress;
        for (Planned& p : plan_) {
            outputs.emplace_back(new Output);
            code = WriteEntry(in, p, outputs.back().get());
            if (code != kExitOk) break;
            if (gEntryWritten) gEntryWritten(p.entry->index);
        }
        progress_ = nullptr;
    }
    StreamClose(in);
    if (code == kExitOk) code = CheckFoldersStayed();
    if (code == kExitOk) {
        std::vector<Output*> all;
        for (auto& out : outputs) all.push_back(out.get());
        std::string error;
        if (!Output::CommitAll(all, options_.force, &error)) code = Error(kExitIo, error + "; nothing extracted");
    }
    if (code != kExitOk) {
        outputs.clear();  // removes every temporary file not yet in place
        RemoveCreatedFolders();
        return code;
    }
    for (const Planned& p : plan_)  // what is in place now
        Say("  [" + std::to_string(p.entry->index) + "] " + Shown(p.relative) + ": " + Grouped(p.written) + " bytes (" +
            (p.entry->compressed() ? "expanded" : "stored") + ")");
    return kExitOk;
}

// The stored bytes the planned entries take from the installer.
uint64_t Extraction::StoredToWrite() const {
    uint64_t total = 0;
    for (const Planned& p : plan_) total += Available(p.entry->raw);
    return total;
}

// -p: every planned entry's bytes, in order, to standard output; what was
// said of damage goes to standard error, as everything else does.
int Extraction::WriteToStandardOutput() {
    errno = 0;
    FILE* in = StreamOpen(installer_.path.c_str(), "rb");
    if (!in) return Error(kExitIo, Shown(installer_.path) + ": cannot open it: " + sys::ErrorText(errno));
    int code = kExitOk;
    Output* out = options_.toStandardOutput;
    Progress progress(Shown(installer_.path) + ": extracting", StoredToWrite());
    for (Planned& p : plan_) {
        if (Available(p.entry->raw) > 0 && !SeekEntry(in, *p.entry)) {
            code = Error(kExitIo, ReadFailure(installer_, *p.entry, errno));
            break;
        }
        progress.Follow(in, p.entry->raw.fileOffset);
        code = p.entry->compressed() ? ExpandCompressed(in, p, out) : CopyStored(in, p, out);
        progress.Unfollow(Available(p.entry->raw));
        if (code != kExitOk) break;
        if (!p.damage.empty()) Warning(p.damage + "; written as the decoder gives it");
    }
    StreamClose(in);
    return code;
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
    if (code == kExitOk && options_.toStandardOutput) {
        code = WriteToStandardOutput();
        if (code != kExitOk) return code;
        uint64_t total = 0;
        for (const Planned& p : plan_) total += p.written;
        if (!Quiet())
            std::fprintf(stderr, "%s: %zu %s, %s bytes, written to standard output%s\n", Shown(installer_.path).c_str(),
                         plan_.size(), plan_.size() == 1 ? "file" : "files", Grouped(total).c_str(),
                         damaged_ ? " (salvaged: damaged)" : "");
        return damaged_ ? kExitBadData : kExitOk;
    }
    if (code == kExitOk) code = CheckDestinations();
    if (code == kExitOk) code = CheckSpace();
    if (code == kExitOk) code = Write();
    if (code != kExitOk) return code;
    uint64_t total = 0;
    for (const Planned& p : plan_) total += p.written;
    Say(Shown(installer_.path) + ": " + std::to_string(plan_.size()) + (plan_.size() == 1 ? " file, " : " files, ") +
        Grouped(total) + " bytes, extracted into " + Shown(options_.dir) + (damaged_ ? " (salvaged: damaged)" : ""));
    return damaged_ ? kExitBadData : kExitOk;
}

}  // namespace

void SetExtractHook(void (*entryWritten)(int index)) {
    gEntryWritten = entryWritten;
}

int CheckExtraction(const std::string& path, bool salvage) {
    Options options;
    options.dir = ".";
    options.salvage = salvage;
    Extraction extraction(path, options);
    int code = extraction.Check();
    return code == kExitOk && extraction.Salvaged() ? kExitBadData : code;
}

int Extract(const Args& args) {
    if (args.positional.empty()) return UsageError("extract", "expected at least one INSTALLER");
    Options options;
    options.dir = sys::WithoutTrailingSeparators(args.has("directory") ? args.value("directory") : ".");
    if (options.dir.empty()) return UsageError("extract", "-d needs a folder");
    if (args.has("directory") && args.has("stdout")) return UsageError("extract", "-d and -p exclude each other");
    options.force = args.has("force");
    options.salvage = args.has("salvage");
    for (const std::string& path : args.positional) {
        sys::FileId id;
        if (sys::FileIdOf(path, &id)) options.installers.push_back(id);
    }
    Selection selection(args.values("include"));
    options.selection = &selection;
    Output standardOutput;
    if (args.has("stdout")) {
        std::string error;
        int code = kExitOk;
        if (!standardOutput.Open("-", options.force, {}, options.force, &error, &code))
            return UsageError("extract", error);
        options.toStandardOutput = &standardOutput;
    }

    int code = kExitOk;
    for (const std::string& path : args.positional) {
        Extraction extraction(path, options);
        code = WorstExit(code, extraction.Run());
        InstallerFile named;
        named.path = path;
        if (extraction.Listed()) code = WorstExit(code, selection.ReportUnmatched(named));
    }
    std::string error;
    if (options.toStandardOutput && !standardOutput.Commit(&error)) code = WorstExit(code, Error(kExitIo, error));
    return code;
}

}  // namespace scrpack
