// Rules of Windows file names that every side must apply alike: the packer
// refuses such names, the tools and the setup never write them.
#ifndef OV_BASE_FILE_NAMES_H
#define OV_BASE_FILE_NAMES_H

#include <stddef.h>

// True when Windows opens a device rather than a file for this file-name
// part: CON, PRN, AUX, NUL, COM1-COM9 or LPT1-LPT9 (also with the digits
// 1, 2, 3 in superscript), in any case, with or without blanks behind and an
// extension.
bool IsDeviceName(const wchar_t* name, size_t length);

#endif
