// Icons, cursors and stock objects of our Linux Win32 layer. Nothing is
// drawn: each handle stands for a name ("101" for icon resource 101 of a
// module, IDC_ARROW, WHITE_BRUSH) so that tests can see which one the
// program asked for. Asking twice for the same name gives the same handle,
// as Windows does for shared icons, cursors and stock objects.
#include "platform/host/windows.h"
#include "platform/hostwin/hostwin.h"
#include "platform/hostwin/state.h"

namespace hostwin {
namespace {

bool IsIntResource(LPCSTR name) {
    return (uintptr_t)name < 0x10000;
}

void* NamedObject(const std::string& name) {
    for (const auto& entry : State().objectNames) {
        if (entry.second == name) return (void*)entry.first;
    }
    uintptr_t value = NewHandleValue();
    State().objectNames[value] = name;
    return (void*)value;
}

std::string ResourceName(LPCSTR name) {
    return IsIntResource(name) ? std::to_string((uintptr_t)name) : std::string(name);
}

}  // namespace
}  // namespace hostwin

using namespace hostwin;

extern "C" {

HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
    if (!name) return nullptr;
    // A system icon (no instance) is named IDI_<number>; a module's by its resource name.
    std::string text = instance ? ResourceName(name) : "IDI_" + ResourceName(name);
    return (HICON)NamedObject(text);
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
    if (!name) return nullptr;
    std::string text;
    if (!instance && name == IDC_ARROW) {
        text = "IDC_ARROW";
    } else if (!instance && name == IDC_WAIT) {
        text = "IDC_WAIT";
    } else {
        text = IsIntResource(name) ? "#" + ResourceName(name) : std::string(name);
    }
    return (HCURSOR)NamedObject(text);
}

HCURSOR SetCursor(HCURSOR cursor) {
    std::string name = HandleName(cursor);
    Event("SetCursor " + name);
    State().records.cursors.push_back(name);
    HCURSOR previous = State().cursor;
    State().cursor = cursor;
    return previous;
}

HGDIOBJ GetStockObject(int object) {
    if (object < 0 || object > 19) return nullptr;  // beyond the stock objects Windows has
    return NamedObject(object == WHITE_BRUSH ? "WHITE_BRUSH" : "stock " + std::to_string(object));
}

}  // extern "C"
