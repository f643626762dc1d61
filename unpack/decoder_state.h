// The decoder's working record: packed input of the current entry, the
// sliding window, the bit reader, the match history and the Huffman tables.
// It is zero-filled by its owner and lives for a run of entries; in a solid
// archive the window, tables and history carry from one entry to the next.
//
// The decoder knows nothing of archives: it reads an entry's packed bytes
// from a stream, at most `packedLeft` of them, and hands every byte it
// produces to `deliver`.
#ifndef OV_UNPACK_DECODER_STATE_H
#define OV_UNPACK_DECODER_STATE_H

#include <stdint.h>
#include <stdio.h>

#include "format/rar_format.h"
#include "unpack/huffman.h"

// The decoder's window buffer: twice the format's window. The bytes just
// ahead of the position are then two windows old, which no distance
// reaches, so a copy may write past its end without saving them first.
inline constexpr uint32_t kRingSize = 2 * kWindowSize;
inline constexpr uint32_t kRingMask = kRingSize - 1;

enum {
    kInputBufferSize = 8192,
    kInputPadding = 8, // read by the 8-byte load of the decoding loop, never filled
};

// Takes `count` produced bytes; returns how many the sink accepted.
typedef uint32_t (*DeliverFunction)(void* sink, const uint8_t* bytes, uint32_t count);

struct DecoderState {
    // Set by the caller before each entry.
    FILE* packedInput;    // where the entry's packed bytes are read from
    int32_t packedLeft;   // packed bytes not yet read
    int32_t unpackedLeft; // bytes still to produce; counted down
    DeliverFunction deliver;
    void* sink; // handed to `deliver`

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

    // Our own guard: the decoder went far past the entry's packed data.
    int inputOverrun;
};

// Readies a zero-filled record: points the channel tables at their tables.
void PrepareDecoder(DecoderState* d);

#endif
