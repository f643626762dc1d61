// The working record of one archive pass: the container walk's fields, the
// entry's output and checksum, and the decoder's own record, in one
// zero-filled allocation that lives for the pass. The decoder state in it
// (window positions, tables, match history) carries from one entry to the
// next of a solid archive.
#ifndef OV_ARCHIVE_EXTRACT_CONTEXT_H
#define OV_ARCHIVE_EXTRACT_CONTEXT_H

#include <stdint.h>
#include <stdio.h>

#include "archive/archive_pass.h"
#include "format/checksum.h"
#include "format/rar_format.h"
#include "unpack/decoder_state.h"

struct ByteBuffer;

struct MainHeader {
    uint16_t headCrc;
    uint8_t headType;
    uint16_t headFlags;
    uint16_t headSize;
    uint16_t reserved1;
    uint32_t reserved2;
};

struct FileHeader {
    uint16_t headCrc;
    uint8_t headType;
    uint16_t headFlags;
    uint16_t headSize;
    uint32_t packSize;
    uint32_t unpSize;
    uint8_t hostOs;
    uint32_t fileCrc;
    uint32_t fileTime;
    uint8_t unpVer;
    uint8_t method;
    uint16_t nameSize;
    uint32_t fileAttr;
};

struct ExtractContext {
    // Container and pass.
    uint8_t marker[kMarkerSize];
    MainHeader mainHeader;
    FileHeader fileHeader;
    uint8_t blockType;
    EntryCallback entryCallback;
    void* userData;
    ByteBuffer* memorySink;
    const wchar_t* archivePath;
    uint8_t* windowBuffer;
    char fileName[kNameCapacity];
    FILE* archive;
    char* streamBuffer; // the archive stream's buffer, or null for the C library's
    int splitAfter;
    int skipMode;
    int32_t blockPos;
    int32_t nextBlockPos;
    uint32_t dataCrc;
    int archiveFormat; // 0 not found, 1 old generation, 2 current generation

    // Output and checksum of the current entry.
    FILE* output;
    Crc32Table crc;

    // The decoder, which reads the entry's packed data from `archive`.
    DecoderState decoder;

    // Our own guards.
    int sinkFailed;  // the memory sink lost bytes for want of memory
    int checkOnly;   // memory mode without keeping the bytes
    int truncated;   // the walk ended in a block cut by the end of the file
    int writeFailed; // the output file lost bytes (errno in writeError)
    int writeError;
    int64_t fileSize;            // of the archive's file; -1 when unknown
    uint64_t deliveredBytes;     // bytes of the current entry the sink accepted
    EntryHeaderInfo* headerInfo; // the caller's view of the current entry, or null
};

// Readies a zero-filled record: the decoder and the CRC table.
void PrepareExtractContext(ExtractContext* ctx);

// The walk over every entry of an open pass (archive_pass.cpp) and the copy
// of a stored entry's data to its output (0, or kPassNoCopyBuffer).
PassResult ExtractEntries(ExtractContext* ctx);
PassResult CopyStoredEntry(ExtractContext* ctx);

#endif
