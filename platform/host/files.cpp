// The plain file layer of the host tools: the handle-based Win32 file calls
// on host paths exactly as given, nothing else. No drive letters are mapped,
// so "D:demo.exe" is the file of that name in the current folder, as Linux
// names it.
#include "platform/host/file_core.h"

extern "C" {

HFILE _lopen(LPCSTR path, int mode) {
    return hostfile::OpenFile(path, mode);
}

HFILE _lcreat(LPCSTR path, int attribute) {
    (void)attribute;
    return hostfile::CreateFile(path);
}

UINT _lread(HFILE file, LPVOID buffer, UINT count) {
    return hostfile::ReadFile(file, buffer, count);
}

UINT _lwrite(HFILE file, LPCSTR buffer, UINT count) {
    return hostfile::WriteFile(file, buffer, count);
}

LONG _llseek(HFILE file, LONG offset, int origin) {
    return hostfile::SeekFile(file, offset, origin);
}

HFILE _lclose(HFILE file) {
    return hostfile::CloseFile(file);
}

}  // extern "C"
