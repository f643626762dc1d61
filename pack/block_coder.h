// Gathers the steps of the solid stream into blocks that share one table
// set and writes them: one byte-aligned piece of bit stream per entry.
//
// Block boundaries are global, not per entry: a block may run on into the
// next entry with the tables in force. A new block always begins with
// symbol 269 coded with the old tables (except the very first block, which
// the reader expects at once), so every table set codes 269. When a block
// begins with an entry, the 269 is that entry's first symbol: nothing after
// an entry's last step is ever needed by the reader.
#ifndef OV_PACK_BLOCK_CODER_H
#define OV_PACK_BLOCK_CODER_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "pack/bit_writer.h"
#include "pack/symbol_codes.h"

// How the coder finds where blocks end.
enum class BlockSplit {
    kEstimated, // as the steps come, by an entropy estimate: the fast levels
    kMerged,    // small units merged into blocks while that saves bits
};

struct SymbolStats {
    uint32_t main[kMainSymbols];
    uint32_t distance[kDistanceSymbols];
    uint32_t length[kRepeatLengthSymbols];

    void Clear();
    void Add(const Symbol& s);
    void Add(const SymbolStats& o);
};

class BlockCoder {
public:
    // `packed` gets the stream of each entry, `tableBits` the bits of the
    // table sets each carries. Merged blocks start from units of
    // `mergeUnit` steps and also merge where that loses fewer than
    // `tablePenalty` bits: each table set costs the reader time.
    BlockCoder(std::vector<std::vector<uint8_t>>* packed, std::vector<uint64_t>* tableBits, BlockSplit split,
               size_t mergeUnit = 128, int64_t tablePenalty = 0);

    // Takes the steps of one parse chunk: a whole entry or a part of one.
    void Add(const std::vector<Symbol>& symbols);
    void Finish();

private:
    struct Unit {
        size_t begin, count; // in waiting_
        SymbolStats stats;
    };

    void TakeUnit();
    void MergeUnits(bool all);
    void StartEntry();
    void EndEntry();
    void WriteBlock(const Symbol* steps, size_t count, const SymbolStats& stats);
    void Put(int symbol, const uint16_t* codes, const uint8_t* lengths)
    {
        writer_->Put(codes[symbol], lengths[symbol]);
    }

    std::vector<std::vector<uint8_t>>* packed_;
    std::vector<uint64_t>* tableBits_;
    std::unique_ptr<BitWriter> writer_;
    BlockSplit split_;
    int64_t tablePenalty_;
    size_t unitSize_;
    // Steps not yet written: the open block's and the open unit's (as the
    // steps come), or the units of the merge window.
    std::vector<Symbol> waiting_;
    size_t unitBegin_ = 0;
    SymbolStats unitStats_;
    size_t pendingCount_ = 0; // as the steps come: the open block's steps
    SymbolStats pendingStats_;
    uint64_t pendingCost_ = 0;
    std::vector<Unit> units_; // merged blocks only
    uint8_t previous_[kLzSetSize];
    bool haveTables_ = false;
    uint8_t mainLength_[kMainSymbols];
    uint8_t distanceLength_[kDistanceSymbols];
    uint8_t recentLength_[kRepeatLengthSymbols];
    uint16_t mainCode_[kMainSymbols];
    uint16_t distanceCode_[kDistanceSymbols];
    uint16_t recentCode_[kRepeatLengthSymbols];
};

#endif
