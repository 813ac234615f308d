/* The installer's texts in English: the same names as res/texts_nl.h,
   the same placeholders in the same order, Windows-1252 bytes. See there for
   what each text is and what fills it.

   English: "you"; ',' between thousands (the usual Windows setting for
   English); two blanks after a full stop inside a message, as the Dutch texts
   have them.

   No include guard: res/texts.h includes one language for the stub and the
   resource script, res/languages.cpp all of them in turn. */

#define TEXT_LANGUAGE_CODE "en"
#define TEXT_THOUSANDS_SEPARATOR ','

/* --- Captions ------------------------------------------------------------ */

#define TEXT_INSTALLER_CAPTION "%s Screen Saver Setup"
#define TEXT_REPLACE_CAPTION "Replace screen saver?"
#define TEXT_RENAME_CAPTION "Rename the installer"
#define TEXT_DISK_CAPTION "Disk full"

/* --- Installation sequence ------------------------------------------------ */

#define TEXT_CONFIRM                                                 \
    "This program installs %s (%s Screen Saver) in %s and makes it " \
    "the default screen saver.  The installation takes %s bytes."

#define TEXT_COMPLETE                                         \
    "Installation complete!\r\n\r\nThe data files were also " \
    "installed in the folder %sTORVANEL\\KAVRELIN%s."

#define TEXT_DAMAGED "The installer is damaged or incomplete.  Please download it again."

#define TEXT_FAILED "Installation failed!\r\n\r\n%s could not be installed completely."

/* --- Pre-install checks --------------------------------------------------- */

#define TEXT_REPLACE "A screen saver with the same name (%s) is already on your system.  Do you want to replace it?"

#define TEXT_RENAME "To install the .SCR file under another name, rename the installer (%s) and run it again."

#define TEXT_DISK                                                      \
    "You need %s kilobytes in the Windows folder to install this "     \
    "screen saver.  Only %s kilobytes are free on this disk.  Do you " \
    "want to continue the installation?"

/* --- Install dialog (template 103) ---------------------------------------- */

#define TEXT_INSTALL_ITEM "%s Screen Saver"
#define TEXT_INSTALL_LINE_1 "Installing"
#define TEXT_INSTALL_LINE_3 "Please wait..."

/* --- Order info dialog (template 104): the product's name, web address and
   maker stay as they are in every language. ------------------------------- */

#define TEXT_ORDER_CAPTION "Quillmoor Deluxe Order Info"
#define TEXT_ORDER_MADE_WITH "This program was made with"
#define TEXT_ORDER_BANNER "*** QUILLMOOR DELUXE ***"
#define TEXT_ORDER_MARK "TM"
#define TEXT_ORDER_PITCH "Make screen savers without programming"
#define TEXT_ORDER_DOWNLOAD "Download FREE screen savers"
#define TEXT_ORDER_WEB "www.example.org"
#define TEXT_ORDER_MAKER "Voorbeeld Software\n\ninfo@example.org"
