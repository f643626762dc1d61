#include "pack/match_finder.h"

#include <algorithm>
#include <cstring>

#include "pack/symbol_codes.h"

namespace {

const int kHash4Bits = 18;
const int kHash3Bits = 14;
// A match of 3 bytes pays only at short distances: farther ones need 4.
const uint32_t kMaxDistanceForThree = 0x2000 - 1;

inline uint32_t Load32(const uint8_t* p)
{
    uint32_t v;
    memcpy(&v, p, 4);
    return v;
}

inline uint32_t Hash4At(const uint8_t* p, int bits = kHash4Bits)
{
    return (Load32(p) * 2654435761u) >> (32 - bits);
}

// Positions a descent looks ahead to fetch what the next ones will need.
const size_t kAhead = 16;

} // namespace

MatchFinder::MatchFinder(const uint8_t* data, uint32_t size, int searchDepth, uint32_t niceLength)
    : data_(data)
    , size_(size)
    , searchDepth_(std::min(searchDepth, 256))
    , niceLength_(niceLength)
{
    if (searchDepth_ <= 0)
        return;
    rowSize_ = 1;
    while (rowSize_ < uint32_t(searchDepth_))
        rowSize_ *= 2;
    // As many buckets as a 4-byte hash needs, but at most 2^22 row slots
    // (16 MB; a row of 256 loses little to fewer buckets) and not many more
    // than the stream has positions.
    rowBits_ = kHash4Bits;
    while (rowBits_ > 8 && ((size_t(rowSize_) << rowBits_) > (size_t(1) << 22) ||
                            (size_t(rowSize_) << rowBits_) > 8 * size_t(std::max(size, 1u))))
        rowBits_--;
    rows_.assign(size_t(rowSize_) << rowBits_, 0);
    rowLast_.assign(size_t(1) << rowBits_, 0);
    head3_.assign(1u << kHash3Bits, 0);
}

uint32_t MatchFinder::RowOf(uint32_t pos) const
{
    return Hash4At(data_ + pos, rowBits_);
}

uint32_t MatchFinder::Hash3(uint32_t pos) const
{
    uint32_t v = data_[pos] | data_[pos + 1] << 8 | data_[pos + 2] << 16;
    return (v * 2654435761u) >> (32 - kHash3Bits);
}

void MatchFinder::Insert(uint32_t pos)
{
    if (pos + 4 > size_)
        return;
    uint32_t r = RowOf(pos);
    uint8_t at = uint8_t(rowLast_[r] + 1); // wraps at 256, a multiple of every row size
    rowLast_[r] = at;
    rows_[(size_t(r) * rowSize_) | (at & (rowSize_ - 1))] = pos + 1;
    head3_[Hash3(pos)] = pos + 1;
}

Match MatchFinder::FindLongest(uint32_t pos, uint32_t limit, uint32_t beat, int depth, Match* shorter,
                               int* shorterCount)
{
    Match best{beat, 0};
    int found = 0;
    if (shorterCount)
        *shorterCount = 0;
    auto improve = [&](Match m) {
        if (shorter && best.distance && found < kShorterMatches)
            shorter[found++] = best;
        best = m;
    };
    if (limit <= beat || pos + 4 > size_)
        return {0, 0};
    uint32_t c3 = head3_[Hash3(pos)];
    if (c3 && beat < 3) {
        uint32_t d = pos - (c3 - 1);
        if (d <= kMaxDistanceForThree) {
            uint32_t len = MatchLength(pos, d, limit);
            if (len >= 3)
                improve({len, d});
        }
    }
    if (best.length >= limit)
        return best;
    if (depth <= 0)
        depth = searchDepth_;
    uint32_t r = RowOf(pos);
    const uint32_t* row = &rows_[size_t(r) * rowSize_];
    uint32_t mask = rowSize_ - 1, at = rowLast_[r];
    uint32_t n = std::min(uint32_t(depth), rowSize_);
    // Fetching the bytes of the candidates a few ahead overlaps the waits.
    const uint32_t kLead = 6;
    for (uint32_t k = 0; k < kLead && k < n; ++k)
        __builtin_prefetch(data_ + row[(at - k) & mask] - 1 + best.length);
    for (uint32_t k = 0; k < n; ++k) {
        uint32_t cand = row[(at - k) & mask];
        if (k + kLead < n)
            __builtin_prefetch(data_ + row[(at - k - kLead) & mask] - 1 + best.length);
        uint32_t c = cand - 1;
        uint32_t d = pos - c;
        if (!cand || (c < pos && d > kMaxDistance))
            break;
        if (c >= pos)
            continue; // inserted by a look-ahead search
        // Checking the byte just past the best length first skips most
        // candidates without a full compare.
        if (data_[c + best.length] == data_[pos + best.length]) {
            uint32_t len = MatchLength(pos, d, limit);
            if (len > best.length && len >= MinMatchLength(d)) {
                improve({len, d});
                if (len >= niceLength_ || len >= limit)
                    break;
            }
        }
    }
    if (best.distance == 0)
        best.length = 0;
    if (shorterCount)
        *shorterCount = found;
    return best;
}

TreeMatchFinder::TreeMatchFinder(const uint8_t* data, uint32_t size, int depth, uint32_t niceLength, int slices)
    : data_(data)
    , size_(size)
    , depth_(depth)
    , niceLength_(niceLength)
    , slices_(std::max(1, std::min(slices, 255)))
    // Slices of a stretch may be a stretch apart in position: twice the window
    // keeps a slot from being reused while another slice may still read it.
    , slotMask_((slices_ > 1 ? 2 * kWindowSize : kWindowSize) - 1)
    , head4_(1u << kHash4Bits, 0)
    , head3_(1u << kHash3Bits, 0)
    , head2_(1u << 16, 0)
    , tree_(2 * size_t(std::min(size, slotMask_ + 1)), 0)
{}

void TreeMatchFinder::Split(uint32_t begin, uint32_t end, TreeStretch* stretch) const
{
    stretch->begin = begin;
    stretch->end = end;
    stretch->sliceOf.resize(end - begin);
    stretch->slices.resize(size_t(slices_));
    for (TreeStretch::Slice& slice : stretch->slices) {
        slice.positions.clear();
        slice.counts.clear(); // `found` keeps its size: counts tell what is in it
    }
    for (uint32_t pos = begin; pos < end; ++pos) {
        if (pos + 4 > size_)
            break; // too near the end to be inserted
        // Contiguous bucket ranges: slices share no cache lines of head4_.
        uint32_t hash = Hash4At(data_ + pos);
        uint32_t slice = uint32_t((uint64_t(hash) * uint32_t(slices_)) >> kHash4Bits);
        stretch->sliceOf[pos - begin] = uint8_t(slice);
        stretch->slices[slice].positions.push_back(pos);
    }
}

void TreeMatchFinder::Descend(TreeStretch* stretch, int slice)
{
    TreeStretch::Slice& p = stretch->slices[size_t(slice)];
    size_t n = p.positions.size();
    p.counts.resize(n);
    // Descents write their matches straight behind the ones before (lengths
    // only grow, so at most kMaxLength + 1 each): no copy per position.
    size_t used = 0;
    for (size_t k = 0; k < n; ++k) {
        // A descent waits first for its bucket's head, then for the head's
        // tree slot and bytes: ask for those of the positions ahead now.
        if (k + 2 * kAhead < n)
            __builtin_prefetch(&head4_[Hash4At(data_ + p.positions[k + 2 * kAhead])]);
        if (k + kAhead < n) {
            if (uint32_t head = head4_[Hash4At(data_ + p.positions[k + kAhead])]) {
                __builtin_prefetch(data_ + head - 1);
                __builtin_prefetch(&tree_[2 * ((head - 1) & slotMask_)]);
            }
        }
        if (p.found.size() < used + kMaxLength + 1)
            p.found.resize(std::max(2 * p.found.size(), used + kMaxLength + 1));
        uint32_t pos = p.positions[k];
        int count =
            DescendOne(pos, Hash4At(data_ + pos), std::min(kMaxLength, stretch->end - pos), p.found.data() + used);
        p.counts[k] = uint16_t(count);
        used += size_t(count);
    }
}

void TreeMatchFinder::Gather(uint32_t begin, uint32_t end, const TreeStretch& split, int maxPerPosition,
                             StretchMatches* out)
{
    uint32_t n = end - begin;
    out->begin = begin;
    out->end = end;
    out->matches.clear();
    out->start.resize(n + 1);
    out->nearPair.assign(n, 0);
    size_t cursor[256] = {0}, foundAt[256] = {0};
    uint32_t skipUntil = begin;
    for (uint32_t pos = begin; pos < end; ++pos) {
        uint32_t i = pos - begin;
        out->start[i] = uint32_t(out->matches.size());
        if (pos + 4 > size_) { // never inserted
            if (pos >= skipUntil && pos + 2 <= size_) {
                uint32_t c = head2_[data_[pos] | data_[pos + 1] << 8];
                if (c && pos - (c - 1) <= 256)
                    out->nearPair[i] = uint16_t(pos - (c - 1));
            }
            continue;
        }
        uint8_t q = split.sliceOf[i];
        const Match* tree = split.slices[q].found.data() + foundAt[q];
        int treeCount = split.slices[q].counts[cursor[q]++];
        foundAt[q] += size_t(treeCount);

        uint32_t v2 = data_[pos] | data_[pos + 1] << 8;
        uint32_t h3 = ((v2 | data_[pos + 2] << 16) * 2654435761u) >> (32 - kHash3Bits);
        uint32_t c2 = head2_[v2], c3 = head3_[h3];
        head2_[v2] = pos + 1;
        head3_[h3] = pos + 1;
        if (pos < skipUntil)
            continue;
        // Length-2 matches reach back 256 bytes at most.
        if (c2 && pos - (c2 - 1) <= 256)
            out->nearPair[i] = uint16_t(pos - (c2 - 1));

        uint32_t limit = std::min(kMaxLength, end - pos);
        int count = 0;
        if (c3 && limit >= 3) {
            uint32_t d = pos - (c3 - 1);
            if (d <= kMaxDistanceForThree) {
                uint32_t len = CommonLength(data_ + pos, data_ + pos - d, 0, limit);
                if (len >= 3) {
                    out->matches.push_back({len, d});
                    count = 1;
                    // The tree's improvements start from length 2: those
                    // the 3-byte match already beats drop out.
                    while (treeCount && tree->length <= len) {
                        ++tree;
                        --treeCount;
                    }
                }
            }
        }
        // Past the cap, the longest takes the last place.
        int take = std::min(treeCount, maxPerPosition - count);
        for (int k = 0; k + 1 < take; ++k)
            out->matches.push_back(tree[k]);
        if (take)
            out->matches.push_back(tree[treeCount - 1]);
        if (count + treeCount && out->matches.back().length >= niceLength_)
            skipUntil = pos + out->matches.back().length;
    }
    out->start[n] = uint32_t(out->matches.size());
}

// Inserts `pos` as the new root of its hash bucket's tree, splitting the old
// tree into the parts below and above it; on the way down it meets the
// candidates that share the longest prefixes with `pos`.
int TreeMatchFinder::DescendOne(uint32_t pos, uint32_t hash, uint32_t limit, Match* out)
{
    int count = 0;
    uint32_t best = 2;
    uint32_t cand = head4_[hash];
    head4_[hash] = pos + 1;

    // Comparisons run over the whole rest of the data (up to the longest
    // match), not just `limit`, so the tree stays ordered across entries.
    uint32_t keyLimit = std::min<uint32_t>(niceLength_, size_ - pos);
    uint32_t* less = &tree_[2 * (pos & slotMask_)]; // gets the next smaller node
    uint32_t* greater = &tree_[2 * (pos & slotMask_) + 1];
    uint32_t lessLen = 0, greaterLen = 0;
    // Candidates below this (0 included) are empty or out of the window.
    uint32_t lowest = pos >= kMaxDistance ? pos - kMaxDistance + 1 : 1;
    for (int depth = depth_;; --depth) {
        if (cand < lowest || depth <= 0) {
            *less = 0;
            *greater = 0;
            break;
        }
        uint32_t c = cand - 1;
        uint32_t d = pos - c;
        uint32_t* pair = &tree_[2 * (c & slotMask_)];
        uint32_t from = std::min(lessLen, greaterLen);
        // The descent waits on memory at every step: fetch both children's
        // bytes and tree slots now, while this candidate is compared.
        uint32_t c0 = pair[0], c1 = pair[1];
        __builtin_prefetch(data_ + c0 - 1 + from);
        __builtin_prefetch(data_ + c1 - 1 + from);
        __builtin_prefetch(&tree_[2 * ((c0 - 1) & slotMask_)]);
        __builtin_prefetch(&tree_[2 * ((c1 - 1) & slotMask_)]);
        uint32_t len = CommonLength(data_ + c, data_ + pos, from, keyLimit);
        uint32_t reported = std::min(len, limit);
        if (reported > best && reported >= MinMatchLength(d)) {
            best = reported;
            out[count++] = {reported, d};
        }
        if (len >= keyLimit) {
            // Equal as far as we look: `pos` takes over the candidate's place.
            *less = pair[0];
            *greater = pair[1];
            break;
        }
        if (data_[c + len] < data_[pos + len]) {
            *less = cand;
            less = &pair[1];
            cand = *less;
            lessLen = len;
        } else {
            *greater = cand;
            greater = &pair[0];
            cand = *greater;
            greaterLen = len;
        }
    }
    return count;
}
