// Streams over memory on Windows (see memory_decode.h). Its C runtime has no
// streams over memory, so each is a temporary file that Windows deletes when
// it is closed, also when the process ends abruptly; flagged temporary, it
// mostly stays in the system's cache.
#include "tools/authoring/memory_decode.h"

#include <windows.h>

#include <cstdint>
#include <fcntl.h>
#include <io.h>

namespace authoring {

namespace {

// A new, empty temporary file open for reading and writing.
FILE* OpenTemporary() {
    char folder[MAX_PATH + 1], name[MAX_PATH + 1];
    if (!GetTempPathA(sizeof folder, folder)) return nullptr;
    UINT seed = UINT(GetTickCount() ^ (GetCurrentProcessId() << 16));
    for (UINT attempt = 0; attempt < 100; attempt++) {
        UINT unique = (seed + attempt * 7919u) & 0xFFFF;
        if (!GetTempFileNameA(folder, "scp", unique ? unique : 1, name)) return nullptr;
        HANDLE file = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS) continue;
            return nullptr;
        }
        int descriptor = _open_osfhandle(intptr_t(file), _O_RDWR | _O_BINARY);
        if (descriptor < 0) {
            CloseHandle(file);
            return nullptr;
        }
        FILE* stream = _fdopen(descriptor, "w+b");
        if (!stream) _close(descriptor);
        return stream;
    }
    return nullptr;
}

}  // namespace

FILE* OpenMemoryReader(const uint8_t* bytes, size_t size) {
    FILE* stream = OpenTemporary();
    if (!stream) return nullptr;
    if (std::fwrite(bytes, 1, size, stream) == size && std::fseek(stream, 0, SEEK_SET) == 0) return stream;
    std::fclose(stream);
    return nullptr;
}

FILE* OpenMemoryWriter(std::vector<uint8_t>*) {
    return OpenTemporary();
}

bool CloseMemoryWriter(FILE* writer, std::vector<uint8_t>* out) {
    bool read = std::fflush(writer) == 0 && !std::ferror(writer) && std::fseek(writer, 0, SEEK_SET) == 0;
    uint8_t chunk[1 << 16];
    for (size_t got; read && (got = std::fread(chunk, 1, sizeof chunk, writer)) > 0;)
        out->insert(out->end(), chunk, chunk + got);
    read = read && !std::ferror(writer);
    return std::fclose(writer) == 0 && read;
}

}  // namespace authoring
