// Where scrpack writes, and how nothing is lost or left behind.
//
// An output is written under a temporary name in its destination's folder
// and moved over the destination in one step once it is complete, so the
// old file stays as it was until then. The folder is held open from before
// the temporary file is made until the output is done (see sys::Folder).
// Every temporary file and every folder scrpack creates is on one list that
// an interrupt (SIGINT, SIGTERM, SIGHUP, SIGPIPE) clears before the process
// ends, so nothing partial survives; the list is watched before anything is
// on it.
//
// The rules of an output path (compress, expand, pack -o):
//   "-"                    standard output (compressed bytes never to a terminal without -f)
//   a missing name         written through a temporary file
//   an existing file       replaced only with -f; never the input itself, even with -f
//   a symbolic link        replaced as a link (its target untouched), only with -f
//   a device, a FIFO, ...  written in place, never replaced
//   a folder               refused
#ifndef TOOLS_SCRPACK_OUTPUT_H
#define TOOLS_SCRPACK_OUTPUT_H

#include "tools/scrpack/system.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace scrpack {

// Makes interrupts clear the list of temporary files and created folders.
void WatchInterrupts();

// Registers a folder scrpack created (it stays held until it is removed or
// the run ends), so that an interrupt removes it again (when empty);
// RemoveCreatedFolders does the same on a failure.
void NoteCreatedFolder(sys::Folder* folder);
void RemoveCreatedFolders();
// Forgets the created folders: they hold finished files now.
void KeepCreatedFolders();

// One output file.
class Output {
public:
    Output() = default;
    ~Output();  // an output never committed is removed (its temporary file)
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // Opens `path` by the rules above. `inputs` are the paths the action
    // reads (refused as outputs); `toTerminalOk` allows standard output on a
    // terminal. False with *error ("PATH: what is wrong") and *exitCode.
    bool Open(const std::string& path, bool force, const std::vector<std::string>& inputs, bool toTerminalOk,
              std::string* error, int* exitCode);
    // A temporary file for `name` in `folder`, which the caller holds for
    // longer than the output (extract: the caller has decided about the
    // destination already).
    bool OpenStaged(const sys::Folder& folder, const std::string& name, std::string* error);

    FILE* stream() { return stream_; }
    // Writes through the stream; a failure is kept, with its reason, for
    // Finish to report.
    bool Write(const void* bytes, size_t count);
    // A write made elsewhere (the decoder's) failed just now.
    void NoteWriteFailure();
    const std::string& path() const { return destination_; }
    bool toStandardOutput() const { return kind_ == Kind::StandardOutput; }
    // A finished staged output, to be read again by its path before it is
    // put in place or removed (sys::ReopenTemporaryIn).
    void Reopen() {
        if (!temporary_.empty()) sys::ReopenTemporaryIn(*folder_, temporary_);
    }
    // Where a staged output is written until it is put in place.
    std::string temporaryPath() const { return temporary_.empty() ? "" : sys::JoinPath(folder_->path(), temporary_); }

    // Closes the stream and checks that every byte reached the system.
    bool Finish(std::string* error);
    // Moves a finished temporary file over the destination (nothing to do
    // for the other kinds).
    bool Replace(std::string* error);
    // Finish, then Replace.
    bool Commit(std::string* error);

    // Puts every finished output in place, all or nothing: an existing file
    // is first moved aside under a temporary name, then the new one renamed
    // in. Without `replace`, an existing file is a failure. When a step
    // fails, or an interrupt comes meanwhile (it waits until all is undone),
    // every new file is taken out again and every old one put back; the old
    // ones are deleted only once all new ones are in place, and then the
    // created folders are kept. False with *error (nothing in place).
    static bool CommitAll(const std::vector<Output*>& outputs, bool replace, std::string* error);

private:
    enum class Kind { None, Staged, InPlace, StandardOutput };
    bool Stage(const sys::Folder& folder, const std::string& name, std::string* error);
    void Forget();
    void Discard();

    Kind kind_ = Kind::None;
    FILE* stream_ = nullptr;
    int writeError_ = 0;                   // the reason of the first failed write; 0 while none failed
    std::string destination_;              // as messages name it
    std::unique_ptr<sys::Folder> own_;     // the destination's folder, when this output opened it
    const sys::Folder* folder_ = nullptr;  // the destination's folder, held
    std::string name_;                     // the destination's name in it
    std::string temporary_;                // the temporary file's name in it; "" when none
};

// Standard input kept in a temporary file in the system's folder for them,
// for actions that read an installer by its path, as its stub reads itself;
// shown as "standard input" in every message, and removed when this goes
// out of scope, or by an interrupt.
class SpooledInput {
public:
    // Takes standard input to its end, no more than `limit` bytes (more is
    // refused, naming `limitText`). False with *error and *exitCode.
    bool Open(uint64_t limit, const char* limitText, std::string* error, int* exitCode);
    const std::string& path() const { return path_; }
    ~SpooledInput();

private:
    sys::Folder folder_;
    Output file_;
    std::string path_;  // of the temporary file
};

}  // namespace scrpack

#endif
