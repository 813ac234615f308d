// Naming rules: where each catalogue entry of an installer is written, derived
// from the installer's own file name. Shared by the stub's extraction and
// checks and by the host tools, so that both write the same files.
//
//   entry 0  <windir>\BASE.SCR                             (screen saver file name)
//   entry 1  <windir>\TORVANEL\KAVRELIN\<base>\<base>.DAT
//   entry i  <windir>\TORVANEL\KAVRELIN\<base>\FILE<number><extension>
//
// BASE.SCR is the installer's file name cut at its FIRST '.', upper-cased;
// <base> is the file name cut at its LAST '.', case kept; <number> is
// i + first file number - 2, at least four digits.
//
// Every function writes into a caller's buffer of `size` bytes and returns 1,
// or 0 (with an empty or unchanged text, never an overrun) when the result
// would not fit. C headers only: this is part of the stub.
#ifndef INSTALL_NAMING_H
#define INSTALL_NAMING_H

#include "package/package.h"

#include <stddef.h>
#include <stdint.h>

#define DATA_FOLDER_1 "TORVANEL"
#define DATA_FOLDER_2 "KAVRELIN"

// The part of `path` after its last '\' (the whole text when it has none).
const char* LastComponent(const char* path);

// Upper-cases the ASCII letters a to z in place; every other byte stays.
void UpperCaseAscii(char* text);

// Appends `text` to the NUL-terminated `out`; 0 (out unchanged) if it does not fit.
int AppendText(char* out, size_t size, const char* text);

// out = dir, a '\' unless dir already ends with one, then `name`.
int JoinPath(char* out, size_t size, const char* dir, const char* name);

// Screen saver file name from the installer's path: "C:\x\my.saver.exe" -> "MY.SCR".
int MakeSaverFileName(const char* ownPath, char* out, size_t size);

// The same name with the case the path gives: "C:\x\My.saver.exe" -> "My.SCR".
int MakeSaverCandidate(const char* ownPath, char* out, size_t size);

// Installer base name: "C:\x\my.saver.exe" -> "my.saver".
int MakeBaseName(const char* ownPath, char* out, size_t size);

// File number text, '0'-padded to at least 4 digits: 13 -> "0013", 65536 -> "65536".
void FormatFileNumber(uint32_t number, char out[12]);

// The data folder relative to the Windows directory: "TORVANEL\KAVRELIN\<base>".
int MakeDataFolder(const char* baseName, char* out, size_t size);

// Where entry `index` goes, relative to the Windows directory.
int MakeEntryRelativePath(int index, uint16_t firstNumber, const char* extension, const char* saverFileName,
                          const char* baseName, char* out, size_t size);

#endif
