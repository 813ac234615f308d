/* The installer's texts in German: the same names as res/texts_nl.h,
   the same placeholders in the same order, Windows-1252 bytes. See there for
   what each text is and what fills it.

   German: formal "Sie"; '.' between thousands (the usual Windows setting
   for German); one blank after a full stop, as German writes it.

   No include guard: res/texts.h includes one language for the stub and the
   resource script, res/languages.cpp all of them in turn. */

#define TEXT_LANGUAGE_CODE "de"
#define TEXT_THOUSANDS_SEPARATOR '.'

/* --- Captions ------------------------------------------------------------ */

#define TEXT_INSTALLER_CAPTION "Bildschirmschoner %s installieren"
#define TEXT_REPLACE_CAPTION "Bildschirmschoner ersetzen?"
#define TEXT_RENAME_CAPTION "Installationsprogramm umbenennen"
#define TEXT_DISK_CAPTION "Datentr\xE4ger voll"

/* --- Installation sequence ------------------------------------------------ */

#define TEXT_CONFIRM                                                   \
    "Dieses Programm installiert %s (Bildschirmschoner %s) in %s und " \
    "legt ihn als Standard-Bildschirmschoner fest. Die Installation "  \
    "belegt %s Byte."

#define TEXT_COMPLETE                                             \
    "Installation abgeschlossen!\r\n\r\nDie Datendateien wurden " \
    "au\xDF"                                                      \
    "erdem im Ordner %sTORVANEL\\KAVRELIN%s installiert."

#define TEXT_DAMAGED                          \
    "Das Installationsprogramm ist besch\xE4" \
    "digt oder "                              \
    "unvollst\xE4ndig. Bitte laden Sie es erneut herunter."

#define TEXT_FAILED "Installation fehlgeschlagen!\r\n\r\n%s konnte nicht vollst\xE4ndig installiert werden."

/* --- Pre-install checks --------------------------------------------------- */

#define TEXT_REPLACE                                          \
    "Auf Ihrem System ist bereits ein Bildschirmschoner mit " \
    "demselben Namen (%s) vorhanden. M\xF6"                   \
    "chten Sie ihn ersetzen?"

#define TEXT_RENAME                                                   \
    "Um die .SCR-Datei unter einem anderen Namen zu installieren, "   \
    "benennen Sie das Installationsprogramm (%s) um und starten Sie " \
    "es erneut."

#define TEXT_DISK                                                   \
    "Sie ben\xF6tigen %s Kilobyte im Windows-Ordner, um diesen "    \
    "Bildschirmschoner zu installieren. Auf diesem Datentr\xE4ger " \
    "sind nur %s Kilobyte frei. M\xF6"                              \
    "chten Sie die Installation "                                   \
    "fortsetzen?"

/* --- Install dialog (template 103) ---------------------------------------- */

#define TEXT_INSTALL_ITEM "Bildschirmschoner %s"
#define TEXT_INSTALL_LINE_1 "Installation"
#define TEXT_INSTALL_LINE_3 "Bitte warten..."

/* --- Order info dialog (template 104): the product's name, web address and
   maker stay as they are in every language. ------------------------------- */

#define TEXT_ORDER_CAPTION "Quillmoor Deluxe Bestellinfo"
#define TEXT_ORDER_MADE_WITH "Dieses Programm wurde erstellt mit"
#define TEXT_ORDER_BANNER "*** QUILLMOOR DELUXE ***"
#define TEXT_ORDER_MARK "TM"
#define TEXT_ORDER_PITCH "Bildschirmschoner ohne Programmieren erstellen"
#define TEXT_ORDER_DOWNLOAD "KOSTENLOSE Bildschirmschoner herunterladen"
#define TEXT_ORDER_WEB "www.example.org"
#define TEXT_ORDER_MAKER "Voorbeeld Software\n\ninfo@example.org"
