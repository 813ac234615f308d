/* Resource identifiers of the stub, shared by the resource script and the
   stub's code. Plain #defines only: the resource compiler's preprocessor
   reads this file too. */
#ifndef RES_RESOURCE_H
#define RES_RESOURCE_H

#define IDR_PACKAGE_MARKER 1000 /* LASTRES: the package begins at its data */
#define IDI_STUB 101            /* icon group (window class icon) */
#define IDD_INSTALL 103         /* please-wait dialog of the extraction */
#define IDD_ORDER_INFO 104      /* order info dialog shown at the end */
#define IDC_INSTALL_TITLE 1001  /* install dialog line "<title> Screen Saver" */

#endif
