// The scrpack program: everything is in scrpack::Main, which tests also call.
#include "tools/scrpack/scrpack.h"
#include "tools/scrpack/system.h"

int main(int argc, char** argv) {
    scrpack::sys::PrepareProcess();
    return scrpack::Main(argc, argv);
}
