// Chooses the steps (literals and matches of every kind) that code the solid
// stream: greedy, lazy, or price-based optimal parsing, by level.
#ifndef OV_PACK_PARSER_H
#define OV_PACK_PARSER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "pack/match_finder.h"
#include "pack/match_stage.h"
#include "pack/symbol_codes.h"

enum class ParseMode { kGreedy, kLazy, kOptimal };

struct ParserSettings {
    ParseMode mode;
    int searchDepth; // candidates a search weighs (hash rows) or tree depth (optimal parsing)
    uint32_t niceLength;
    int passes;             // optimal parsing: 2 prices each chunk with the statistics of a first pass over it
    uint32_t lazyLength;    // lazy parsing: a match this long is taken without looking ahead
    uint32_t arrivals;      // optimal parsing: 2 also keeps the best arrival leaving other recent distances
    uint32_t lookAhead = 1; // lazy parsing: positions after the match in hand that may offer a longer one
};

ParserSettings ParserSettingsForLevel(int level);

class Parser {
public:
    // Optimal parsing takes the matches of each stretch from `stage`, which
    // must cover the stretches in the order they are parsed; with two passes
    // the stage runs `firstPass`'s FirstPass over each, and this parser
    // hands it the prices for the next.
    Parser(const uint8_t* data, uint32_t size, const ParserSettings& settings, MatchStage* stage = nullptr,
           Parser* firstPass = nullptr);

    // Codes the bytes from `begin` on, at least up to `end`, never past
    // `limit` (the end of the entry: no match may cross it). Appends the
    // steps to `out` and returns the position reached (end .. limit).
    uint32_t Parse(uint32_t begin, uint32_t end, uint32_t limit, std::vector<Symbol>* out);

    // Greedy and lazy parsing: the first Parse begins at `pos`, so only the
    // window before it goes into the match finder.
    void StartAt(uint32_t pos) { inserted_ = pos > kWindowSize ? pos - kWindowSize : 0; }

    // The first of two passes over the stretch of `found`, for statistics:
    // priced as the second pass over the stretch before, and from where its
    // own first pass left the history, so that it may run beside it.
    void FirstPass(StretchMatches* found, std::vector<Symbol>* steps);

private:
    enum Kind : uint8_t { kLiteral, kRepeatLast, kRecent0, kRecent1, kRecent2, kRecent3, kShort, kMatch };

    struct Node {
        uint32_t cost;
        uint32_t length; // of the step that ends here; 1 for a literal
        uint32_t distance;
        Kind kind;
        uint16_t lead; // above 0: the step is a match of `lead` bytes, `gap` literals and a recent0 match
        uint8_t gap;
        uint8_t back;         // the recent0 match is a recent1 match at the distance before
        uint8_t from;         // the arrival at the step's start it continues
        uint32_t key;         // after the step: the most recent distance, low bits of the one before
        MatchHistory history; // after that step
    };

    struct Step {
        uint32_t length;
        uint32_t distance;
        Kind kind;
    };

    int32_t BestStep(uint32_t pos, uint32_t limit, Step* step, uint32_t beat = 2, int depth = 0);
    void InsertUpTo(uint32_t pos);
    uint32_t ParseGreedy(uint32_t begin, uint32_t end, uint32_t limit, bool lazy, std::vector<Symbol>* out);
    void ParseOptimal(uint32_t begin, uint32_t end, std::vector<Symbol>* out);
    // Keeps `arrivals` (1 or 2) per node; a constant, so that with one the
    // loop costs what it did before there were two.
    template <uint32_t arrivals>
    uint32_t RunOptimal(uint32_t begin, uint32_t end, std::vector<Symbol>* out);
    // RunOptimal with the arrivals the settings ask for.
    void RunPass(uint32_t begin, uint32_t end, std::vector<Symbol>* out);

    // Cheapest coding of a match of `length` at `dist` under `history`;
    // returns its price in bits, or a huge value when it cannot be coded.
    uint32_t BestCoding(uint32_t length, uint32_t dist, const MatchHistory& history, Kind* kind) const;
    uint32_t PriceOf(Kind kind, uint32_t length, uint32_t dist) const;
    void Emit(Kind kind, uint32_t length, uint32_t dist, uint8_t literal, std::vector<Symbol>* out);
    // Prices from the steps from `from` on; `keep` makes their statistics
    // the carried base of the next pricing.
    void CountAndPrice(const std::vector<Symbol>& symbols, size_t from, bool keep);
    void TakePrices(const Parser& from);

    const uint8_t* data_;
    ParserSettings settings_;
    MatchFinder finder_;
    MatchStage* stage_; // optimal parsing only
    Parser* firstPass_; // two passes only
    MatchHistory history_;
    uint32_t inserted_ = 0; // positions below this are in the match finder

    uint32_t carryMain_[kMainSymbols] = {0};
    uint32_t carryDist_[kDistanceSymbols] = {0};
    uint32_t carryLen_[kRepeatLengthSymbols] = {0};
    uint32_t mainPrice_[kMainSymbols];
    uint32_t distancePrice_[kDistanceSymbols]; // code plus extra bits
    uint32_t recentLengthPrice_[kRepeatLengthSymbols];
    uint32_t matchLengthPrice_[256]; // main symbol + extra bits, by length - 3 - bonus
    uint32_t recentLengthAll_[256];  // repeat-length symbol + extra bits, by length - 2 - bonus

    // Optimal parsing work areas, kept between chunks.
    std::vector<Node> nodes_; // `arrivals` per position
    std::vector<uint8_t> pathSlot_;
    std::vector<Match> matches_;
    std::vector<uint32_t> matchStart_;
    std::vector<uint16_t> nearPair_;
    std::vector<uint32_t> path_;
    std::vector<Symbol> scratch_;
    std::vector<uint32_t> literalPrefix_; // greedy and lazy parsing
    uint32_t literalBase_ = 0;
    StretchMatches found_; // buffers on their way back to the stage
    std::vector<Symbol> firstSteps_;
};

#endif
