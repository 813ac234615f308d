// The scrpack program: everything is in scrpack::Main, which tests also call.
#include "tools/scrpack/scrpack.h"

int main(int argc, char** argv) {
    return scrpack::Main(argc, argv);
}
