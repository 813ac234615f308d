// Every text the sample screen saver shows or writes, in one place, so that the
// end-to-end scenarios compare the saver's message box with these very bytes
// instead of retyping them. Windows-1252, "%s" placeholders only.
#ifndef WINE_SAVER_TEXTS_H
#define WINE_SAVER_TEXTS_H

// Caption of the settings box and window text of the full-screen window.
#define SAVER_CAPTION "Zonsondergang"

// Window class of the full-screen window (/s), so a driver can find it.
#define SAVER_CLASS "ZonsondergangScherm"

// Settings box (/c, or no argument) when the data file was found:
// %s = the data file's full path, %s = its text (at most SAVER_TEXT_MAX bytes,
// up to its first NUL).
#define SAVER_SETTINGS_FOUND "Deze screen saver heeft geen instellingen.\r\n\r\nGegevens uit %s:\r\n\r\n%s"

// Settings box when no data file was found: %s = the folder searched.
#define SAVER_SETTINGS_MISSING "Deze screen saver heeft geen instellingen.\r\n\r\nGeen gegevensbestand gevonden in %s."

// Full-screen text when no data file was found.
#define SAVER_NO_DATA "(geen gegevensbestand)"

// Marker file in the Windows directory, one line appended per start:
// mode letter ('s', 'c' or 'p'), the data file's path ("-" when none) and the
// full command line, separated by '|'.
#define SAVER_MARKER_NAME "saver-started.txt"
#define SAVER_MARKER_LINE "%c|%s|%s\r\n"

// Below the Windows directory, where installers put their data folders.
#define SAVER_DATA_ROOT "TORVANEL\\KAVRELIN"

// Bytes of the data file shown at most.
enum { SAVER_TEXT_MAX = 1024 };

#endif
