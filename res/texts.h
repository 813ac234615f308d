/* The installer's texts in the language this stub is built for: Dutch unless
   the build defines INSTALLER_TEXTS_EN, INSTALLER_TEXTS_DE or
   INSTALLER_TEXTS_FR (the cross build makes one stub per language, the host
   build one copy of the stub's code per language for the tests). Each
   language's header defines the same names; res/texts_nl.h says what each
   text is. */
#ifndef RES_TEXTS_H
#define RES_TEXTS_H

#if defined(INSTALLER_TEXTS_EN)
#include "res/texts_en.h"
#elif defined(INSTALLER_TEXTS_DE)
#include "res/texts_de.h"
#elif defined(INSTALLER_TEXTS_FR)
#include "res/texts_fr.h"
#else
#include "res/texts_nl.h"
#endif

#endif
