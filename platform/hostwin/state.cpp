// The layer's one state instance, its simple test controls and the helpers
// that every subject file uses to record what happened. Trusts nothing the
// program hands it: an unknown handle is named by its value, never looked
// into.
#include "platform/hostwin/state.h"

#include <cctype>
#include <cerrno>
#include <unistd.h>

namespace hostwin {

LayerState::LayerState() : templates(DefaultDialogTemplates()) {}

LayerState& State() {
    static LayerState state;
    return state;
}

void Reset() {
    // Descriptors a test leaked would otherwise pile up over a whole run;
    // nobody can legitimately use them after a reset.
    for (int fd : State().fileHandles) close(fd);
    State() = LayerState();
}

void MapDrive(char letter, const std::string& hostRoot) {
    State().drives[(char)std::toupper((unsigned char)letter)] = hostRoot;
}

void SetModuleFileName(const std::string& windowsPath) {
    State().moduleFileName = windowsPath;
}
void SetWindowsDirectory(const std::string& windowsPath) {
    State().windowsDirectory = windowsPath;
}
void SetScreenSize(int width, int height) {
    State().screenWidth = width;
    State().screenHeight = height;
}
void SetFreeBytes(uint64_t availableToCaller) {
    State().freeBytesSet = true;
    State().freeBytes = availableToCaller;
}
void QueueMessageBoxAnswer(int answer) {
    State().messageBoxAnswers.push_back(answer);
}
void QueueDialogAction(int templateId, UINT message, WPARAM wParam, LPARAM lParam) {
    State().dialogActions[templateId].push_back({message, wParam, lParam});
}
void DefineDialogTemplate(const DialogTemplate& dialogTemplate) {
    State().templates[dialogTemplate.id] = dialogTemplate;
}
void SetDialogBaseUnits(int baseX, int baseY) {
    State().baseX = baseX;
    State().baseY = baseY;
}

Faults& FaultSwitches() {
    return State().faults;
}
const Counters& Count() {
    return State().counters;
}
const Records& Record() {
    return State().records;
}

std::vector<std::string> EventsOf(const std::vector<std::string>& firstWords) {
    std::vector<std::string> out;
    for (const std::string& line : State().records.events) {
        std::string first = line.substr(0, line.find(' '));
        for (const std::string& word : firstWords) {
            if (first == word) {
                out.push_back(line);
                break;
            }
        }
    }
    return out;
}

void Event(const std::string& line) {
    State().records.events.push_back(line);
}
void Stall(const std::string& what) {
    State().records.stalls.push_back(what);
}
void Misuse(const std::string& what) {
    State().records.misuse.push_back(what);
}

uintptr_t NewHandleValue() {
    uintptr_t value = State().nextHandle;
    State().nextHandle += 4;
    return value;
}

Window* WindowOf(HWND handle) {
    auto it = State().windows.find((uintptr_t)handle);
    if (it == State().windows.end() || !it->second.alive) return nullptr;
    return &it->second;
}

std::string HandleName(const void* handle) {
    if (!handle) return "NULL";
    uintptr_t value = (uintptr_t)handle;
    auto w = State().windows.find(value);
    if (w != State().windows.end()) {
        const Window& window = w->second;
        switch (window.kind) {
        case WindowKind::Class: return window.className;
        case WindowKind::Dialog: return std::to_string(window.templateId);
        case WindowKind::Control: return std::to_string(window.templateId) + "." + std::to_string(window.controlId);
        }
    }
    auto o = State().objectNames.find(value);
    if (o != State().objectNames.end()) return o->second;
    char text[32];
    snprintf(text, sizeof text, "0x%llx", (unsigned long long)value);
    return text;
}

// Counts one call of a kind; true (with errno set) when it is the one the
// switch names.
static bool Trips(int* count, int failAt, int error) {
    if (failAt != ++*count) return false;
    errno = error;
    return true;
}

bool OpenFails() {
    return Trips(&State().counters.openAttempts, State().faults.failOpen, EACCES);
}

bool CreateFails() {
    return Trips(&State().counters.creates, State().faults.failCreate, EACCES);
}

bool ReadFails() {
    return Trips(&State().counters.reads, State().faults.failRead, EIO);
}

WriteFault NextWriteFault() {
    const Faults& f = State().faults;
    int n = ++State().counters.writes;
    if (f.diskFull != 0 && n >= f.diskFull) {
        errno = ENOSPC;
        return WriteFault::DiskFull;
    }
    return f.shortWrite == n ? WriteFault::OneByteShort : WriteFault::None;
}

bool HasDrive(const char* path) {
    return path && std::isalpha((unsigned char)path[0]) && path[1] == ':';
}

bool MapPath(const char* path, std::string* hostPath) {
    return path && ToHostPath(path, hostPath);
}

}  // namespace hostwin
