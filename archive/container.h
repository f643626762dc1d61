// The archive container: finding the archive inside a file, reading block
// headers, stepping from entry to entry, and normalising entry names and
// attribute words.
#ifndef OV_ARCHIVE_CONTAINER_H
#define OV_ARCHIVE_CONTAINER_H

#include <stddef.h>
#include <stdint.h>

struct ExtractContext;

enum {
    kScanBufferSize = 250000, // the scan covers file offsets 7 to 250,005
    kScanEnd = kScanBufferSize + 5,
};

// Scans `got` bytes that stand at file offset `base` for the start of an
// archive of either generation, as FindArchiveStart does behind the first
// seven bytes. Returns the generation found (0 none) and its file offset.
int ScanForArchiveMarker(const uint8_t* bytes, size_t got, long base, long* offset);

// Finds the marker block (at offset 0, or by scanning the start of the file)
// and reads the main header behind it. Leaves the stream directly behind the
// 13 bytes of the main header. Non-zero when an archive was found.
int FindArchiveStart(ExtractContext* ctx);

// Reads the fixed part of a main header (kind 0x73, 13 bytes) or of any
// other block (32 bytes, file header layout) at the current position and
// fills ctx->mainHeader or ctx->fileHeader. Returns the bytes read; fields
// are only assembled from a complete read, except the type, flags and size
// of a block cut behind its first 7 bytes.
size_t ReadFixedHeader(ExtractContext* ctx, int kind);

// Steps over blocks until a file header or an old-style sub-block. For a
// file header reads and normalises the name and returns the bytes of header
// consumed; for a sub-block returns the bytes of its fixed part, with the
// stream back at its start. 0 at the end of the walk, with ctx->truncated
// set when that end is a block cut by the end of the file.
size_t NextEntryHeader(ExtractContext* ctx);

// Backslashes for separators in ctx->fileName, and the attribute word of
// Unix and unknown hosts (whose bits mean nothing to Windows) replaced by
// "directory" or "archive".
void NormalizeEntry(ExtractContext* ctx);
// Unknown hosts become MS-DOS; called by the walk after each entry header.
void MapHostAttributes(ExtractContext* ctx);

#endif
