// DecodeFile, the extraction step of a compressed catalogue entry: expands it
// from the running executable's own file into a destination file.
//
// C headers only: this is part of the stub.
#ifndef INSTALL_DECODE_FILE_H
#define INSTALL_DECODE_FILE_H

#include "decode/decode.h"
#include "platform/win32.h"

#include <stdint.h>

// Opens the running module's file again, seeks to `fileOffset`, creates
// `destination` and expands the entry into it. Returns the outcome:
// DECODE_CANNOT_OPEN when the module's name was not had or its file, the
// offset or the destination could not be opened (nothing is created then),
// DECODE_WRITE_FAILED when a write or the close failed (the destination is
// left as far as it was written), otherwise the decoder's status of the
// stream (the file was written whole).
enum DecodeStatus DecodeFile(HINSTANCE module, uint32_t fileOffset, uint32_t originalSize, uint32_t storedSize,
                             const char* destination);

#endif
