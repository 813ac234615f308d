// The layer's one state instance and its test controls.
#include "platform/host/state.h"

#include <cctype>

namespace hostwin {

LayerState& State() {
    static LayerState state;
    return state;
}

void Reset() { State() = LayerState(); }

void MapDrive(char letter, const std::string& hostRoot) {
    State().drives[(char)std::toupper((unsigned char)letter)] = hostRoot;
}

void SetModuleFileName(const std::string& windowsPath) { State().moduleFileName = windowsPath; }
void SetWindowsDirectory(const std::string& windowsPath) { State().windowsDirectory = windowsPath; }
Faults& FaultSwitches() { return State().faults; }
const Counters& Count() { return State().counters; }
const Records& Record() { return State().records; }

}  // namespace hostwin
