// Every language the installer speaks, with all of its texts, for the host
// side: scrpack (which stub to pack, which language an installer speaks),
// the tests and the Wine lab's texts dump. The stub itself is built with one
// language only (res/texts.h).
#ifndef RES_LANGUAGES_H
#define RES_LANGUAGES_H

// The names of res/texts_nl.h without their "TEXT_" prefix, in its order.
#define INSTALLER_TEXTS(X) \
    X(INSTALLER_CAPTION)   \
    X(REPLACE_CAPTION)     \
    X(RENAME_CAPTION)      \
    X(DISK_CAPTION)        \
    X(CONFIRM)             \
    X(COMPLETE)            \
    X(DAMAGED)             \
    X(FAILED)              \
    X(REPLACE)             \
    X(RENAME)              \
    X(DISK)                \
    X(INSTALL_ITEM)        \
    X(INSTALL_LINE_1)      \
    X(INSTALL_LINE_3)      \
    X(ORDER_CAPTION)       \
    X(ORDER_MADE_WITH)     \
    X(ORDER_BANNER)        \
    X(ORDER_MARK)          \
    X(ORDER_PITCH)         \
    X(ORDER_DOWNLOAD)      \
    X(ORDER_WEB)           \
    X(ORDER_MAKER)

struct InstallerLanguage {
    const char* code;         // as `scrpack pack --language` takes it: "nl", "en", "de", "fr"
    const char* name;         // in English, for messages: "Dutch"
    const char* stubName;     // the stub built with these texts: "stub.exe", "stub-en.exe" ...
    char thousandsSeparator;  // between groups of three digits of a count
#define INSTALLER_TEXT_FIELD(name) const char* name;
    INSTALLER_TEXTS(INSTALLER_TEXT_FIELD)  // each text, Windows-1252 bytes
#undef INSTALLER_TEXT_FIELD
};

// Dutch first (the default), then English, German, French.
enum { INSTALLER_LANGUAGE_COUNT = 4 };
extern const InstallerLanguage kInstallerLanguages[INSTALLER_LANGUAGE_COUNT];

// The language of `code`, or null.
const InstallerLanguage* FindInstallerLanguage(const char* code);

#endif
