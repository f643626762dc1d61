// Windows-1252, the code page the setup's own interface texts are written in
// (and the ANSI code page the tools assume on Linux), whatever code page the
// system runs with.
#ifndef OV_BASE_CP1252_H
#define OV_BASE_CP1252_H

#include <stddef.h>

wchar_t Cp1252ToWide(unsigned char byte);
// The byte for `c`, or -1 when Windows-1252 has none.
int WideToCp1252(wchar_t c);

// Converts zero-terminated Windows-1252 text into at most capacity - 1
// characters and terminates it.
void Cp1252TextToWide(const char* source, wchar_t* dest, size_t capacity);

#endif
