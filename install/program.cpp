// The one process-wide instance of the installer's program-wide values.
#include "install/program.h"

#include <string.h>

struct Installer gInstaller;

void ResetInstaller(void) {
    memset(&gInstaller, 0, sizeof gInstaller);
}
