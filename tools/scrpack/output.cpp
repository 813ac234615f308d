// Outputs through temporary files, and the list an interrupt clears (see
// output.h).
#include "tools/scrpack/output.h"

#include "platform/streams.h"
#include "tools/scrpack/cli.h"
#include "tools/scrpack/system.h"

#include <cerrno>
#include <set>

namespace scrpack {

namespace {

// A temporary file: its folder (held while it is listed) and its name there.
struct Temporary {
    const sys::Folder* folder;
    std::string name;
    bool operator<(const Temporary& o) const { return folder != o.folder ? folder < o.folder : name < o.name; }
};

// What an interrupt removes: temporary files, then created folders, newest
// first. Changed only while interrupts are held. A set: forgetting one of a
// hundred thousand costs no scan.
std::set<Temporary>& Temporaries() {
    static std::set<Temporary> files;
    return files;
}
std::vector<sys::Folder*>& CreatedFolders() {
    static std::vector<sys::Folder*> folders;
    return folders;
}

void ClearAll() {
    for (const Temporary& t : Temporaries()) sys::RemoveFileIn(*t.folder, t.name);
    const std::vector<sys::Folder*>& folders = CreatedFolders();
    for (size_t i = folders.size(); i-- > 0;) folders[i]->Remove();
}

std::string Reason() {
    return sys::ErrorText(sys::LastError());
}

}  // namespace

void WatchInterrupts() {
    static bool watching = false;  // once: every output of an extraction arms it
    if (watching) return;
    sys::OnInterrupt(ClearAll);
    watching = true;
}

void NoteCreatedFolder(sys::Folder* folder) {
    sys::HoldInterrupts();
    CreatedFolders().push_back(folder);
    sys::ReleaseInterrupts();
}

void RemoveCreatedFolders() {
    sys::HoldInterrupts();
    std::vector<sys::Folder*>& folders = CreatedFolders();
    for (size_t i = folders.size(); i-- > 0;) folders[i]->Remove();
    folders.clear();
    sys::ReleaseInterrupts();
}

void KeepCreatedFolders() {
    sys::HoldInterrupts();
    CreatedFolders().clear();
    sys::ReleaseInterrupts();
}

Output::~Output() {
    Discard();
}

// The temporary file is no longer this output's: renamed, or removed.
void Output::Forget() {
    sys::HoldInterrupts();
    Temporaries().erase({folder_, temporary_});
    temporary_.clear();
    sys::ReleaseInterrupts();
}

void Output::Discard() {
    if (stream_ && kind_ != Kind::StandardOutput) StreamClose(stream_);
    stream_ = nullptr;
    if (!temporary_.empty()) {
        sys::RemoveFileIn(*folder_, temporary_);
        Forget();
    }
    kind_ = Kind::None;
}

bool Output::Stage(const sys::Folder& folder, const std::string& name, std::string* error) {
    WatchInterrupts();  // before the file exists
    folder_ = &folder;
    name_ = name;
    destination_ = sys::JoinPath(folder.path(), name);
    sys::HoldInterrupts();  // the file and its place on the list come together
    stream_ = sys::CreateTempFileIn(folder, &temporary_);
    int failure = sys::LastError();
    if (stream_) Temporaries().insert({folder_, temporary_});
    sys::ReleaseInterrupts();
    if (!stream_) {
        temporary_.clear();
        *error = Shown(folder.path()) + ": cannot create a temporary file there: " + sys::ErrorText(failure);
        return false;
    }
    kind_ = Kind::Staged;
    return true;
}

bool Output::OpenStaged(const sys::Folder& folder, const std::string& name, std::string* error) {
    return Stage(folder, name, error);
}

bool Output::Open(const std::string& path, bool force, const std::vector<std::string>& inputs, bool toTerminalOk,
                  std::string* error, int* exitCode) {
    *exitCode = kExitUsage;  // until it is open; refusals are usage errors
    destination_ = path;
    if (path == "-") {
        if (!toTerminalOk && sys::IsTerminal(stdout)) {
            *error = "standard output is a terminal; binary data is not written there (use -f to force)";
            return false;
        }
        sys::UseBinary(stdout);
        stream_ = stdout;
        kind_ = Kind::StandardOutput;
        *exitCode = kExitOk;
        return true;
    }
    for (const std::string& input : inputs) {
        if (input != "-" && sys::SameFile(input, path)) {
            *error = Shown(path) + ": is also an input (" + Shown(input) + "); write the output elsewhere";
            return false;
        }
    }
    switch (sys::NodeAt(path)) {
    case sys::Node::Missing: break;
    case sys::Node::Folder: *error = Shown(path) + ": is a folder"; return false;
    case sys::Node::File:
    case sys::Node::Link:
        if (!force) {
            *error = Shown(path) + ": exists; use -f to replace it";
            return false;
        }
        break;
    case sys::Node::Other:  // a device, a FIFO, a socket: written to, never replaced
        errno = 0;
        stream_ = StreamOpen(path.c_str(), "wb");
        if (!stream_) {
            *error = Shown(path) + ": cannot open it for writing: " + Reason();
            *exitCode = kExitIo;
            return false;
        }
        kind_ = Kind::InPlace;
        *exitCode = kExitOk;
        return true;
    }
    *exitCode = kExitIo;
    own_.reset(new sys::Folder);
    if (!own_->Open(sys::FolderOf(path))) {
        *error = Shown(sys::FolderOf(path)) + ": cannot open the folder: " + Reason();
        return false;
    }
    if (!Stage(*own_, sys::LastComponent(path), error)) return false;
    destination_ = path;
    *exitCode = kExitOk;
    return true;
}

bool Output::Write(const void* bytes, size_t count) {
    if (writeError_) return false;
    errno = 0;
    if (StreamWrite(bytes, 1, count, stream_) == count) return true;
    NoteWriteFailure();
    return false;
}

void Output::NoteWriteFailure() {
    if (!writeError_) writeError_ = sys::LastError() ? sys::LastError() : EIO;
}

bool Output::Finish(std::string* error) {
    if (!stream_) return kind_ == Kind::Staged;  // finished already
    errno = 0;
    bool written = !ferror(stream_) && !writeError_;
    bool closed = kind_ == Kind::StandardOutput ? fflush(stream_) == 0 : StreamClose(stream_) == 0;
    int failure = writeError_ ? writeError_ : sys::LastError();
    stream_ = nullptr;
    if (written && closed) return true;
    *error = Shown(destination_) + ": cannot write it: " + sys::ErrorText(failure ? failure : EIO);
    Discard();
    return false;
}

bool Output::Replace(std::string* error) {
    if (kind_ != Kind::Staged) return true;
    sys::HoldInterrupts();  // renamed, or still on the list
    bool moved = sys::RenameIn(*folder_, temporary_, name_);
    int failure = sys::LastError();
    if (moved) Forget();
    sys::ReleaseInterrupts();
    if (!moved) {
        *error = Shown(destination_) + ": cannot put the new file in place: " + sys::ErrorText(failure);
        Discard();
        return false;
    }
    kind_ = Kind::None;
    return true;
}

bool Output::Commit(std::string* error) {
    return Finish(error) && Replace(error);
}

namespace {

// One output's part of a commit, to undo it.
struct Placing {
    Output* out;
    std::string aside;    // the old file's temporary name; "" when there was none
    bool placed = false;  // the new file is at the destination
};

}  // namespace

bool Output::CommitAll(const std::vector<Output*>& outputs, bool replace, std::string* error) {
    sys::HoldInterrupts();  // an interrupt waits until all is in place or all is undone
    std::vector<Placing> steps;
    steps.reserve(outputs.size());
    bool failed = false;
    for (Output* out : outputs) {
        if (out->kind_ != Kind::Staged) continue;
        steps.push_back({out, "", false});
        Placing& step = steps.back();
        const sys::Folder& folder = *out->folder_;
        sys::Node node = sys::NodeIn(folder, out->name_);
        if (node == sys::Node::Folder) {
            *error = Shown(out->destination_) + ": a folder stands where this file must go";
        } else if (node != sys::Node::Missing && !replace) {
            *error = Shown(out->destination_) + ": exists now (made meanwhile); use -f to replace it";
        } else if (node != sys::Node::Missing && !sys::MoveAsideIn(folder, out->name_, &step.aside)) {
            *error = Shown(out->destination_) + ": cannot move the old file aside: " + Reason();
        } else if (!sys::RenameIn(folder, out->temporary_, out->name_)) {
            *error = Shown(out->destination_) + ": cannot put the new file in place: " + Reason();
        } else {
            step.placed = true;
            continue;
        }
        failed = true;
        break;
    }
    if (!failed && sys::InterruptPending()) {
        failed = true;  // the interrupt goes on once all is undone
        *error = "interrupted";
    }
    if (failed) {
        // Newest first: each new file out, its old one back.
        std::string kept;
        for (size_t i = steps.size(); i-- > 0;) {
            Placing& step = steps[i];
            const sys::Folder& folder = *step.out->folder_;
            const std::string& name = step.out->name_;
            bool undone = true;
            if (!step.aside.empty())
                undone = sys::RenameIn(folder, step.aside, name);  // over the new file, if placed
            else if (step.placed)
                undone = sys::RemoveFileIn(folder, name);
            if (!undone && !step.aside.empty())
                kept += "; the old " + Shown(step.out->destination_) + " is kept as " +
                        Shown(sys::JoinPath(folder.path(), step.aside)) + ": " + Reason();
            else if (!undone)
                kept += "; " + Shown(step.out->destination_) + " could not be taken out again: " + Reason();
            if (step.placed) step.out->Forget();
        }
        *error += kept;
    } else {
        for (Placing& step : steps) {
            if (!step.aside.empty()) sys::RemoveFileIn(*step.out->folder_, step.aside);
            step.out->Forget();
            step.out->kind_ = Kind::None;
        }
        KeepCreatedFolders();
    }
    sys::ReleaseInterrupts();
    return !failed;
}

bool SpooledInput::Open(uint64_t limit, const char* limitText, std::string* error, int* exitCode) {
    *exitCode = kExitIo;
    if (!folder_.Open(sys::TempFolder())) {
        *error = Shown(sys::TempFolder()) + ": cannot open the folder: " + Reason();
        return false;
    }
    if (!file_.OpenStaged(folder_, "standard input", error)) return false;
    path_ = file_.temporaryPath();
    ShowAs(path_, "standard input");
    sys::UseBinary(stdin);
    std::vector<uint8_t> chunk(1 << 16);
    for (uint64_t size = 0;;) {
        errno = 0;
        size_t got = StreamRead(chunk.data(), 1, chunk.size(), stdin);
        int failure = errno;
        if (got > limit - size) {
            *error = "standard input: " + std::string(limitText);
            *exitCode = kExitBadData;
            return false;
        }
        size += got;
        if (got && !file_.Write(chunk.data(), got)) break;  // said by Finish
        if (got == chunk.size()) continue;
        if (!feof(stdin)) {
            *error = "standard input: cannot read it: " + sys::ErrorText(failure ? failure : EIO);
            return false;
        }
        break;
    }
    if (!file_.Finish(error)) return false;
    file_.Reopen();
    return true;
}

SpooledInput::~SpooledInput() {
    if (!path_.empty()) ShowAs(path_, "");
}

}  // namespace scrpack
