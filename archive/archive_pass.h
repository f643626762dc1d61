// The one way the payload is read: a walk over every entry of the archive
// inside a file, with a caller's callback choosing each entry's output.
#ifndef OV_ARCHIVE_ARCHIVE_PASS_H
#define OV_ARCHIVE_ARCHIVE_PASS_H

#include <stdint.h>

// Called twice per entry at most.
//
// First call (data null): `name` holds the entry's stored name (at most 259
// characters, every slash already a backslash) in a writable buffer of 260
// characters. The callback rewrites it to choose the output:
//   name emptied        skip: decoded, output dropped, checksum not tested
//   name[0] in 1..31    memory: decoded into memory; after a good checksum a
//                       second call brings the bytes plus one extra zero byte
//   anything else       a file path: the file is created and written
// Second call (memory mode only): `data` points at the entry's bytes,
// `unpackedSize` is their count; name[0] still holds the chosen code.
// A non-zero return ends the walk at once; the pass then returns 0.
typedef int (*EntryCallback)(wchar_t* name, const unsigned char* data, uint32_t unpackedSize, void* userData);

// Results of ArchivePass.
enum {
    kPassOk = 0,
    kPassNoMemory = 1,        // no working record
    kPassNoArchive = 2,       // cannot open, no archive found, or starts mid-volume
    kPassBadChecksum = 3,     // an entry's checksum failed (its output file is deleted)
    kPassNoWindow = 9,        // no memory for the decoder window
    kPassCannotCreate = -5,   // an output file cannot be created
    kPassNoCopyBuffer = -1,   // no memory to copy a stored entry
};

int ArchivePass(const wchar_t* archivePath, EntryCallback callback, void* userData);

#endif
