// wine_texts: prints every text the Wine tests and the demo compare against,
// as the installer (res/texts.h) and the sample screen saver
// (wine/saver/saver_texts.h) define them, so that the Wine lab never retypes
// one. One line per text: NAME, a TAB, the bytes in hex.
#include "res/texts.h"
#include "wine/saver/saver_texts.h"

#include <cstdio>
#include <cstring>

namespace {

struct NamedText {
    const char* name;
    const char* text;
};

#define TEXT(name) \
    { #name, name }
const NamedText kTexts[] = {
    TEXT(TEXT_INSTALLER_CAPTION),
    TEXT(TEXT_REPLACE_CAPTION),
    TEXT(TEXT_RENAME_CAPTION),
    TEXT(TEXT_DISK_CAPTION),
    TEXT(TEXT_CONFIRM),
    TEXT(TEXT_COMPLETE),
    TEXT(TEXT_DAMAGED),
    TEXT(TEXT_FAILED),
    TEXT(TEXT_REPLACE),
    TEXT(TEXT_RENAME),
    TEXT(TEXT_DISK),
    TEXT(TEXT_INSTALL_ITEM),
    TEXT(TEXT_ORDER_CAPTION),
    TEXT(TEXT_ORDER_BANNER),
    TEXT(SAVER_CAPTION),
    TEXT(SAVER_CLASS),
    TEXT(SAVER_SETTINGS_FOUND),
    TEXT(SAVER_SETTINGS_MISSING),
    TEXT(SAVER_MARKER_NAME),
    TEXT(SAVER_DATA_ROOT),
};
#undef TEXT

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) {
        std::printf(
            "usage: wine_texts\nPrints the installer's and the sample screen saver's texts, "
            "one per line: NAME<TAB>hex bytes.\n");
        return std::strcmp(argv[1], "--help") == 0 ? 0 : 1;
    }
    for (const NamedText& t : kTexts) {
        std::printf("%s\t", t.name);
        for (const unsigned char* p = reinterpret_cast<const unsigned char*>(t.text); *p; ++p) {
            std::printf("%02X", *p);
        }
        std::printf("\n");
    }
    return 0;
}
