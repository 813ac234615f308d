/* Every text the installer shows, byte for byte as the program stores it:
   Windows-1252 ("\xEF" is the single byte of the i with diaeresis), two blanks
   after a full stop that ends a sentence inside a message, CR LF between the
   lines of a message box. "%s" marks a placeholder, filled in the order given
   beside each text.

   Dutch, the installer's own language and the default: informal "je", ','
   between thousands, two blanks after a full stop inside a message. The other
   languages (res/texts_*.h) define the same names.

   Plain macros with no dependencies: the stub's code, the resource compiler's
   preprocessor, the tests and the Wine UI driver include them through
   res/texts.h (one language) or res/languages.h (all of them) and compare
   against them instead of retyping a text. No include guard, so that
   res/languages.cpp can include every language in turn. */

/* The language's code, as `scrpack pack --language` takes it. */
#define TEXT_LANGUAGE_CODE "nl"
/* Between groups of three digits in the byte and kilobyte counts. */
#define TEXT_THOUSANDS_SEPARATOR ','

/* --- Captions ------------------------------------------------------------ */

/* The title, trimmed of trailing blanks. Caption of the sequence's message
   boxes and window text of the install dialog. */
#define TEXT_INSTALLER_CAPTION "%s Screen Saver Installatie"
#define TEXT_REPLACE_CAPTION "Screen saver vervangen?"
#define TEXT_RENAME_CAPTION "Hernoem installatieprogramma."
#define TEXT_DISK_CAPTION "Schijf vol"

/* --- Installation sequence ------------------------------------------------ */

/* Screen saver file name, title, upper-cased Windows directory, byte count. */
#define TEXT_CONFIRM                                                       \
    "Dit programma installeert %s (%s Screen Saver) in %s en maakt er de " \
    "standaard screen saver van.  De installatie neemt %s bytes in beslag."

/* Windows directory ending in '\', then '\' and the upper-cased installer
   base name. */
#define TEXT_COMPLETE                                                         \
    "Installatie volledig!\r\n\r\nDe gegevensbestanden werden ook in de map " \
    "%sTORVANEL\\KAVRELIN%s ge\xEFnstalleerd."

/* No arguments: the package is missing, cut short or inconsistent. */
#define TEXT_DAMAGED "Het installatieprogramma is beschadigd of onvolledig.  Download het opnieuw."

/* Destination path of the file that could not be written whole. */
#define TEXT_FAILED "Installatie mislukt!\r\n\r\n%s kon niet volledig worden ge\xEFnstalleerd."

/* --- Pre-install checks --------------------------------------------------- */

/* The screen saver's file name as the install will write it (no folder). */
#define TEXT_REPLACE                                                     \
    "Er is reeds een screen saver met dezelfde naam (%s) op je systeem " \
    "aanwezig.  Wil je deze vervangen?"

/* The installer base name followed by ".EXE". */
#define TEXT_RENAME                                                         \
    "Indien je de naam van het .SCR-bestand dat ge\xEFnstalleerd word wil " \
    "vervangen, verander dan de bestandsnaam van het installatieprogramma " \
    "(%s) en start het opnieuw op."

/* Needed kilobytes, free kilobytes, each with thousands separators. */
#define TEXT_DISK                                                              \
    "Je hebt %s kilobytes in de Windowsmap nodig om deze screen saver te "     \
    "installeren.  Er zijn slechts %s kilobytes beschikbaar op deze schijf.  " \
    "Wil je de installatie verderzetten?"

/* --- Install dialog (template 103) ---------------------------------------- */

/* Control 1001: the trimmed title. */
#define TEXT_INSTALL_ITEM "%s Screen Saver"
#define TEXT_INSTALL_LINE_1 "Installeren"
#define TEXT_INSTALL_LINE_3 "Wachten aub..."

/* --- Order info dialog (template 104) ------------------------------------- */

#define TEXT_ORDER_CAPTION "Quillmoor Deluxe Bestelinfo"
#define TEXT_ORDER_MADE_WITH "Dit programma werd gemaakt met"
#define TEXT_ORDER_BANNER "*** QUILLMOOR DELUXE ***"
#define TEXT_ORDER_MARK "TM"
#define TEXT_ORDER_PITCH "Maak screen savers zonder te programmeren"
#define TEXT_ORDER_DOWNLOAD "Download GRATIS screen savers"
#define TEXT_ORDER_WEB "www.example.org"
#define TEXT_ORDER_MAKER "Voorbeeld Software\n\ninfo@example.org"
