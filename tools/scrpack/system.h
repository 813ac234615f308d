// What scrpack needs of the system beyond the file calls the stub's code
// makes: what stands at a path, folders, temporary files and their atomic
// replace, interrupts, terminals. One implementation per system, chosen at
// link time (system_posix.cpp here).
//
// Paths are taken as the system gives them. Every call that can fail says so
// in its result and leaves the system's reason for ErrorText(LastError()).
#ifndef TOOLS_SCRPACK_SYSTEM_H
#define TOOLS_SCRPACK_SYSTEM_H

#include <cstdint>
#include <cstdio>
#include <string>

namespace scrpack {
namespace sys {

// What stands at a path; a symbolic link is not followed.
enum class Node { Missing, File, Folder, Link, Other };
Node NodeAt(const std::string& path);
// The same, links followed: what reading the path would open.
Node TargetAt(const std::string& path);
// Size of the file at `path` (links followed); false when it cannot be had.
bool FileSize(const std::string& path, uint64_t* size);
// Both paths name one existing file (links followed).
bool SameFile(const std::string& a, const std::string& b);
// The path with every link and "." / ".." resolved; "" when it cannot be.
std::string RealPath(const std::string& path);

// The last component's folder ("." for a bare name) and joining.
std::string FolderOf(const std::string& path);
std::string JoinPath(const std::string& folder, const std::string& name);
// Where an installer's own name starts: after the last separator.
std::string LastComponent(const std::string& path);

bool MakeFolder(const std::string& path);    // one level; fails when it exists
bool RemoveFolder(const std::string& path);  // an empty folder
bool RemoveFile(const std::string& path);
// Moves `from` over `to` in one step: `to` is the old file or the new one,
// never a mixture. A link at `to` is replaced, its target untouched.
bool ReplaceFile(const std::string& from, const std::string& to);
// A new file of a name no one else has, in `folder`, open for writing, with
// the permissions an ordinary new file gets; its name in *path.
FILE* CreateTempFile(const std::string& folder, std::string* path);
// A stream that takes every byte and keeps none.
FILE* OpenNullSink();
// Standard input or output carrying binary bytes unchanged.
void UseBinary(FILE* stream);
bool IsTerminal(FILE* stream);

// The real path of the running program; "" when it cannot be had.
std::string OwnProgram();
// The environment variable's value, or "" when it is not set.
std::string Environment(const char* name);

int LastError();
std::string ErrorText(int error);

// From now on an interrupt (SIGINT, SIGTERM, SIGHUP) calls `cleanup` and ends
// the process with 128 + the signal's number. `cleanup` may only call what
// is safe in a signal handler (RemoveFile and RemoveFolder are).
void OnInterrupt(void (*cleanup)());
// While held, an interrupt waits: a cleanup never sees a half-changed list.
void HoldInterrupts();
void ReleaseInterrupts();

}  // namespace sys
}  // namespace scrpack

#endif
