// Hash-chain match finder over the whole 1 MiB window of the solid stream.
// Positions are inserted strictly in order; searches look only backwards.
#ifndef OV_PACK_MATCH_FINDER_H
#define OV_PACK_MATCH_FINDER_H

#include <cstdint>
#include <vector>

struct Match {
    uint32_t length;
    uint32_t distance;
};

class MatchFinder {
public:
    // `data` holds the whole solid stream; `chainDepth` bounds the candidates
    // per search (0: only MatchLength is used, no tables are kept),
    // `niceLength` ends a search early.
    MatchFinder(const uint8_t* data, uint32_t size, int chainDepth, uint32_t niceLength);

    // Longest match at `pos` of at most `limit` bytes and longer than
    // `beat` (length 0 when there is none); the nearest one among equals.
    // `depth` overrides the chain depth when above 0.
    Match FindLongest(uint32_t pos, uint32_t limit, uint32_t beat = 2, int depth = 0);

    // Every length improvement at `pos`: lengths strictly growing, each with
    // the nearest distance that reaches it. Returns the count written.
    int FindAll(uint32_t pos, uint32_t limit, Match* out, int maxOut);

    // Adds `pos` to the chains; call once per position, in order.
    void Insert(uint32_t pos);

    // Length of the common run at `pos` and `pos - dist`, capped at `limit`.
    uint32_t MatchLength(uint32_t pos, uint32_t dist, uint32_t limit) const;

private:
    uint32_t Hash4(uint32_t pos) const;
    uint32_t Hash3(uint32_t pos) const;

    const uint8_t* data_;
    uint32_t size_;
    int chainDepth_;
    uint32_t niceLength_;
    std::vector<uint32_t> head4_; // position + 1, 0 = empty
    std::vector<uint32_t> head3_;
    std::vector<uint32_t> prev_; // chain links, indexed by position mod window
};

// Binary-tree match finder for the optimal parser: every position is kept in
// a tree of its window predecessors sorted by the bytes that follow, so one
// descent finds all length improvements where a hash chain would walk every
// candidate. Each position must be passed, in order, to exactly one of
// FindAll or Skip.
class TreeMatchFinder {
public:
    TreeMatchFinder(const uint8_t* data, uint32_t size, int depth, uint32_t niceLength);

    // Like MatchFinder::FindAll, and inserts `pos`.
    int FindAll(uint32_t pos, uint32_t limit, Match* out, int maxOut);
    // Inserts `pos` without reporting matches.
    void Skip(uint32_t pos);
    // Nearest earlier occurrence of the two bytes at `pos` within 256 bytes,
    // or 0 (for length-2 matches); ask before `pos` is inserted.
    uint32_t NearPair(uint32_t pos) const;

private:
    int Descend(uint32_t pos, uint32_t limit, Match* out, int maxOut, int count, uint32_t best);

    const uint8_t* data_;
    uint32_t size_;
    int depth_;
    uint32_t niceLength_;
    std::vector<uint32_t> head4_; // position + 1, 0 = empty
    std::vector<uint32_t> head3_;
    std::vector<uint32_t> head2_;
    std::vector<uint32_t> tree_; // two children per position mod window (position + 1)
};

#endif
