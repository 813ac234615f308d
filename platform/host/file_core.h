// The handle-based file calls of Win32 (_lopen, _lcreat, _lread, _lwrite,
// _llseek, _lclose) done on Linux with the system's own calls, on host paths
// exactly as given. Both Linux layers build on this: the plain file layer the
// host tools ship with (files.cpp beside this file) and the test layer
// (platform/hostwin), which maps Windows paths and injects faults first.
//
// Every failure leaves errno as the system set it, so a caller can name the
// reason. Reads and writes go on after an interrupted call; a handle is a
// descriptor, opened close-on-exec.
#ifndef PLATFORM_HOST_FILE_CORE_H
#define PLATFORM_HOST_FILE_CORE_H

#include "platform/host/windows.h"

namespace hostfile {

// _lopen: OF_READ, OF_WRITE or OF_READWRITE; a folder is no file (EISDIR).
HFILE OpenFile(const char* hostPath, int mode);
// _lcreat: creates or empties the file, read-write.
HFILE CreateFile(const char* hostPath);
// Reads up to `count` bytes, fewer only at the end of the file; HFILE_ERROR
// when the first read fails.
UINT ReadFile(HFILE file, void* buffer, UINT count);
// Writes all `count` bytes, or as many as the system took before it failed;
// HFILE_ERROR when nothing was written.
UINT WriteFile(HFILE file, const void* buffer, UINT count);
// The new position, or HFILE_ERROR (also beyond what a LONG can hold).
LONG SeekFile(HFILE file, LONG offset, int origin);
HFILE CloseFile(HFILE file);

}  // namespace hostfile

#endif
