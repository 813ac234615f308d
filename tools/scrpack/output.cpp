// Outputs through temporary files, and the list an interrupt clears (see
// output.h).
#include "tools/scrpack/output.h"

#include "platform/streams.h"
#include "tools/scrpack/cli.h"
#include "tools/scrpack/system.h"

#include <cerrno>

namespace scrpack {

namespace {

// What an interrupt removes: temporary files, then created folders, newest
// first. Changed only while interrupts are held.
std::vector<std::string>& Temporaries() {
    static std::vector<std::string> files;
    return files;
}
std::vector<std::string>& CreatedFolders() {
    static std::vector<std::string> folders;
    return folders;
}

void ClearAll() {
    for (const std::string& file : Temporaries()) sys::RemoveFile(file);
    const std::vector<std::string>& folders = CreatedFolders();
    for (size_t i = folders.size(); i-- > 0;) sys::RemoveFolder(folders[i]);
}

void Note(std::vector<std::string>* list, const std::string& path) {
    sys::HoldInterrupts();
    list->push_back(path);
    sys::ReleaseInterrupts();
}

void Forget(std::vector<std::string>* list, const std::string& path) {
    sys::HoldInterrupts();
    for (size_t i = list->size(); i-- > 0;) {
        if ((*list)[i] == path) {
            list->erase(list->begin() + long(i));
            break;
        }
    }
    sys::ReleaseInterrupts();
}

std::string Reason() {
    return sys::ErrorText(sys::LastError());
}

}  // namespace

void WatchInterrupts() {
    sys::OnInterrupt(ClearAll);
}

void NoteCreatedFolder(const std::string& path) {
    Note(&CreatedFolders(), path);
}

void RemoveCreatedFolders() {
    sys::HoldInterrupts();
    std::vector<std::string>& folders = CreatedFolders();
    for (size_t i = folders.size(); i-- > 0;) sys::RemoveFolder(folders[i]);
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

void Output::Discard() {
    if (stream_ && kind_ != Kind::StandardOutput) StreamClose(stream_);
    stream_ = nullptr;
    if (!temporary_.empty()) {
        sys::RemoveFile(temporary_);
        Forget(&Temporaries(), temporary_);
        temporary_.clear();
    }
    kind_ = Kind::None;
}

bool Output::Stage(const std::string& destination, std::string* error) {
    destination_ = destination;
    sys::HoldInterrupts();  // the file and its place on the list come together
    stream_ = sys::CreateTempFile(sys::FolderOf(destination), &temporary_);
    int failure = sys::LastError();
    if (stream_) Temporaries().push_back(temporary_);
    sys::ReleaseInterrupts();
    if (!stream_) {
        *error =
            Shown(sys::FolderOf(destination)) + ": cannot create a temporary file there: " + sys::ErrorText(failure);
        return false;
    }
    kind_ = Kind::Staged;
    return true;
}

bool Output::OpenStaged(const std::string& destination, std::string* error) {
    return Stage(destination, error);
}

bool Output::Open(const std::string& path, bool force, const std::vector<std::string>& inputs, bool toTerminalOk,
                  std::string* error, int* exitCode) {
    *exitCode = kExitUsage;  // until it is open; refusals are usage errors
    destination_ = path;
    if (path == "-") {
        if (!toTerminalOk && sys::IsTerminal(stdout)) {
            *error = "standard output is a terminal; compressed bytes are not written there (use -f to force)";
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
    if (!Stage(path, error)) return false;
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
    if (!sys::ReplaceFile(temporary_, destination_)) {
        *error = Shown(destination_) + ": cannot put the new file in place: " + Reason();
        Discard();
        return false;
    }
    Forget(&Temporaries(), temporary_);
    temporary_.clear();
    kind_ = Kind::None;
    return true;
}

bool Output::Commit(std::string* error) {
    return Finish(error) && Replace(error);
}

}  // namespace scrpack
