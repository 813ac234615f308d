// wine_texts: prints every text the Wine tests and the demo compare against,
// as the installer (res/texts_*.h, in the language asked for) and the sample
// screen saver (wine/saver/saver_texts.h) define them, so that the Wine lab
// never retypes one. One line per text: NAME, a TAB, the bytes in hex.
#include "res/languages.h"
#include "wine/saver/saver_texts.h"

#include <cstdio>
#include <cstring>

namespace {

void Print(const char* name, const char* text) {
    std::printf("%s\t", name);
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) std::printf("%02X", *p);
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    const InstallerLanguage* language = &kInstallerLanguages[0];
    if (argc > 1) language = FindInstallerLanguage(argv[1]);
    if (argc > 2 || !language) {
        std::printf(
            "usage: wine_texts [LANGUAGE]\nPrints the installer's texts in LANGUAGE (nl, en, de, fr; default nl) "
            "and the sample screen saver's, one per line: NAME<TAB>hex bytes.\n");
        return argc > 1 && std::strcmp(argv[1], "--help") == 0 ? 0 : 1;
    }
    const char separator[2] = {language->thousandsSeparator, 0};
    Print("TEXT_THOUSANDS_SEPARATOR", separator);
#define PRINT_TEXT(name) Print("TEXT_" #name, language->name);
    INSTALLER_TEXTS(PRINT_TEXT)
#undef PRINT_TEXT
#define PRINT_SAVER_TEXT(name) Print(#name, name);
    PRINT_SAVER_TEXT(SAVER_CAPTION)
    PRINT_SAVER_TEXT(SAVER_CLASS)
    PRINT_SAVER_TEXT(SAVER_SETTINGS_FOUND)
    PRINT_SAVER_TEXT(SAVER_SETTINGS_MISSING)
    PRINT_SAVER_TEXT(SAVER_MARKER_NAME)
    PRINT_SAVER_TEXT(SAVER_DATA_ROOT)
#undef PRINT_SAVER_TEXT
    return 0;
}
