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
//                       second call brings the bytes plus one extra zero byte;
//                       with kNameCodeCheckOnly set, the bytes are checked but
//                       not kept, and the second call brings none (size 0)
//   anything else       a file path: the file is created and written
// Second call (memory mode only): `data` points at the entry's bytes,
// `unpackedSize` is their count; name[0] still holds the chosen code.
// A non-zero return ends the walk at once; the pass then returns 0.
enum { kNameCodeCheckOnly = 0x10 };
typedef int (*EntryCallback)(wchar_t* name, const unsigned char* data, uint32_t unpackedSize, void* userData);

// Results of a pass. The values are fixed: the setup tells -5 (retry
// through a temporary folder) from every other failure.
enum PassResult {
    kPassOk = 0,
    kPassNoMemory = 1,      // no working record, or an entry lost for want of memory
    kPassNoArchive = 2,     // cannot open, no archive found, or starts mid-volume
    kPassBadChecksum = 3,   // an entry's checksum failed (its output file is deleted)
    kPassMissingVolume = 4, // the archive ends inside an entry that goes on in a next volume
    kPassTruncated = 5,     // the file ends inside a block: the rest is lost
    kPassCannotWrite = 6,   // an output file could not be written in full (it is deleted)
    kPassNoWindow = 9,      // no memory for the decoder window
    kPassNoCopyBuffer = -1, // no memory to copy a stored entry
    kPassCannotCreate = -5, // an output file cannot be created
};

// A short English text for a result ("no archive found", ...).
const char* PassResultText(PassResult result);

PassResult ArchivePass(const wchar_t* archivePath, EntryCallback callback, void* userData);

// What the walk knows about the current entry, for tools that show more than
// the name: the header fields as read (after the host mapping), where the
// block lies, and how decoding went.
struct EntryHeaderInfo {
    uint16_t headFlags;
    uint8_t hostOs;
    uint8_t unpVer;
    uint8_t method;
    uint32_t packSize;
    uint32_t unpSize;
    uint32_t fileCrc;
    uint32_t fileTime; // MS-DOS date (high 16 bits) and time (low 16 bits)
    uint32_t fileAttr;
    int32_t blockPos;  // file offset of the entry's header
    int archiveFormat; // 1 old generation (16-bit checksum), 2 current
    char name[260];    // the stored 8-bit name, separators as backslashes
    // Filled after the entry was decoded (for the callback's second call and
    // for the caller once the pass has returned):
    int decoded;      // 1 once the entry's data went through the decoder
    int inputOverrun; // the packed data ended long before the entry did
    int checksumOk;   // 1 when the entry proved good (0 also in skip mode)
    int sizeMismatch; // the output's size differs from the header's
    int writeError;   // errno of a failed write, with kPassCannotWrite
};

// ArchivePass that also keeps `*info` up to date: it describes the current
// entry from just before the callback's first call for it, and after the
// pass the last entry the walk reached. The pass itself behaves exactly as
// ArchivePass does.
PassResult ArchivePassWithInfo(const wchar_t* archivePath, EntryCallback callback, void* userData,
                               EntryHeaderInfo* info);

// Walks the headers only, without decoding: `visit` sees every file entry,
// directories and volume labels included, and returns non-zero to stop.
// Returns kPassOk when the walk reached the end of the archive, else
// kPassNoMemory, kPassNoArchive, kPassMissingVolume or kPassTruncated.
typedef int (*HeaderVisitor)(const EntryHeaderInfo* info, void* userData);
PassResult WalkArchiveHeaders(const wchar_t* archivePath, HeaderVisitor visit, void* userData);

#endif
