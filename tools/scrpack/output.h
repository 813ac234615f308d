// Where scrpack writes, and how nothing is lost or left behind.
//
// An output is written under a temporary name in its destination's folder
// and moved over the destination in one step once it is complete, so the
// old file stays as it was until then. Every temporary file and every folder
// scrpack creates is on one list that an interrupt (SIGINT, SIGTERM, SIGHUP)
// clears before the process ends, so nothing partial survives.
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

#include <cstdio>
#include <string>
#include <vector>

namespace scrpack {

// Makes interrupts clear the list of temporary files and created folders.
void WatchInterrupts();

// Registers a folder scrpack created, so that an interrupt removes it again
// (when empty); RemoveCreatedFolders does the same on a failure.
void NoteCreatedFolder(const std::string& path);
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
    // A temporary file for `destination` in `folder` (extract: the caller
    // has decided about the destination already).
    bool OpenStaged(const std::string& destination, std::string* error);

    FILE* stream() { return stream_; }
    // Writes through the stream; a failure is kept, with its reason, for
    // Finish to report.
    bool Write(const void* bytes, size_t count);
    // A write made elsewhere (the decoder's) failed just now.
    void NoteWriteFailure();
    const std::string& path() const { return destination_; }
    bool toStandardOutput() const { return kind_ == Kind::StandardOutput; }

    // Closes the stream and checks that every byte reached the system.
    bool Finish(std::string* error);
    // Moves a finished temporary file over the destination (nothing to do
    // for the other kinds).
    bool Replace(std::string* error);
    // Finish, then Replace.
    bool Commit(std::string* error);

private:
    enum class Kind { None, Staged, InPlace, StandardOutput };
    bool Stage(const std::string& destination, std::string* error);
    void Discard();

    Kind kind_ = Kind::None;
    FILE* stream_ = nullptr;
    int writeError_ = 0;  // the reason of the first failed write; 0 while none failed
    std::string destination_, temporary_;
};

}  // namespace scrpack

#endif
