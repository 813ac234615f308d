/* The installer's texts in French: the same names as res/texts_nl.h,
   the same placeholders in the same order, Windows-1252 bytes. See there for
   what each text is and what fills it.

   French: "vous"; a no-break space (0xA0) between thousands, the usual
   Windows setting for French that code page 1252 can hold, and before "?" and
   "!"; one blank after a full stop, as French writes it.

   No include guard: res/texts.h includes one language for the stub and the
   resource script, res/languages.cpp all of them in turn. */

#define TEXT_LANGUAGE_CODE "fr"
#define TEXT_THOUSANDS_SEPARATOR '\xA0'

/* --- Captions ------------------------------------------------------------ */

#define TEXT_INSTALLER_CAPTION \
    "Installation de l'\xE9"   \
    "cran de veille %s"
#define TEXT_REPLACE_CAPTION \
    "Remplacer l'\xE9"       \
    "cran de veille\xA0?"
#define TEXT_RENAME_CAPTION "Renommer le programme d'installation"
#define TEXT_DISK_CAPTION "Disque plein"

/* --- Installation sequence ------------------------------------------------ */

#define TEXT_CONFIRM                 \
    "Ce programme installe %s (\xE9" \
    "cran de veille %s) dans %s et " \
    "en fait l'\xE9"                 \
    "cran de veille par d\xE9"       \
    "faut. "                         \
    "L'installation occupe %s octets."

#define TEXT_COMPLETE                                      \
    "Installation termin\xE9"                              \
    "e\xA0!\r\n\r\nLes fichiers de "                       \
    "donn\xE9"                                             \
    "es ont aussi \xE9t\xE9 install\xE9s dans le dossier " \
    "%sTORVANEL\\KAVRELIN%s."

#define TEXT_DAMAGED                                              \
    "Le programme d'installation est endommag\xE9 ou incomplet. " \
    "T\xE9l\xE9"                                                  \
    "chargez-le \xE0 nouveau."

#define TEXT_FAILED \
    "\xC9"          \
    "chec de l'installation\xA0!\r\n\r\n%s n'a pas pu \xEAtre enti\xE8rement install\xE9."

/* --- Pre-install checks --------------------------------------------------- */

#define TEXT_REPLACE                                        \
    "Un \xE9"                                               \
    "cran de veille du m\xEAme nom (%s) existe d\xE9j\xE0 " \
    "sur votre syst\xE8me. Voulez-vous le remplacer\xA0?"

#define TEXT_RENAME                                                  \
    "Pour installer le fichier .SCR sous un autre nom, renommez le " \
    "programme d'installation (%s) et relancez-le."

#define TEXT_DISK                                                      \
    "Vous avez besoin de %s kilo-octets dans le dossier Windows pour " \
    "installer cet \xE9"                                               \
    "cran de veille. Seuls %s kilo-octets sont "                       \
    "libres sur ce disque. Voulez-vous poursuivre l'installation\xA0?"

/* --- Install dialog (template 103) ---------------------------------------- */

#define TEXT_INSTALL_ITEM \
    "\xC9"                \
    "cran de veille %s"
#define TEXT_INSTALL_LINE_1 "Installation"
#define TEXT_INSTALL_LINE_3 "Veuillez patienter..."

/* --- Order info dialog (template 104): the product's name, web address and
   maker stay as they are in every language. ------------------------------- */

#define TEXT_ORDER_CAPTION "Quillmoor Deluxe - Informations de commande"
#define TEXT_ORDER_MADE_WITH "Ce programme a \xE9t\xE9 cr\xE9\xE9 avec"
#define TEXT_ORDER_BANNER "*** QUILLMOOR DELUXE ***"
#define TEXT_ORDER_MARK "TM"
#define TEXT_ORDER_PITCH \
    "Cr\xE9"             \
    "ez des \xE9"        \
    "crans de veille sans programmer"
#define TEXT_ORDER_DOWNLOAD \
    "T\xE9l\xE9"            \
    "chargez des \xE9"      \
    "crans de veille GRATUITS"
#define TEXT_ORDER_WEB "www.example.org"
#define TEXT_ORDER_MAKER "Voorbeeld Software\n\ninfo@example.org"
