// Internal state of our Linux Win32 layer, shared by its source files.
#ifndef PLATFORM_HOST_STATE_H
#define PLATFORM_HOST_STATE_H

#include "platform/host/hostwin.h"

#include <map>
#include <string>

namespace hostwin {

struct LayerState {
    std::map<char, std::string> drives;   // upper-case letter -> host folder
    std::string moduleFileName;           // Windows path; empty = call fails
    std::string windowsDirectory;         // Windows path; empty = call fails
    Faults faults;
    Counters counters;
    Records records;
};

LayerState& State();

}  // namespace hostwin

#endif
