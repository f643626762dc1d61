// Hash match finders over the whole 1 MiB window of the solid stream.
// Positions are inserted strictly in order; searches look only backwards.
#ifndef OV_PACK_MATCH_FINDER_H
#define OV_PACK_MATCH_FINDER_H

#include <cstdint>
#include <cstring>
#include <vector>

// Length of the common run of `a` and `b` from `n` on, capped at `limit`;
// eight bytes at a time (the lowest differing byte ends the run).
inline uint32_t CommonLength(const uint8_t* a, const uint8_t* b, uint32_t n, uint32_t limit)
{
    while (n + 8 <= limit) {
        uint64_t x, y;
        memcpy(&x, a + n, 8);
        memcpy(&y, b + n, 8);
        if (x != y)
            return n + (__builtin_ctzll(x ^ y) >> 3);
        n += 8;
    }
    while (n < limit && a[n] == b[n])
        ++n;
    return n;
}

struct Match {
    uint32_t length;
    uint32_t distance;
};

class MatchFinder {
public:
    // `data` holds the whole solid stream; `searchDepth` (at most 256) bounds
    // the candidates per search (0: only MatchLength is used, no tables are
    // kept), `niceLength` ends a search early.
    MatchFinder(const uint8_t* data, uint32_t size, int searchDepth, uint32_t niceLength);

    // Longest match at `pos` of at most `limit` bytes and longer than
    // `beat` (length 0 when there is none); the nearest one among equals.
    // `depth` overrides the search depth when above 0.
    // With `shorter`, the matches it passed on the way that were the
    // longest so far go there too (at most kShorterMatches, longest last),
    // and `*shorterCount` says how many.
    enum { kShorterMatches = 15 };
    Match FindLongest(uint32_t pos, uint32_t limit, uint32_t beat = 2, int depth = 0, Match* shorter = nullptr,
                      int* shorterCount = nullptr);

    // Adds `pos` to the tables; call once per position, in order.
    void Insert(uint32_t pos);

    // Length of the common run at `pos` and `pos - dist`, capped at `limit`.
    // Inline: the optimal parser calls it several times per position.
    uint32_t MatchLength(uint32_t pos, uint32_t dist, uint32_t limit) const
    {
        return CommonLength(data_ + pos, data_ + pos - dist, 0, limit);
    }

private:
    uint32_t RowOf(uint32_t pos) const;
    uint32_t Hash3(uint32_t pos) const;

    const uint8_t* data_;
    uint32_t size_;
    int searchDepth_;
    uint32_t niceLength_;
    // Each 4-byte hash bucket keeps its latest positions in a row of its
    // own, where a hash chain would link each to the one before: a search
    // knows all its candidates at once and fetches their bytes ahead,
    // instead of waiting on memory for every link.
    int rowBits_ = 0;
    uint32_t rowSize_ = 0;         // a power of two, at least the search depth
    std::vector<uint32_t> rows_;   // per bucket: positions + 1 (0 = empty), a ring
    std::vector<uint8_t> rowLast_; // per bucket: the ring's newest slot
    std::vector<uint32_t> head3_;  // position + 1, 0 = empty
};

// Every match the optimal parser weighs in one stretch of the stream.
struct StretchMatches {
    uint32_t begin = 0, end = 0;
    std::vector<Match> matches;     // by position, lengths growing
    std::vector<uint32_t> start;    // per position (and one past): first index in `matches`
    std::vector<uint16_t> nearPair; // per position: TreeMatchFinder::NearPair, 0 = none
};

// One stretch split into slices by TreeMatchFinder::Split.
struct TreeStretch {
    struct Slice {
        std::vector<uint32_t> positions; // the slice's positions of the stretch
        std::vector<uint16_t> counts;    // per position: matches in `found`
        std::vector<Match> found;        // every length improvement, uncapped, from the front
    };
    uint32_t begin = 0, end = 0;
    std::vector<uint8_t> sliceOf; // per position
    std::vector<Slice> slices;
};

// Binary-tree match finder for the optimal parser: every position is kept in
// a tree of its window predecessors sorted by the bytes that follow, so one
// descent finds all length improvements where a hash chain would walk every
// candidate.
//
// Each 4-byte hash bucket has a tree of its own, and a descent touches only
// its bucket's tree, so the buckets are split into `slices` that may descend
// at the same time. A stretch goes through Split, Descend for each slice (in
// any order, on any threads, after every slice of the stretch before) and
// Gather (in stretch order, beside the next stretch's descents); each
// stretch covers the positions right after the one before. The matches do
// not depend on the number of slices.
class TreeMatchFinder {
public:
    TreeMatchFinder(const uint8_t* data, uint32_t size, int depth, uint32_t niceLength, int slices);

    int Slices() const { return slices_; }
    void Split(uint32_t begin, uint32_t end, TreeStretch* stretch) const;
    // Inserts the slice's positions; safe beside Descend of other slices.
    void Descend(TreeStretch* stretch, int slice);
    // Completes the stretch: matches of at most `maxPerPosition` per
    // position, none past `end`, and none inside a match of `niceLength` or
    // more found before.
    void Gather(uint32_t begin, uint32_t end, const TreeStretch& split, int maxPerPosition, StretchMatches* out);

private:
    int DescendOne(uint32_t pos, uint32_t hash, uint32_t limit, Match* out);

    const uint8_t* data_;
    uint32_t size_;
    int depth_;
    uint32_t niceLength_;
    int slices_;
    uint32_t slotMask_;           // tree slots: position & slotMask_
    std::vector<uint32_t> head4_; // position + 1, 0 = empty
    std::vector<uint32_t> head3_; // only Gather keeps these two
    std::vector<uint32_t> head2_;
    std::vector<uint32_t> tree_; // two children per slot (position + 1)
};

#endif
