// Process and system calls of our Linux Win32 layer: the run-time library
// lookup (KERNEL32.DLL only), local memory, starting a program, the screen
// saver switch and the screen metrics.
//
// Promises: LoadLibraryA knows only KERNEL32.DLL and GetProcAddress only the
// two disk queries; a lookup or release on a library not loaded, or a
// LocalFree of a block the layer did not give, is refused and noted in
// Records::misuse. WinExec starts nothing: it records the command line and
// looks for the program where Windows would (the installer's own folder,
// then the Windows directory) so that tests can tell whether it would start.
#include "platform/host/windows.h"
#include "platform/hostwin/hostwin.h"
#include "platform/hostwin/state.h"

#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <sys/stat.h>

namespace hostwin {
namespace {

// The made-up module handle of KERNEL32.DLL; far from the window handles.
const uintptr_t kKernel32 = 0x7C800000;

// Function pointers pass through void (*)(void), the one cast between
// function types that the compiler accepts without a warning.
template <typename F>
FARPROC AsFarProc(F function) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)(void)>(function));
}

bool IsKernel32(LPCSTR name) {
    return name && (strcasecmp(name, "KERNEL32.DLL") == 0 || strcasecmp(name, "KERNEL32") == 0);
}

bool LoadedKernel32(HMODULE module, const char* call) {
    if ((uintptr_t)module == kKernel32 && State().kernel32Refs > 0) return true;
    Misuse(std::string(call) + " on " + HandleName(module) + ", which is not loaded");
    return false;
}

// The program of a command line: its first word, or the quoted text.
std::string ProgramOf(const char* commandLine) {
    std::string line = commandLine;
    if (!line.empty() && line[0] == '"') {
        size_t close = line.find('"', 1);
        return line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    }
    return line.substr(0, line.find(' '));
}

bool IsFile(const std::string& windowsPath, std::string* host) {
    struct stat st;
    return MapPath(windowsPath.c_str(), host) && stat(host->c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string Folder(const std::string& windowsPath) {
    size_t cut = windowsPath.rfind('\\');
    return cut == std::string::npos ? std::string() : windowsPath.substr(0, cut + 1);
}

// Host path of the program WinExec would start, or empty.
std::string FindProgram(std::string program) {
    size_t lastPart = program.find_last_of("\\/:");
    lastPart = lastPart == std::string::npos ? 0 : lastPart + 1;
    if (program.find('.', lastPart) == std::string::npos) program += ".EXE";
    std::string host;
    if (lastPart > 0) return IsFile(program, &host) ? host : std::string();
    std::string windows = State().windowsDirectory;
    if (!windows.empty() && windows.back() != '\\') windows += '\\';
    for (const std::string& dir : {Folder(State().moduleFileName), windows}) {
        if (!dir.empty() && IsFile(dir + program, &host)) return host;
    }
    return std::string();
}

}  // namespace
}  // namespace hostwin

using namespace hostwin;

extern "C" {

HMODULE LoadLibraryA(LPCSTR name) {
    if (!IsKernel32(name) || State().faults.noKernel32) return nullptr;
    State().kernel32Refs++;
    State().records.libraryLoads++;
    State().objectNames[kKernel32] = "KERNEL32.DLL";
    return (HMODULE)kKernel32;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    if (!LoadedKernel32(module, "GetProcAddress")) return nullptr;
    if ((uintptr_t)name < 0x10000) return nullptr;  // by ordinal: none known
    if (std::strcmp(name, "GetDiskFreeSpaceExA") == 0 && !State().faults.noDiskFreeSpaceEx)
        return AsFarProc(&GetDiskFreeSpaceExA);
    if (std::strcmp(name, "GetDiskFreeSpaceA") == 0) return AsFarProc(&GetDiskFreeSpaceA);
    return nullptr;
}

BOOL FreeLibrary(HMODULE module) {
    if (!LoadedKernel32(module, "FreeLibrary")) return 0;
    State().kernel32Refs--;
    State().records.libraryFrees++;
    return 1;
}

HLOCAL LocalAlloc(UINT flags, size_t bytes) {
    if (State().faults.failLocalAlloc) return nullptr;
    void* block = std::malloc(bytes ? bytes : 1);
    if (!block) return nullptr;
    if (flags & LMEM_ZEROINIT) std::memset(block, 0, bytes);
    State().localBlocks.insert(block);
    State().records.localAllocs++;
    return block;
}

HLOCAL LocalFree(HLOCAL memory) {
    if (!memory) return nullptr;
    if (!State().localBlocks.erase(memory)) {
        Misuse("LocalFree of " + HandleName(memory) + ", which LocalAlloc did not give or is freed");
        return memory;  // Windows gives the handle back on failure
    }
    std::free(memory);
    State().records.localFrees++;
    return nullptr;
}

UINT WinExec(LPCSTR commandLine, UINT show) {
    std::string line = commandLine ? commandLine : "";
    Event("WinExec " + line + " " + std::to_string(show));
    std::string program = line.empty() ? std::string() : FindProgram(ProgramOf(line.c_str()));
    UINT result = program.empty() ? 2 : 33;  // ERROR_FILE_NOT_FOUND, or "started"
    State().records.execs.push_back({line, show, program, result});
    return result;
}

BOOL SystemParametersInfoA(UINT action, UINT param, LPVOID pointer, UINT flags) {
    Event("SystemParametersInfoA " + std::to_string(action) + " " + std::to_string(param) + " " +
          (pointer ? "pointer" : "NULL") + " " + std::to_string(flags));
    State().records.spiCalls.push_back({action, param, flags});
    return 1;
}

int GetSystemMetrics(int index) {
    switch (index) {
    case SM_CXSCREEN: return State().screenWidth;
    case SM_CYSCREEN: return State().screenHeight;
    case 4: return 19;  // SM_CYCAPTION: the caption bar of the dialogs
    case 7:
    case 8: return 3;  // SM_CXDLGFRAME, SM_CYDLGFRAME: their frame
    default: return 0;
    }
}

}  // extern "C"
