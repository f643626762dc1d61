// The solid symbol stream: parses every entry in order, gathers the steps
// into blocks that share one table set, and cuts the bit stream into one
// byte-aligned piece per entry.
//
// Block boundaries are global, not per entry: a block may run on into the
// next entry with the tables in force. A new block always begins with
// symbol 269 coded with the old tables (except the very first block, which
// the reader expects at once), so every table set codes 269. When a block
// begins with an entry, the 269 is that entry's first symbol: nothing after
// an entry's last step is ever needed by the reader.
#include "pack/lz_encoder.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <thread>

#include "pack/bit_writer.h"
#include "pack/huffman_builder.h"
#include "pack/parser.h"
#include "pack/segment_parse.h"
#include "pack/symbol_codes.h"
#include "pack/table_set_writer.h"

namespace {

// Input bytes parsed before the steps go to the block coder.
const uint32_t kParseChunk = 1u << 15;
// More threads than this find no more work.
const int kMaxThreads = 64;
// Steps weighed at a time when deciding where a block ends; exact costs
// afford finer units, which find the changes in the statistics closer.
const size_t kSplitUnit = 2048;
const size_t kExactSplitUnit = 1024;
// Bits a split may lose on the unit that begins the new block (exact costs),
// from level 4 on. Level 3 allows none: each table set costs the reader
// about as much time as a few hundred steps, and the default level's
// setups are the ones unpacked most.
const uint64_t kSplitBias = 150;
// The longest block kept open (steps).
const size_t kMaxBlock = 1u << 20;
// Entries of fewer steps never begin a block.
const size_t kTinyEntry = 64;

struct Stats {
    uint32_t main[kMainSymbols];
    uint32_t distance[kDistanceSymbols];
    uint32_t length[kRepeatLengthSymbols];

    void Clear() { memset(this, 0, sizeof *this); }
    void Add(const Symbol& s)
    {
        main[s.main]++;
        if (s.main >= kSymbolMatch)
            distance[s.aux]++;
        else if (s.main >= kSymbolRecent && s.main < kSymbolShort)
            length[s.aux]++;
    }
    void Add(const Stats& o)
    {
        for (int i = 0; i < kMainSymbols; ++i)
            main[i] += o.main[i];
        for (int i = 0; i < kDistanceSymbols; ++i)
            distance[i] += o.distance[i];
        for (int i = 0; i < kRepeatLengthSymbols; ++i)
            length[i] += o.length[i];
    }
};

// Code lengths of a table set for the given statistics; 269 always gets a
// code so that the next block can be announced.
void BuildLengths(const Stats& stats, uint8_t* lengths)
{
    uint32_t main[kMainSymbols];
    memcpy(main, stats.main, sizeof main);
    main[kSymbolNewTables] += 1;
    BuildCodeLengths(main, kMainSymbols, kMaxCodeLength, lengths);
    BuildCodeLengths(stats.distance, kDistanceSymbols, kMaxCodeLength, lengths + kMainSymbols);
    BuildCodeLengths(stats.length, kRepeatLengthSymbols, kMaxCodeLength, lengths + kMainSymbols + kDistanceSymbols);
}

class BlockCoder {
public:
    BlockCoder(std::vector<std::vector<uint8_t>>* packed, std::vector<uint64_t>* tableBits, bool exact,
               uint64_t splitBias)
        : packed_(packed)
        , tableBits_(tableBits)
        , exact_(exact)
        , splitBias_(splitBias)
        , splitUnit_(exact ? kExactSplitUnit : kSplitUnit)
    {
        memset(previous_, 0, sizeof previous_);
        pendingStats_.Clear();
        unitStats_.Clear();
    }

    // Takes the steps of one parse chunk: a whole entry or a part of one.
    void Add(const std::vector<Symbol>& symbols)
    {
        // A block's table set goes into the entry where the block begins,
        // and an entry of a few steps cannot pay for it: none begins there.
        bool tiny = !symbols.empty() && symbols[0].firstOfEntry && symbols.size() < kTinyEntry;
        for (const Symbol& s : symbols) {
            // Statistics change most at file boundaries: let a unit end there.
            if (s.firstOfEntry && unit_.size() >= splitUnit_ / 4 && !tiny)
                TakeUnit();
            unit_.push_back(s);
            unitStats_.Add(s);
            if (unit_.size() >= splitUnit_ && !tiny)
                TakeUnit();
        }
    }

    void Finish()
    {
        TakeUnit();
        if (!pending_.empty())
            WriteBlock();
        EndEntry();
    }

private:
    // Bits the block would cost with tables of its own, table set included:
    // the entropy of its symbols plus about four bits per code length sent;
    // no table build per estimate, for the fast levels.
    static uint64_t Cost(const Stats& stats)
    {
        uint64_t bits = 0; // in 1/65536 bits
        uint64_t used = 0;
        auto add = [&](const uint32_t* freq, int n) {
            uint64_t total = 0;
            for (int i = 0; i < n; ++i)
                total += freq[i];
            if (!total)
                return;
            uint64_t logTotal = Log2Fixed(total);
            for (int i = 0; i < n; ++i) {
                if (!freq[i])
                    continue;
                ++used;
                bits += uint64_t(freq[i]) * (logTotal - Log2Fixed(freq[i]));
            }
        };
        add(stats.main, kMainSymbols);
        add(stats.distance, kDistanceSymbols);
        add(stats.length, kRepeatLengthSymbols);
        return (bits >> 16) + 4 * used + 100;
    }

    // Bits of the block's symbols with code lengths of its own plus its
    // table set coded after `previous`; extra bits are left out, no split
    // changes them.
    static uint64_t ExactCost(const Stats& stats, const uint8_t* previous, uint8_t* lengths)
    {
        BuildLengths(stats, lengths);
        uint8_t base[kLzSetSize];
        memcpy(base, previous, kLzSetSize);
        return CodedBits(stats.main, lengths, kMainSymbols) +
               CodedBits(stats.distance, lengths + kMainSymbols, kDistanceSymbols) +
               CodedBits(stats.length, lengths + kMainSymbols + kDistanceSymbols, kRepeatLengthSymbols) +
               WriteTableSet(lengths, base, nullptr) + lengths[kSymbolNewTables];
    }

    uint64_t CostOf(const Stats& stats, const uint8_t* previous, uint8_t* lengths) const
    {
        return exact_ ? ExactCost(stats, previous, lengths) : Cost(stats);
    }

    // Joins the unit to the open block, or closes the block first when a
    // table set of its own pays for the unit.
    void TakeUnit()
    {
        if (unit_.empty())
            return;
        if (pending_.empty()) {
            pendingCost_ = CostOf(unitStats_, previous_, pendingLengths_);
        } else {
            uint8_t unitLengths[kLzSetSize], mergedLengths[kLzSetSize];
            uint64_t unitCost = CostOf(unitStats_, pendingLengths_, unitLengths);
            Stats merged = pendingStats_;
            merged.Add(unitStats_);
            uint64_t mergedCost = CostOf(merged, previous_, mergedLengths);
            // A table set of the unit's own also suits the units after it,
            // which the comparison cannot see: with exact costs a split may
            // cost a little more than it saves on the unit.
            if (pendingCost_ + unitCost < mergedCost + splitBias_ || pending_.size() + unit_.size() > kMaxBlock) {
                WriteBlock();
                pendingCost_ = CostOf(unitStats_, previous_, pendingLengths_);
            } else {
                pendingCost_ = mergedCost;
                if (exact_)
                    memcpy(pendingLengths_, mergedLengths, kLzSetSize);
            }
        }
        pending_.insert(pending_.end(), unit_.begin(), unit_.end());
        pendingStats_.Add(unitStats_);
        unit_.clear();
        unitStats_.Clear();
    }

    void EndEntry()
    {
        if (!writer_)
            return;
        writer_->Finish();
        packed_->push_back(std::move(writer_->Bytes()));
        writer_.reset();
    }

    void StartEntry()
    {
        EndEntry();
        writer_.reset(new BitWriter());
        tableBits_->push_back(0);
    }

    void WriteBlock()
    {
        uint8_t lengths[kLzSetSize];
        BuildLengths(pendingStats_, lengths);
        if (pending_[0].firstOfEntry)
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

        for (size_t i = 0; i < pending_.size(); ++i) {
            const Symbol& s = pending_[i];
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
        pending_.clear();
        pendingStats_.Clear();
    }

    void Put(int symbol, const uint16_t* codes, const uint8_t* lengths)
    {
        writer_->Put(codes[symbol], lengths[symbol]);
    }

    std::vector<std::vector<uint8_t>>* packed_;
    std::vector<uint64_t>* tableBits_;
    std::unique_ptr<BitWriter> writer_;
    std::vector<Symbol> pending_, unit_;
    Stats pendingStats_, unitStats_;
    uint64_t pendingCost_ = 0;
    bool exact_;
    uint64_t splitBias_;
    size_t splitUnit_;
    uint8_t previous_[kLzSetSize];
    uint8_t pendingLengths_[kLzSetSize]; // exact costs only
    bool haveTables_ = false;
    uint8_t mainLength_[kMainSymbols];
    uint8_t distanceLength_[kDistanceSymbols];
    uint8_t recentLength_[kRepeatLengthSymbols];
    uint16_t mainCode_[kMainSymbols];
    uint16_t distanceCode_[kDistanceSymbols];
    uint16_t recentCode_[kRepeatLengthSymbols];
};

} // namespace

void CompressSolid(const std::vector<LzEntryInput>& entries, int level, std::vector<std::vector<uint8_t>>* packed,
                   std::vector<uint64_t>* tableBits, const std::function<void(uint64_t)>& progress, int threads)
{
    packed->clear();
    tableBits->clear();
    uint64_t total = 0;
    for (const LzEntryInput& e : entries)
        total += e.size;
    // One contiguous copy: positions in it are the reader's window positions.
    std::vector<uint8_t> data;
    data.reserve(total);
    for (const LzEntryInput& e : entries)
        data.insert(data.end(), e.data, e.data + e.size);

    ParserSettings settings = ParserSettingsForLevel(level);
    if (threads <= 0)
        threads = int(std::thread::hardware_concurrency());
    threads = std::max(1, std::min(threads, kMaxThreads));
    // Exact costs take a table build per estimate: worth it from level 3
    // on, where parsing costs several times that anyway.
    BlockCoder coder(packed, tableBits, level >= 3, level >= 4 ? kSplitBias : 0);
    if (settings.mode != ParseMode::kOptimal) {
        std::vector<uint32_t> entryEnds;
        uint32_t at = 0;
        for (const LzEntryInput& e : entries)
            entryEnds.push_back(at += uint32_t(e.size));
        ParseInSegments(data.data(), uint32_t(data.size()), settings, entryEnds, kParseChunk, threads,
                        [&](const std::vector<Symbol>& steps, uint32_t reached) {
                            coder.Add(steps);
                            if (progress)
                                progress(reached);
                        });
        coder.Finish();
        return;
    }
    // Declared before the stage, whose threads may run it until it ends.
    std::unique_ptr<Parser> firstPass;
    std::unique_ptr<MatchStage> stage;
    // The optimal parser codes each entry in whole chunks (see below).
    std::vector<Stretch> stretches;
    uint32_t at = 0;
    for (const LzEntryInput& e : entries)
        for (uint32_t end = at + uint32_t(e.size); at < end; at = std::min(end, at + kParseChunk))
            stretches.push_back({at, std::min(end, at + kParseChunk)});
    FirstPass pass;
    if (settings.passes > 1) {
        firstPass.reset(new Parser(data.data(), uint32_t(data.size()), settings));
        Parser* p = firstPass.get();
        pass = [p](StretchMatches* found, std::vector<Symbol>* steps) { p->FirstPass(found, steps); };
    }
    stage.reset(new MatchStage(data.data(), uint32_t(data.size()), settings.chainDepth, settings.niceLength,
                               std::move(stretches), threads, pass));
    Parser parser(data.data(), uint32_t(data.size()), settings, stage.get(), firstPass.get());
    std::vector<Symbol> symbols;
    uint32_t pos = 0;
    for (const LzEntryInput& e : entries) {
        uint32_t end = pos + uint32_t(e.size);
        bool first = true;
        while (pos < end) {
            size_t from = symbols.size();
            pos = parser.Parse(pos, std::min(end, pos + kParseChunk), end, &symbols);
            if (first && symbols.size() > from)
                symbols[from].firstOfEntry = 1;
            first = false;
            coder.Add(symbols);
            symbols.clear();
            if (progress)
                progress(pos);
        }
    }
    coder.Finish();
}
