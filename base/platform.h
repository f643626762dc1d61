// The few system services the payload reader and the packer need.
//
// On Windows these are the system's own calls (ANSI code page conversion,
// share-mode file opens, file times and attributes). On Linux the same
// operations use POSIX calls, with Windows-1252 standing in for the ANSI code
// page of the target machines and UTF-8 for file names on disk. Nothing else
// in archive/, unpack/ or pack/ includes a system header.
#ifndef OV_BASE_PLATFORM_H
#define OV_BASE_PLATFORM_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

// Converts `count` bytes of ANSI text into at most `capacity` wide characters
// (no terminator written); returns the number of characters written.
size_t PlatformAnsiToWide(const char* source, size_t count, wchar_t* dest, size_t capacity);

// Converts `count` wide characters into at most `capacity` ANSI bytes (no
// terminator written); unrepresentable characters become '?'. Returns the
// number of bytes written.
size_t PlatformWideToAnsi(const wchar_t* source, size_t count, char* dest, size_t capacity);

// True when every character of `text` has an exact ANSI code page form.
bool PlatformIsAnsiRepresentable(const wchar_t* text);

// Zero-filled memory for the decoder's window (`size` a power of two), or
// null; on Linux in large pages where the system offers them, which saves
// hundreds of page faults in every run. Freed by FreeWindowMemory with the
// same size.
uint8_t* AllocateWindowMemory(size_t size);
void FreeWindowMemory(uint8_t* memory, size_t size);

// Opens the archive for binary reading; other processes may read the file
// but not write it while it is open. Null on failure.
FILE* OpenArchiveStream(const wchar_t* path);

// Creates (or truncates) an output file for binary reading and writing with
// no sharing restriction. Null on failure.
FILE* CreateOutputStream(const wchar_t* path);

// Deletes a file; true on success.
bool DeleteFilePath(const wchar_t* path);

// Gives a written file its archived modification time (MS-DOS date in the
// high 16 bits, time in the low 16 bits, taken as local time) and then its
// attribute word. Failures are ignored.
void ApplyFileTimeAndAttributes(const wchar_t* path, uint32_t dosTime, uint32_t attributes);

// -1 when nothing exists at `path` (its attributes cannot be read), 0 when a
// file or folder exists.
int PathMissing(const wchar_t* path);

// Replaces the path (a buffer of kPathCapacity characters) by its full form;
// unchanged when that cannot be had or does not fit.
void MakeFullPath(wchar_t* path);

#endif
