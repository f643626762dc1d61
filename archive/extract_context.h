// The working record of one archive pass: the container walk's fields and
// the decoder's, in one zero-filled allocation that lives for the pass. The
// decoder state in it (window positions, tables, match history) carries from
// one entry to the next of a solid archive.
#ifndef OV_ARCHIVE_EXTRACT_CONTEXT_H
#define OV_ARCHIVE_EXTRACT_CONTEXT_H

#include <stdint.h>
#include <stdio.h>

#include "archive/archive_pass.h"
#include "archive/text_utils.h"
#include "unpack/huffman.h"

struct ByteBuffer;

enum {
    kMarkerSize = 7,
    kMainHeaderSize = 13,
    kFileHeaderSize = 32,
    kNameCapacity = 260, // 259 name bytes and a terminating zero
    kWindowSize = 0x100000,
    kWindowMask = kWindowSize - 1,
    kInputBufferSize = 8192,
    kInputPadding = 8, // read by the 32-bit peek, never filled
};

// Block types and header flags the walk acts on.
enum {
    kBlockMain = 0x73,
    kBlockFile = 0x74,
    kBlockOldSub = 0x77,
    kFlagContinuedFrom = 0x0001,
    kFlagContinuedIn = 0x0002,
    kFlagEncrypted = 0x0004,
    kFlagSolid = 0x0010,
    kFlagDirectoryBits = 0x00E0,
    kFlagHasData = 0x8000,
    kMethodStored = 0x30,
    kAttrVolumeLabel = 0x08,
    kAttrDirectory = 0x10,
    kAttrArchive = 0x20,
};

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
    int splitAfter;
    int skipMode;
    int32_t blockPos;
    int32_t nextBlockPos;
    uint32_t dataCrc;
    int archiveFormat; // 0 not found, 1 old generation, 2 current generation

    // Decoder: packed input and output of the current entry.
    FILE* packedInput;
    FILE* output;
    int32_t packedLeft;
    int32_t unpackedLeft;
    uint32_t crcTable[256];
    // Our own: crcTable's slices for sixteen bytes per step.
    uint32_t crcSlices[15][256];

    // Window.
    uint8_t* slidingWindow;
    uint32_t windowPos;
    uint32_t flushedPos;

    // Bit reader.
    uint32_t peekedBits;
    uint32_t lastSymbol;
    uint8_t inputBuffer[kInputBufferSize + kInputPadding];
    uint8_t previousLengths[kMaxSetSize];
    uint32_t inputPos;
    uint32_t bitPos;
    int32_t inputEnd;

    // Match history.
    uint32_t prevMatchDistance;
    uint32_t prevMatchLength;
    int32_t matchLength;
    uint32_t matchDistance;
    uint32_t recentDistances[4];
    uint32_t recentCount;

    // Tables.
    HuffmanTable* channelTables[4];
    uint32_t multimediaBlock;
    uint32_t channelCount;
    uint32_t currentChannel;
    HuffmanTable bitLengthTable;
    HuffmanTable mainTable;
    HuffmanTable distanceTable;
    HuffmanTable repeatLengthTable;
    HuffmanTable multimediaTables[4];

    // Our own guards.
    int inputOverrun; // the decoder went far past the entry's packed data
    int sinkFailed;   // the memory sink lost bytes for want of memory
    uint64_t deliveredBytes; // bytes of the current entry the sink accepted
    EntryHeaderInfo* headerInfo; // the caller's view of the current entry, or null
};

// Readies a zero-filled record: channel table pointers and the CRC table.
void PrepareExtractContext(ExtractContext* ctx);

// The walk over every entry of an open pass (archive_pass.cpp) and the copy
// of a stored entry's data to its output (0, or -1 without a copy buffer).
int ExtractEntries(ExtractContext* ctx);
int CopyStoredEntry(ExtractContext* ctx);

#endif
