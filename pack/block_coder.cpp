#include "pack/block_coder.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "pack/huffman_builder.h"
#include "pack/table_set_writer.h"

namespace {

// Steps weighed at a time when deciding where a block ends as they come.
const size_t kEstimatedUnit = 2048;
// Merged blocks start from units of a given size, a window of them at a
// time. The window bounds the steps held back; its last block stays open
// for the next window.
const size_t kMergeWindow = 128;
// Merges the entropy estimate favours by more than this many bits are made
// without a table build; the rest are weighed exactly.
const int64_t kSureMerge = 100;
// The longest block kept open (steps).
const size_t kMaxBlock = 1u << 20;
// Entries of fewer steps never begin a block.
const size_t kTinyEntry = 64;

// Code lengths of a table set for the given statistics; 269 always gets a
// code so that the next block can be announced.
void BuildLengths(const SymbolStats& stats, uint8_t* lengths)
{
    uint32_t main[kMainSymbols];
    memcpy(main, stats.main, sizeof main);
    main[kSymbolNewTables] += 1;
    BuildCodeLengths(main, kMainSymbols, kMaxCodeLength, lengths);
    BuildCodeLengths(stats.distance, kDistanceSymbols, kMaxCodeLength, lengths + kMainSymbols);
    BuildCodeLengths(stats.length, kRepeatLengthSymbols, kMaxCodeLength, lengths + kMainSymbols + kDistanceSymbols);
}

// Log2Fixed, by table for the counts of small blocks: the estimates take it
// for every used symbol of every block they weigh.
uint32_t Log2Count(uint64_t x)
{
    static const std::vector<uint32_t> table = [] {
        std::vector<uint32_t> t(1u << 12);
        for (uint32_t i = 1; i < t.size(); ++i)
            t[i] = Log2Fixed(i);
        return t;
    }();
    return x < table.size() ? table[x] : Log2Fixed(x);
}

// Bits the block would cost with tables of its own, table set included:
// the entropy of its symbols plus about four bits per code length sent;
// no table build per estimate. With `more`, of the two blocks as one.
uint64_t EstimatedCost(const SymbolStats& stats, const SymbolStats* more = nullptr)
{
    uint64_t bits = 0; // in 1/65536 bits
    uint64_t used = 0;
    auto add = [&](const uint32_t* freq, const uint32_t* other, int n) {
        uint32_t sum[kMainSymbols];
        for (int i = 0; i < n; ++i)
            sum[i] = freq[i] + (other ? other[i] : 0);
        uint64_t total = 0;
        for (int i = 0; i < n; ++i)
            total += sum[i];
        if (!total)
            return;
        uint64_t logTotal = Log2Count(total);
        for (int i = 0; i < n; ++i) {
            if (!sum[i])
                continue;
            ++used;
            bits += uint64_t(sum[i]) * (logTotal - Log2Count(sum[i]));
        }
    };
    add(stats.main, more ? more->main : nullptr, kMainSymbols);
    add(stats.distance, more ? more->distance : nullptr, kDistanceSymbols);
    add(stats.length, more ? more->length : nullptr, kRepeatLengthSymbols);
    return (bits >> 16) + 4 * used + 100;
}

// Bits of the block's symbols with code lengths of its own plus its table
// set coded after `previous`; extra bits are left out, no split changes
// them. The table set's bits come from TableSetBits, not a trial write:
// the merges weigh many more blocks than they write.
uint64_t ExactCost(const SymbolStats& stats, const uint8_t* previous, uint8_t* lengths)
{
    BuildLengths(stats, lengths);
    uint64_t tableBits = TableSetBits(lengths, previous);
    return CodedBits(stats.main, lengths, kMainSymbols) +
           CodedBits(stats.distance, lengths + kMainSymbols, kDistanceSymbols) +
           CodedBits(stats.length, lengths + kMainSymbols + kDistanceSymbols, kRepeatLengthSymbols) + tableBits +
           lengths[kSymbolNewTables];
}

} // namespace

void SymbolStats::Clear()
{
    memset(this, 0, sizeof *this);
}

void SymbolStats::Add(const Symbol& s)
{
    main[s.main]++;
    if (s.main >= kSymbolMatch)
        distance[s.aux]++;
    else if (s.main >= kSymbolRecent && s.main < kSymbolShort)
        length[s.aux]++;
}

void SymbolStats::Add(const SymbolStats& o)
{
    for (int i = 0; i < kMainSymbols; ++i)
        main[i] += o.main[i];
    for (int i = 0; i < kDistanceSymbols; ++i)
        distance[i] += o.distance[i];
    for (int i = 0; i < kRepeatLengthSymbols; ++i)
        length[i] += o.length[i];
}

BlockCoder::BlockCoder(std::vector<std::vector<uint8_t>>* packed, std::vector<uint64_t>* tableBits, BlockSplit split,
                       size_t mergeUnit, int64_t tablePenalty)
    : packed_(packed)
    , tableBits_(tableBits)
    , split_(split)
    , tablePenalty_(tablePenalty)
    , unitSize_(split == BlockSplit::kEstimated ? kEstimatedUnit : mergeUnit)
{
    memset(previous_, 0, sizeof previous_);
    pendingStats_.Clear();
    unitStats_.Clear();
}

void BlockCoder::Add(const std::vector<Symbol>& symbols)
{
    // A block's table set goes into the entry where the block begins, and
    // an entry of a few steps cannot pay for it: none begins there.
    bool tiny = !symbols.empty() && symbols[0].firstOfEntry && symbols.size() < kTinyEntry;
    for (const Symbol& s : symbols) {
        // Statistics change most at file boundaries: let a unit end there.
        if (s.firstOfEntry && waiting_.size() - unitBegin_ >= unitSize_ / 4 && !tiny)
            TakeUnit();
        waiting_.push_back(s);
        unitStats_.Add(s);
        if (waiting_.size() - unitBegin_ >= unitSize_ && !tiny)
            TakeUnit();
    }
}

void BlockCoder::Finish()
{
    TakeUnit();
    if (split_ == BlockSplit::kMerged)
        MergeUnits(true);
    else if (pendingCount_)
        WriteBlock(waiting_.data(), pendingCount_, pendingStats_);
    EndEntry();
}

// As the steps come: joins the unit to the open block, or closes the block
// first when a table set of the unit's own pays for it. Merged blocks: adds
// the unit to the window.
void BlockCoder::TakeUnit()
{
    size_t count = waiting_.size() - unitBegin_;
    if (!count)
        return;
    if (split_ == BlockSplit::kMerged) {
        units_.push_back({unitBegin_, count, unitStats_});
        if (units_.size() >= kMergeWindow)
            MergeUnits(false);
    } else if (!pendingCount_) {
        pendingCost_ = EstimatedCost(unitStats_);
    } else {
        uint64_t unitCost = EstimatedCost(unitStats_);
        SymbolStats merged = pendingStats_;
        merged.Add(unitStats_);
        uint64_t mergedCost = EstimatedCost(merged);
        if (pendingCost_ + unitCost < mergedCost || pendingCount_ + count > kMaxBlock) {
            WriteBlock(waiting_.data(), pendingCount_, pendingStats_);
            waiting_.erase(waiting_.begin(), waiting_.begin() + long(pendingCount_));
            pendingCount_ = 0;
            pendingStats_.Clear();
            pendingCost_ = EstimatedCost(unitStats_);
        } else {
            pendingCost_ = mergedCost;
        }
    }
    if (split_ != BlockSplit::kMerged) {
        pendingCount_ += count;
        pendingStats_.Add(unitStats_);
    }
    unitBegin_ = waiting_.size();
    unitStats_.Clear();
}

// Merges neighbouring blocks of the window, starting from one per unit,
// while a merge saves bits, the pair that saves most first: first by the
// entropy estimate, as long as it is sure, then by exact costs. A merge
// changes the table set the next block is coded after, so its exact cost is
// taken again. Writes every block but the last unless `all`; the last stays
// as one unit.
void BlockCoder::MergeUnits(bool all)
{
    struct Block {
        size_t begin, count;
        SymbolStats stats;
        uint64_t estimate, cost; // estimated, and as weighed in the phase
        int64_t gain;            // of a merge with the next block
        uint64_t mergedEstimate; // of the block merged with the next
        size_t next;             // blocks.size() after the last
        uint8_t lengths[kLzSetSize];
    };
    // Pairs the estimate finds this much worse merged are not weighed
    // exactly: they would not merge.
    const int64_t kHopeless = 300;
    size_t n = units_.size();
    if (!n)
        return;
    std::vector<Block> blocks(n);
    for (size_t i = 0; i < n; ++i) {
        Block& b = blocks[i];
        b.begin = units_[i].begin;
        b.count = units_[i].count;
        b.stats = units_[i].stats;
        b.estimate = EstimatedCost(b.stats);
        b.next = i + 1;
    }
    for (bool exact : {false, true}) {
        const uint8_t* before = previous_;
        auto weigh = [&](Block& b, const uint8_t* after) {
            b.cost = exact ? ExactCost(b.stats, after, b.lengths) : b.estimate;
        };
        auto evaluate = [&](Block& a, const uint8_t* after) {
            a.gain = INT64_MIN;
            if (a.next == n || a.count + blocks[a.next].count > kMaxBlock)
                return;
            const Block& b = blocks[a.next];
            a.mergedEstimate = EstimatedCost(a.stats, &b.stats);
            int64_t estimated = int64_t(a.estimate + b.estimate) - int64_t(a.mergedEstimate);
            if (!exact) {
                a.gain = estimated;
            } else if (estimated > -kHopeless) {
                SymbolStats merged = a.stats;
                merged.Add(b.stats);
                uint8_t lengths[kLzSetSize];
                a.gain = int64_t(a.cost + b.cost) - int64_t(ExactCost(merged, after, lengths));
            }
        };
        for (size_t i = 0; i < n; i = blocks[i].next) {
            weigh(blocks[i], before);
            before = blocks[i].lengths;
        }
        before = previous_;
        for (size_t i = 0; i < n; i = blocks[i].next) {
            evaluate(blocks[i], before);
            before = blocks[i].lengths;
        }
        for (;;) {
            // The best pair's first block, the block before it and the one
            // before that (n: none).
            size_t best = 0, beforeBest = n, twoBack = n;
            for (size_t i = 0, last = n, lastButOne = n; i < n; lastButOne = last, last = i, i = blocks[i].next) {
                if (blocks[i].gain > blocks[best].gain) {
                    best = i;
                    beforeBest = last;
                    twoBack = lastButOne;
                }
            }
            if (blocks[best].gain <= (exact ? -tablePenalty_ : kSureMerge))
                break;
            Block &a = blocks[best], &b = blocks[a.next];
            const uint8_t* after = beforeBest == n ? previous_ : blocks[beforeBest].lengths;
            a.stats.Add(b.stats);
            a.count += b.count;
            a.estimate = a.mergedEstimate;
            a.next = b.next;
            weigh(a, after);
            if (a.next != n) {
                weigh(blocks[a.next], a.lengths);
                evaluate(blocks[a.next], a.lengths);
            }
            evaluate(a, after);
            if (beforeBest != n)
                evaluate(blocks[beforeBest], twoBack == n ? previous_ : blocks[twoBack].lengths);
        }
    }
    size_t last = 0;
    for (size_t i = 0; i < n; i = blocks[i].next) {
        if (blocks[i].next == n && !all) {
            last = i;
            break;
        }
        WriteBlock(waiting_.data() + blocks[i].begin, blocks[i].count, blocks[i].stats);
    }
    units_.clear();
    // The steps written go once they outweigh the open block's: a long open
    // block is not moved window after window.
    size_t done = all ? waiting_.size() : blocks[last].begin;
    if (2 * done < waiting_.size())
        done = 0;
    waiting_.erase(waiting_.begin(), waiting_.begin() + long(done));
    unitBegin_ -= done;
    if (!all)
        units_.push_back({blocks[last].begin - done, blocks[last].count, blocks[last].stats});
}

void BlockCoder::EndEntry()
{
    if (!writer_)
        return;
    writer_->Finish();
    packed_->push_back(std::move(writer_->Bytes()));
    writer_.reset();
}

void BlockCoder::StartEntry()
{
    EndEntry();
    writer_.reset(new BitWriter());
    tableBits_->push_back(0);
}

void BlockCoder::WriteBlock(const Symbol* steps, size_t count, const SymbolStats& stats)
{
    uint8_t lengths[kLzSetSize];
    BuildLengths(stats, lengths);
    if (steps[0].firstOfEntry)
        StartEntry();
    uint64_t before = writer_->BitCount();
    if (haveTables_)
        Put(kSymbolNewTables, mainCode_, mainLength_);
    WriteTableSet(lengths, previous_, writer_.get());
    tableBits_->back() += writer_->BitCount() - before;
    haveTables_ = true;
    memcpy(mainLength_, lengths, kMainSymbols);
    memcpy(distanceLength_, lengths + kMainSymbols, kDistanceSymbols);
    memcpy(recentLength_, lengths + kMainSymbols + kDistanceSymbols, kRepeatLengthSymbols);
    BuildCanonicalCodes(mainLength_, kMainSymbols, mainCode_);
    BuildCanonicalCodes(distanceLength_, kDistanceSymbols, distanceCode_);
    BuildCanonicalCodes(recentLength_, kRepeatLengthSymbols, recentCode_);

    for (size_t i = 0; i < count; ++i) {
        const Symbol& s = steps[i];
        if (s.firstOfEntry && i > 0)
            StartEntry();
        Put(s.main, mainCode_, mainLength_);
        if (s.main >= kSymbolMatch) {
            writer_->Put(s.extra1, s.extra1Bits);
            Put(s.aux, distanceCode_, distanceLength_);
            writer_->Put(s.extra2, s.extra2Bits);
        } else if (s.main >= kSymbolRecent && s.main < kSymbolShort) {
            Put(s.aux, recentCode_, recentLength_);
            writer_->Put(s.extra1, s.extra1Bits);
        } else if (s.main >= kSymbolShort) {
            writer_->Put(s.extra1, s.extra1Bits);
        }
    }
}
