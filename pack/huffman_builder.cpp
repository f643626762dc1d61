#include "pack/huffman_builder.h"

#include <algorithm>
#include <vector>

namespace {

// One item of a package-merge list: a leaf (symbol) or a package of two
// items of the previous, deeper list.
struct Item {
    uint64_t weight;
    int symbol; // -1 for a package
    int left;   // packages: index of the first child in the previous list
};

// Plain Huffman over the sorted leaves (two queues: leaves and the pairs
// made, both rising); sets the lengths when no code exceeds `maxBits`. That
// is the usual case, and a small fraction of the package-merge's work.
bool HuffmanFits(const std::vector<Item>& leaves, int maxBits, uint8_t* lengths)
{
    size_t m = leaves.size();
    std::vector<uint64_t> weight(2 * m - 1);
    std::vector<uint32_t> parent(2 * m - 1);
    for (size_t i = 0; i < m; ++i)
        weight[i] = leaves[i].weight;
    size_t leaf = 0, pair = m;
    for (size_t made = m; made < 2 * m - 1; ++made) {
        uint64_t sum = 0;
        for (int k = 0; k < 2; ++k) {
            size_t take = leaf < m && (pair >= made || weight[leaf] <= weight[pair]) ? leaf++ : pair++;
            parent[take] = uint32_t(made);
            sum += weight[take];
        }
        weight[made] = sum;
    }
    // Depths from the root down, reusing `weight`.
    weight[2 * m - 2] = 0;
    for (size_t k = 2 * m - 2; k-- > 0;) {
        weight[k] = weight[parent[k]] + 1;
        if (k < m && weight[k] > uint64_t(maxBits))
            return false;
    }
    for (size_t i = 0; i < m; ++i)
        lengths[leaves[i].symbol] = uint8_t(weight[i]);
    return true;
}

} // namespace

void BuildCodeLengths(const uint32_t* freq, int n, int maxBits, uint8_t* lengths)
{
    std::vector<Item> leaves;
    for (int i = 0; i < n; ++i) {
        lengths[i] = 0;
        if (freq[i])
            leaves.push_back({freq[i], i, 0});
    }
    if (leaves.empty())
        return;
    if (leaves.size() == 1) {
        lengths[leaves[0].symbol] = 1;
        return;
    }
    // Ties broken by symbol keep the result independent of sort internals.
    std::sort(leaves.begin(), leaves.end(), [](const Item& a, const Item& b) {
        return a.weight != b.weight ? a.weight < b.weight : a.symbol < b.symbol;
    });

    if (HuffmanFits(leaves, maxBits, lengths))
        return;

    // lists[0] is the deepest level; each further list merges the leaves
    // with the pairs of the list before it.
    std::vector<std::vector<Item>> lists(maxBits);
    lists[0] = leaves;
    for (int level = 1; level < maxBits; ++level) {
        const std::vector<Item>& prev = lists[level - 1];
        std::vector<Item>& cur = lists[level];
        cur.reserve(leaves.size() + prev.size() / 2);
        size_t li = 0, pi = 0;
        while (li < leaves.size() || pi + 1 < prev.size()) {
            bool takeLeaf;
            if (pi + 1 >= prev.size())
                takeLeaf = true;
            else if (li >= leaves.size())
                takeLeaf = false;
            else
                takeLeaf = leaves[li].weight <= prev[pi].weight + prev[pi + 1].weight;
            if (takeLeaf) {
                cur.push_back(leaves[li++]);
            } else {
                cur.push_back({prev[pi].weight + prev[pi + 1].weight, -1, int(pi)});
                pi += 2;
            }
        }
    }

    // The first 2n-2 items of the top list form the code; every time a leaf
    // appears in a chosen item its code grows by one bit.
    std::vector<int> take(maxBits, 0);
    take[maxBits - 1] = int(2 * leaves.size() - 2);
    for (int level = maxBits - 1; level >= 0; --level) {
        int packages = 0;
        for (int i = 0; i < take[level]; ++i) {
            const Item& item = lists[level][i];
            if (item.symbol >= 0)
                ++lengths[item.symbol];
            else
                packages = item.left + 2;
        }
        if (level > 0)
            take[level - 1] = packages;
    }
}

void BuildCanonicalCodes(const uint8_t* lengths, int n, uint16_t* codes)
{
    int count[kMaxCodeLength + 1] = {0};
    for (int i = 0; i < n; ++i)
        count[lengths[i]]++;
    count[0] = 0;
    uint32_t next[kMaxCodeLength + 2] = {0};
    uint32_t code = 0;
    for (int len = 1; len <= kMaxCodeLength; ++len) {
        code = (code + count[len - 1]) << 1;
        next[len] = code;
    }
    for (int i = 0; i < n; ++i)
        codes[i] = lengths[i] ? uint16_t(next[lengths[i]]++) : 0;
}

uint64_t CodedBits(const uint32_t* freq, const uint8_t* lengths, int n)
{
    uint64_t bits = 0;
    for (int i = 0; i < n; ++i)
        bits += uint64_t(freq[i]) * lengths[i];
    return bits;
}

uint64_t EntropyBits(const uint64_t* counts, uint64_t total)
{
    uint64_t logTotal = Log2Fixed(total), bits = 0;
    for (int c = 0; c < 256; c++)
        if (counts[c])
            bits += counts[c] * (logTotal - Log2Fixed(counts[c]));
    return bits;
}

uint32_t Log2Fixed(uint64_t x)
{
    int msb = 63 - __builtin_clzll(x);
    // y = x / 2^msb in [1, 2) with 31 fraction bits; squaring it doubles
    // the logarithm, and each overflow past 2 is one more result bit.
    uint64_t y = msb >= 31 ? x >> (msb - 31) : x << (31 - msb);
    uint32_t result = uint32_t(msb) << 16;
    for (int bit = 15; bit >= 0; --bit) {
        y = (y * y) >> 31;
        if (y >= (uint64_t(2) << 31)) {
            y >>= 1;
            result |= 1u << bit;
        }
    }
    return result;
}
