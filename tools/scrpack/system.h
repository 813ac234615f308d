// What scrpack needs of the system beyond the file calls the stub's code
// makes: what stands at a path, folders, temporary files and their atomic
// replace, interrupts, terminals, text. One implementation per system, chosen
// at link time: system_posix.cpp, system_windows.cpp.
//
// Paths and arguments are host text, taken and handed on as the system gives
// them: UTF-8 by convention on POSIX systems; on Windows, the ANSI code page,
// in which the installer itself names its files (it makes the same ANSI file
// calls). scrpack shows and stores text as UTF-8 and converts at the edges
// (Utf8FromHost and the ANSI pair below).
//
// Every call that can fail says so in its result and leaves the system's
// reason for ErrorText(LastError()).
#ifndef TOOLS_SCRPACK_SYSTEM_H
#define TOOLS_SCRPACK_SYSTEM_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace scrpack {
namespace sys {

// What stands at a path; a symbolic link is not followed.
enum class Node { Missing, File, Folder, Link, Other };
Node NodeAt(const std::string& path);
// The same, links followed: what reading the path would open.
Node TargetAt(const std::string& path);
// Size of the file at `path` (links followed); false when it cannot be had.
bool FileSize(const std::string& path, uint64_t* size);
// The bytes the caller may still write on the file system that holds the
// existing folder `folder`; false when the system cannot say.
bool FreeSpace(const std::string& folder, uint64_t* bytes);
// Both paths name one existing file (links followed).
bool SameFile(const std::string& a, const std::string& b);
// The path with every link and "." / ".." resolved; "" when it cannot be.
std::string RealPath(const std::string& path);

// The last component's folder ("." for a bare name; a root is its own
// folder) and joining with the system's separator.
std::string FolderOf(const std::string& path);
std::string JoinPath(const std::string& folder, const std::string& name);
// Where an installer's own name starts: after the last separator.
std::string LastComponent(const std::string& path);
// The path without separators at its end, unless they are its root ("/",
// "C:\"), which would then name another folder.
std::string WithoutTrailingSeparators(const std::string& path);

// --- Folders held while scrpack writes in them ------------------------------
// A folder is opened once, before anything is written in it; every file is
// then made, renamed, looked at and removed through the held folder, never
// again through its path, so that a folder swapped for a link meanwhile (its
// own name or one above it) leads nowhere else. POSIX systems hold a
// descriptor; Windows holds a handle that lets no one rename or delete the
// folder while it is held.
class Folder {
public:
    Folder() = default;
    ~Folder() { Close(); }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    // A folder the user named: links followed.
    bool Open(const std::string& path);
    // `name` in `parent`; refused when it is a link or not a folder (on
    // Windows: any reparse point, and a folder whose final path is not
    // directly in its parent's), failing with ELOOP or ENOTDIR.
    bool OpenIn(const Folder& parent, const std::string& name);
    // Makes `name` in `parent` and holds it; fails when it exists.
    bool MakeIn(const Folder& parent, const std::string& name);
    // Removes a folder made by MakeIn, when it is empty, and lets it go.
    // Safe in an interrupt's cleanup; `parent` must still be held.
    bool Remove();
    void Close();

    const std::string& path() const { return path_; }  // for messages
    intptr_t handle() const { return handle_; }

private:
    intptr_t handle_ = -1;  // a descriptor or a HANDLE; -1 (also INVALID_HANDLE_VALUE) while none
    intptr_t parent_ = -1;  // the parent's, borrowed: where a made folder is removed from
    std::string name_;      // in the parent
    std::string path_;      // the folder's path as given or joined
};

// One file on one volume, links not followed unless said.
struct FileId {
    uint64_t volume = 0, file = 0;
    bool operator==(const FileId& o) const { return volume == o.volume && file == o.file; }
};
bool FileIdOf(const std::string& path, FileId* id);  // links followed
bool FileIdOf(const Folder& folder, FileId* id);
bool FileIdIn(const Folder& folder, const std::string& name, FileId* id);

// What stands at `name` in `folder`; a link is not followed.
Node NodeIn(const Folder& folder, const std::string& name);
// A new file of a name no one else has, in `folder`, open for writing, with
// the permissions an ordinary new file gets; its name in *name. An interrupt
// removes it (RemoveFileIn) until it is renamed.
FILE* CreateTempFileIn(const Folder& folder, std::string* name);
// Moves `from` over `to` in one step: `to` is the old file or the new one,
// never a mixture. A link at `to` is replaced, its target untouched.
bool RenameIn(const Folder& folder, const std::string& from, const std::string& to);
// Moves `name` to a new name no one else has, in the same folder; the name
// in *aside. Call it with interrupts held: nothing would remove the file.
bool MoveAsideIn(const Folder& folder, const std::string& name, std::string* aside);
// A complete file from CreateTempFileIn that is to be opened again by its
// path. On Windows the handle that lets an interrupt delete it is let go of,
// as it would keep every other open out: an interrupt while the file is read
// leaves it (.scrpack-*); RemoveFileIn still removes it.
void ReopenTemporaryIn(const Folder& folder, const std::string& name);
// Safe in an interrupt's cleanup for a file from CreateTempFileIn.
bool RemoveFileIn(const Folder& folder, const std::string& name);

// A new file open for reading and writing in the system's folder for
// temporary files, which the system removes when it is closed or the
// process ends, however it ends.
FILE* OpenScratchFile();
// The system's folder for temporary files.
std::string TempFolder();
// A stream that takes every byte and keeps none.
FILE* OpenNullSink();
// Standard input or output carrying binary bytes unchanged.
void UseBinary(FILE* stream);
bool IsTerminal(FILE* stream);
// What the program sets up once, first: the terminal shows the UTF-8 that
// scrpack writes for as long as it runs, and an interrupt ends the process
// with the same code whenever it comes (see OnInterrupt).
void PrepareProcess();

// Milliseconds from some fixed moment, never going back.
uint64_t Milliseconds();

// A thread that calls tick(context) every `ms` milliseconds until Stop, for
// progress shown while the work goes on. Lock and Unlock exclude a tick, so
// that what it reads is not changed under it. Interrupts are never taken on
// that thread.
class Ticker {
public:
    Ticker() = default;
    ~Ticker() { Stop(); }
    Ticker(const Ticker&) = delete;
    Ticker& operator=(const Ticker&) = delete;
    bool Start(void (*tick)(void*), void* context, unsigned ms);
    // Waits for a tick under way; no tick comes after it.
    void Stop();
    void Lock();
    void Unlock();

    struct State;  // the system's

private:
    State* state_ = nullptr;
};

// The environment variable's value, or "" when it is not set.
std::string Environment(const char* name);
// Where pack looks for the stub file `stubName` (res/languages.h: stub.exe,
// stub-de.exe ...) after --stub and the environment variable (kStubVariable,
// as the system's shell writes it), in order.
std::vector<std::string> StubPlaces(const std::string& stubName);
extern const char* const kStubVariable;

// Host text as UTF-8 (what scrpack shows); bytes it cannot convert are kept
// as they are, and shown escaped.
std::string Utf8FromHost(const std::string& host);
// An installer's ANSI bytes (an extension) as the host names a file with
// them, and a host name as the installer would see it in ANSI (false when it
// has no such name). POSIX systems take ANSI as Windows-1252.
std::string HostFromAnsi(const std::string& ansi);
bool AnsiFromHost(const std::string& host, std::string* ansi);

int LastError();
std::string ErrorText(int error);

// From now on an interrupt calls `cleanup` and ends the process: SIGINT,
// SIGTERM, SIGHUP and SIGPIPE with 128 + the signal's number (SIGPIPE: 141,
// silently, as a reader that went away expects); on Windows Ctrl+C and
// Ctrl+Break with 130, the console closed with 129, logging off or shutting
// down with 143. `cleanup` may only call RemoveFileIn and Folder::Remove,
// which are safe then.
void OnInterrupt(void (*cleanup)());
// While held, an interrupt waits: a cleanup never sees a half-changed list,
// and a step that must be undone as a whole is undone first. Holds nest.
void HoldInterrupts();
void ReleaseInterrupts();
// While held: an interrupt has come and waits for the release.
bool InterruptPending();

// What the help says about this system, in the places where systems differ:
// one paragraph each, which the help wraps.
extern const char* const kStubHelp;     // pack --stub: where the default stub is
extern const char* const kTitleHelp;    // pack --title: what the title is taken as
extern const char* const kInPlaceHelp;  // compress, expand: outputs written in place
extern const char* const kSystemNotes;  // the end of the tool's help ("" for none)

}  // namespace sys
}  // namespace scrpack

#endif
