#include "pack/match_finder.h"

#include <cstring>

#include "pack/symbol_codes.h"

namespace {

const int kHash4Bits = 18;
const int kHash3Bits = 14;
const uint32_t kWindowMask = kWindowSize - 1;
// A match of 3 bytes pays only at short distances: farther ones need 4.
const uint32_t kMaxDistanceForThree = 0x2000 - 1;

inline uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    memcpy(&v, p, 4);
    return v;
}

}  // namespace

MatchFinder::MatchFinder(const uint8_t* data, uint32_t size, int chainDepth, uint32_t niceLength)
    : data_(data), size_(size), chainDepth_(chainDepth), niceLength_(niceLength),
      head4_(1u << kHash4Bits, 0), head3_(1u << kHash3Bits, 0), head2_(1u << 16, 0),
      prev_(size < kWindowSize ? size : kWindowSize, 0) {}

uint32_t MatchFinder::Hash4(uint32_t pos) const {
    return (Load32(data_ + pos) * 2654435761u) >> (32 - kHash4Bits);
}

uint32_t MatchFinder::Hash3(uint32_t pos) const {
    uint32_t v = data_[pos] | data_[pos + 1] << 8 | data_[pos + 2] << 16;
    return (v * 2654435761u) >> (32 - kHash3Bits);
}

uint32_t MatchFinder::MatchLength(uint32_t pos, uint32_t dist, uint32_t limit) const {
    const uint8_t* a = data_ + pos;
    const uint8_t* b = a - dist;
    uint32_t n = 0;
    while (n + 8 <= limit) {
        uint64_t x, y;
        memcpy(&x, a + n, 8);
        memcpy(&y, b + n, 8);
        if (x != y) return n + (__builtin_ctzll(x ^ y) >> 3);
        n += 8;
    }
    while (n < limit && a[n] == b[n]) ++n;
    return n;
}

void MatchFinder::Insert(uint32_t pos) {
    if (pos + 4 > size_) return;
    uint32_t h = Hash4(pos);
    prev_[pos & kWindowMask] = head4_[h];
    head4_[h] = pos + 1;
    head3_[Hash3(pos)] = pos + 1;
    head2_[data_[pos] | data_[pos + 1] << 8] = pos + 1;
}

uint32_t MatchFinder::NearPair(uint32_t pos) const {
    if (pos + 2 > size_) return 0;
    uint32_t c = head2_[data_[pos] | data_[pos + 1] << 8];
    if (c == 0 || pos - (c - 1) > 256) return 0;
    return pos - (c - 1);
}

Match MatchFinder::FindLongest(uint32_t pos, uint32_t limit, uint32_t beat, int depth) {
    Match best{beat, 0};
    if (limit <= beat || pos + 4 > size_) return {0, 0};
    uint32_t c3 = head3_[Hash3(pos)];
    if (c3 && beat < 3) {
        uint32_t d = pos - (c3 - 1);
        if (d <= kMaxDistanceForThree) {
            uint32_t len = MatchLength(pos, d, limit);
            if (len >= 3) best = {len, d};
        }
    }
    if (best.length >= limit) return best;
    uint32_t cand = head4_[Hash4(pos)];
    if (depth <= 0) depth = chainDepth_;
    while (cand && depth-- > 0) {
        uint32_t c = cand - 1;
        uint32_t d = pos - c;
        if (d > kMaxDistance) break;
        // Checking the byte just past the best length first skips most
        // candidates without a full compare.
        if (data_[c + best.length] == data_[pos + best.length]) {
            uint32_t len = MatchLength(pos, d, limit);
            if (len > best.length && len >= MinMatchLength(d)) {
                best = {len, d};
                if (len >= niceLength_ || len >= limit) break;
            }
        }
        cand = prev_[c & kWindowMask];
    }
    if (best.distance == 0) best.length = 0;
    return best;
}

int MatchFinder::FindAll(uint32_t pos, uint32_t limit, Match* out, int maxOut) {
    int count = 0;
    if (limit < 3 || pos + 4 > size_) return 0;
    uint32_t bestLength = 2;
    uint32_t c3 = head3_[Hash3(pos)];
    if (c3) {
        uint32_t d = pos - (c3 - 1);
        if (d <= kMaxDistanceForThree) {
            uint32_t len = MatchLength(pos, d, limit);
            if (len >= 3) {
                out[count++] = {len, d};
                bestLength = len;
            }
        }
    }
    uint32_t cand = head4_[Hash4(pos)];
    int depth = chainDepth_;
    while (cand && depth-- > 0 && bestLength < limit) {
        uint32_t c = cand - 1;
        uint32_t d = pos - c;
        if (d > kMaxDistance) break;
        if (data_[c + bestLength] == data_[pos + bestLength]) {
            uint32_t len = MatchLength(pos, d, limit);
            if (len > bestLength && len >= MinMatchLength(d)) {
                bestLength = len;
                if (count < maxOut) out[count++] = {len, d};
                else out[count - 1] = {len, d};
                if (len >= niceLength_) break;
            }
        }
        cand = prev_[c & kWindowMask];
    }
    return count;
}
