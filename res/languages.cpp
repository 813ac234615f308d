// The table of languages: each language's texts header included in turn,
// its names forgotten before the next one defines them again.
#include "res/languages.h"

#include <cstring>

#define INSTALLER_TEXT_VALUE(name) TEXT_##name,
#define LANGUAGE(englishName, stub) \
    { TEXT_LANGUAGE_CODE, englishName, stub, TEXT_THOUSANDS_SEPARATOR, INSTALLER_TEXTS(INSTALLER_TEXT_VALUE) }

namespace {

#include "res/texts_nl.h"
constexpr InstallerLanguage kDutch = LANGUAGE("Dutch", "stub.exe");
#include "res/texts_undef.h"

#include "res/texts_en.h"
constexpr InstallerLanguage kEnglish = LANGUAGE("English", "stub-en.exe");
#include "res/texts_undef.h"

#include "res/texts_de.h"
constexpr InstallerLanguage kGerman = LANGUAGE("German", "stub-de.exe");
#include "res/texts_undef.h"

#include "res/texts_fr.h"
constexpr InstallerLanguage kFrench = LANGUAGE("French", "stub-fr.exe");
#include "res/texts_undef.h"

}  // namespace

const InstallerLanguage kInstallerLanguages[INSTALLER_LANGUAGE_COUNT] = {kDutch, kEnglish, kGerman, kFrench};

const InstallerLanguage* FindInstallerLanguage(const char* code) {
    for (const InstallerLanguage& language : kInstallerLanguages)
        if (std::strcmp(language.code, code) == 0) return &language;
    return nullptr;
}
