// The RAR 2.0 compressor over a run of entries that form one solid stream:
// the first entry resets the reader's window, every later one continues it.
#ifndef OV_PACK_LZ_ENCODER_H
#define OV_PACK_LZ_ENCODER_H

#include <cstdint>
#include <functional>
#include <vector>
#include <cstddef>

struct LzEntryInput {
    const uint8_t* data;
    size_t size; // above 0: an empty entry has nothing for the reader to decode
};

// Compresses the entries in order into one packed stream each. Entry 0 starts
// with a table set (non-solid); every later stream continues the state the
// previous one left. `tableBits` gets, per entry, the bits of the table sets
// its stream carries (they serve the entries after it too). `progress` gets
// the input bytes done so far. Runs on `threads` threads (0: one per core);
// the streams do not depend on the number.
void CompressSolid(const std::vector<LzEntryInput>& entries, int level, std::vector<std::vector<uint8_t>>* packed,
                   std::vector<uint64_t>* tableBits, const std::function<void(uint64_t)>& progress, int threads = 1);

#endif
