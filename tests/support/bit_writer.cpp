#include "support/bit_writer.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <queue>
#include <stdexcept>

namespace testsupport {

// The format's constant tables, written out again here so that the writer
// does not borrow the decoder's.
const uint32_t kLenBase[28] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  10,  12,  14,  16,  20,
                               24, 28, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224};
const int kLenBits[28] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};
const int kDistBits[48] = {0,  0,  0,  0,  1,  1,  2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                           7,  7,  8,  8,  9,  9,  10, 10, 11, 11, 12, 12, 13, 13, 14, 14,
                           15, 15, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16};
const uint32_t kShortBase[8] = {0, 4, 8, 16, 32, 64, 128, 192};
const int kShortBits[8] = {2, 2, 3, 4, 5, 6, 6, 6};

uint32_t DistBase(int code)
{
    if (code < 4)
        return uint32_t(code);
    if (code >= 36)
        return 262144u + uint32_t(code - 36) * 65536u;
    // Two codes per power of two from 4 on: 4, 6, 8, 12, 16, 24, ...
    uint32_t power = 1u << (code / 2);
    return (code & 1) ? power + power / 2 : power;
}

static void Check(bool ok, const char* what)
{
    if (!ok)
        throw std::invalid_argument(what);
}

void BitWriter::Put(uint32_t value, int bits)
{
    for (int i = bits - 1; i >= 0; i--) {
        if (free_ == 0) {
            bytes_.push_back(0);
            free_ = 8;
        }
        free_--;
        if ((value >> i) & 1)
            bytes_.back() |= uint8_t(1u << free_);
        count_++;
    }
}

std::vector<uint8_t> BitWriter::Take()
{
    std::vector<uint8_t> out;
    out.swap(bytes_);
    free_ = 0;
    count_ = 0;
    return out;
}

std::vector<uint32_t> CanonicalCodes(const std::vector<uint8_t>& lengths)
{
    std::vector<uint32_t> codes(lengths.size(), 0);
    uint32_t code = 0;
    for (int len = 1; len <= 15; len++) {
        for (size_t s = 0; s < lengths.size(); s++)
            if (lengths[s] == len)
                codes[s] = code++;
        code <<= 1;
    }
    return codes;
}

std::vector<uint8_t> HuffmanLengths(const std::vector<uint64_t>& freqsIn, int maxBits)
{
    std::vector<uint64_t> freqs = freqsIn;
    size_t n = freqs.size();
    for (;;) {
        std::vector<uint8_t> lengths(n, 0);
        std::vector<size_t> used;
        for (size_t i = 0; i < n; i++)
            if (freqs[i])
                used.push_back(i);
        if (used.empty())
            return lengths;
        if (used.size() == 1) {
            lengths[used[0]] = 1;
            return lengths;
        }
        // Nodes 0..n-1 are leaves; parents follow.
        std::vector<int> parent(n, -1);
        using Item = std::pair<uint64_t, int>;
        std::priority_queue<Item, std::vector<Item>, std::greater<Item>> queue;
        for (size_t i : used)
            queue.push({freqs[i], int(i)});
        while (queue.size() > 1) {
            Item a = queue.top();
            queue.pop();
            Item b = queue.top();
            queue.pop();
            int id = int(parent.size());
            parent.push_back(-1);
            parent[size_t(a.second)] = id;
            parent[size_t(b.second)] = id;
            queue.push({a.first + b.first, id});
        }
        int longest = 0;
        for (size_t i : used) {
            int depth = 0;
            for (int p = parent[i]; p != -1; p = parent[size_t(p)])
                depth++;
            lengths[i] = uint8_t(depth);
            longest = std::max(longest, depth);
        }
        if (longest <= maxBits)
            return lengths;
        for (auto& f : freqs)
            if (f)
                f = (f + 1) / 2;
    }
}

std::vector<uint8_t> FlatLzLengths()
{
    std::vector<uint8_t> lengths(374, 0);
    std::fill(lengths.begin(), lengths.begin() + 298, 9);
    std::fill(lengths.begin() + 298, lengths.begin() + 346, 6);
    std::fill(lengths.begin() + 346, lengths.end(), 5);
    return lengths;
}

Rar20Writer::Rar20Writer()
    : previous_(1028, 0)
    , mainLen_(298, 0)
    , distLen_(48, 0)
    , repLen_(28, 0)
{
    mainCode_ = CanonicalCodes(mainLen_);
    distCode_ = CanonicalCodes(distLen_);
    repCode_ = CanonicalCodes(repLen_);
    for (int c = 0; c < 4; c++) {
        chanLen_[c].assign(257, 0);
        chanCode_[c] = CanonicalCodes(chanLen_[c]);
    }
}

void Rar20Writer::PutCode(const std::vector<uint32_t>& codes, const std::vector<uint8_t>& lengths, uint32_t symbol)
{
    Check(symbol < lengths.size() && lengths[symbol] > 0, "symbol has no code in the current tables");
    bits_.Put(codes[symbol], lengths[symbol]);
}

// Turns a set's lengths into code-length symbols (with runs when asked).
static std::vector<LengthSymbol> LengthSymbols(const std::vector<uint8_t>& lengths,
                                               const std::vector<uint8_t>& previous, bool keep, bool runs)
{
    std::vector<LengthSymbol> out;
    size_t n = lengths.size();
    for (size_t i = 0; i < n;) {
        if (runs) {
            size_t r = 0;
            if (lengths[i] == 0) {
                while (i + r < n && lengths[i + r] == 0)
                    r++;
                if (r >= 11) {
                    r = std::min<size_t>(r, 138);
                    out.push_back({18, uint32_t(r - 11)});
                    i += r;
                    continue;
                }
                if (r >= 3) {
                    r = std::min<size_t>(r, 10);
                    out.push_back({17, uint32_t(r - 3)});
                    i += r;
                    continue;
                }
            } else if (i > 0) {
                while (i + r < n && lengths[i + r] == lengths[i - 1])
                    r++;
                if (r >= 3) {
                    r = std::min<size_t>(r, 6);
                    out.push_back({16, uint32_t(r - 3)});
                    i += r;
                    continue;
                }
            }
        }
        int base = keep ? previous[i] : 0;
        out.push_back({(lengths[i] - base) & 15, 0});
        i++;
    }
    return out;
}

static std::vector<uint8_t> BitLengthsFor(const std::vector<LengthSymbol>& symbols)
{
    std::vector<uint64_t> freq(19, 0);
    for (auto& s : symbols)
        freq[size_t(s.symbol)]++;
    return HuffmanLengths(freq, 15);
}

void Rar20Writer::TableSet(const std::vector<uint8_t>& lengths, bool keep, bool runs)
{
    Check(lengths.size() == 374, "an LZ set has 374 lengths");
    auto symbols = LengthSymbols(lengths, previous_, keep, runs);
    RawTableSet(false, keep, 1, BitLengthsFor(symbols), symbols);
}

void Rar20Writer::MultimediaSet(int channels, const std::vector<uint8_t>& lengths, bool keep)
{
    Check(channels >= 1 && channels <= 4 && lengths.size() == size_t(channels) * 257, "bad multimedia set");
    auto symbols = LengthSymbols(lengths, previous_, keep, true);
    RawTableSet(true, keep, channels, BitLengthsFor(symbols), symbols);
}

void Rar20Writer::RawTableSet(bool multimedia, bool keep, int channels, const std::vector<uint8_t>& bitLengths,
                              const std::vector<LengthSymbol>& symbols)
{
    Check(bitLengths.size() == 19, "19 code-length lengths");
    bits_.Put(multimedia ? 1 : 0, 1);
    bits_.Put(keep ? 1 : 0, 1);
    if (multimedia)
        bits_.Put(uint32_t(channels - 1), 2);
    for (uint8_t l : bitLengths)
        bits_.Put(l, 4);
    auto codes = CanonicalCodes(bitLengths);
    for (auto& s : symbols) {
        PutCode(codes, bitLengths, uint32_t(s.symbol));
        if (s.symbol == 16)
            bits_.Put(s.extra, 2);
        else if (s.symbol == 17)
            bits_.Put(s.extra, 3);
        else if (s.symbol == 18)
            bits_.Put(s.extra, 7);
    }

    // What the decoder makes of it.
    if (!keep)
        std::fill(previous_.begin(), previous_.end(), 0);
    size_t size = multimedia ? size_t(channels) * 257 : 374;
    std::vector<uint8_t> lengths(1028, 0);
    size_t i = 0;
    for (auto& s : symbols) {
        if (i >= size)
            break;
        if (s.symbol < 16) {
            lengths[i] = uint8_t((s.symbol + previous_[i]) & 15);
            i++;
        } else {
            uint32_t n = s.symbol == 16 ? s.extra + 3 : s.symbol == 17 ? s.extra + 3 : s.extra + 11;
            for (; n > 0 && i < size; n--, i++)
                lengths[i] = s.symbol == 16 ? (i > 0 ? lengths[i - 1] : 0) : 0;
        }
    }
    if (multimedia) {
        for (int c = 0; c < channels; c++) {
            chanLen_[c].assign(lengths.begin() + c * 257, lengths.begin() + (c + 1) * 257);
            chanCode_[c] = CanonicalCodes(chanLen_[c]);
        }
    } else {
        SetLzLengths(std::vector<uint8_t>(lengths.begin(), lengths.begin() + 374));
    }
    previous_ = lengths;
}

void Rar20Writer::SetLzLengths(const std::vector<uint8_t>& l)
{
    mainLen_.assign(l.begin(), l.begin() + 298);
    distLen_.assign(l.begin() + 298, l.begin() + 346);
    repLen_.assign(l.begin() + 346, l.begin() + 374);
    mainCode_ = CanonicalCodes(mainLen_);
    distCode_ = CanonicalCodes(distLen_);
    repCode_ = CanonicalCodes(repLen_);
}

void Rar20Writer::NewTables(const std::vector<uint8_t>& lengths, bool keep)
{
    MainSymbol(269);
    TableSet(lengths, keep);
}

void Rar20Writer::Literal(uint8_t byte)
{
    MainSymbol(byte);
}

void Rar20Writer::Literals(const std::vector<uint8_t>& bytes)
{
    for (uint8_t b : bytes)
        Literal(b);
}

static int LengthCode(uint32_t value)
{
    int code = 27;
    while (kLenBase[code] > value)
        code--;
    return code;
}

static int DistCode(uint32_t distance)
{
    int code = 47;
    while (DistBase(code) > distance - 1)
        code--;
    return code;
}

static int ShortCode(uint32_t distance)
{
    int code = 7;
    while (kShortBase[code] > distance - 1)
        code--;
    return code;
}

void Rar20Writer::Match(uint32_t length, uint32_t distance)
{
    Check(distance >= 1 && distance <= 0x100000, "distance 1..1048576");
    uint32_t bonus = (distance >= 0x2000 ? 1 : 0) + (distance >= 0x40000 ? 1 : 0);
    Check(length >= 3 + bonus && length <= 258 + bonus, "length out of reach for this distance");
    uint32_t value = length - 3 - bonus;
    int lc = LengthCode(value);
    int dc = DistCode(distance);
    MainSymbol(uint32_t(270 + lc));
    if (kLenBits[lc])
        bits_.Put(value - kLenBase[lc], kLenBits[lc]);
    DistanceSymbol(uint32_t(dc));
    if (kDistBits[dc])
        bits_.Put(distance - 1 - DistBase(dc), kDistBits[dc]);
}

void Rar20Writer::ShortMatch(uint32_t distance)
{
    Check(distance >= 1 && distance <= 256, "short distance 1..256");
    int code = ShortCode(distance);
    MainSymbol(uint32_t(261 + code));
    bits_.Put(distance - 1 - kShortBase[code], kShortBits[code]);
}

void Rar20Writer::MainSymbol(uint32_t symbol)
{
    PutCode(mainCode_, mainLen_, symbol);
}

void Rar20Writer::DistanceSymbol(uint32_t symbol)
{
    PutCode(distCode_, distLen_, symbol);
}

void Rar20Writer::RepeatLengthSymbol(uint32_t symbol)
{
    PutCode(repCode_, repLen_, symbol);
}

void Rar20Writer::ChannelSymbol(int channel, uint32_t symbol)
{
    PutCode(chanCode_[channel], chanLen_[channel], symbol);
}

void Rar20Writer::Bits(uint32_t value, int bits)
{
    bits_.Put(value, bits);
}

std::vector<uint8_t> Rar20Writer::FinishEntry()
{
    return bits_.Take();
}

std::vector<Token> GreedyParse(const std::vector<uint8_t>& data, uint32_t maxDistance, bool shortMatches, size_t start)
{
    std::vector<Token> tokens;
    const size_t n = data.size();
    const int kHashBits = 16;
    std::vector<int64_t> head(size_t(1) << kHashBits, -1);
    auto hashAt = [&](size_t i) {
        uint32_t v = uint32_t(data[i]) | uint32_t(data[i + 1]) << 8 | uint32_t(data[i + 2]) << 16;
        return (v * 2654435761u) >> (32 - kHashBits);
    };
    for (size_t k = 0; k + 3 <= n && k < start; k++)
        head[hashAt(k)] = int64_t(k);
    size_t i = start;
    while (i < n) {
        uint32_t bestLen = 0, bestDist = 0;
        if (i + 3 <= n) {
            int64_t cand = head[hashAt(i)];
            if (cand >= 0 && i - size_t(cand) <= maxDistance) {
                uint32_t dist = uint32_t(i - size_t(cand));
                uint32_t bonus = (dist >= 0x2000 ? 1 : 0) + (dist >= 0x40000 ? 1 : 0);
                uint32_t cap = 258 + bonus;
                uint32_t len = 0;
                while (len < cap && i + len < n && data[size_t(cand) + len] == data[i + len])
                    len++;
                if (len >= 3 + bonus) {
                    bestLen = len;
                    bestDist = dist;
                }
            }
        }
        if (!bestLen && shortMatches && i + 2 <= n) {
            for (uint32_t d = 1; d <= 4 && d <= i; d++)
                if (data[i - d] == data[i] && data[i - d + 1] == data[i + 1]) {
                    bestLen = 2;
                    bestDist = d;
                    break;
                }
        }
        size_t advance = bestLen ? bestLen : 1;
        for (size_t k = 0; k < advance; k++)
            if (i + k + 3 <= n)
                head[hashAt(i + k)] = int64_t(i + k);
        tokens.push_back(bestLen ? Token{bestLen, bestDist} : Token{0, data[i]});
        i += advance;
    }
    return tokens;
}

std::vector<uint8_t> EncodeTokens(const std::vector<Token>& tokens)
{
    // First pass: symbol frequencies of the main and distance tables.
    std::vector<uint64_t> mainFreq(298, 0), distFreq(48, 0);
    for (auto& t : tokens) {
        if (!t.length) {
            mainFreq[t.distance]++;
        } else if (t.length == 2) {
            mainFreq[size_t(261 + ShortCode(t.distance))]++;
        } else {
            uint32_t bonus = (t.distance >= 0x2000 ? 1 : 0) + (t.distance >= 0x40000 ? 1 : 0);
            mainFreq[size_t(270 + LengthCode(t.length - 3 - bonus))]++;
            distFreq[size_t(DistCode(t.distance))]++;
        }
    }
    std::vector<uint8_t> lengths = HuffmanLengths(mainFreq);
    auto dist = HuffmanLengths(distFreq);
    lengths.insert(lengths.end(), dist.begin(), dist.end());
    lengths.resize(374, 0);

    Rar20Writer w;
    w.TableSet(lengths);
    EmitTokens(w, tokens);
    return w.FinishEntry();
}

void EmitTokens(Rar20Writer& w, const std::vector<Token>& tokens)
{
    for (auto& t : tokens) {
        if (!t.length)
            w.Literal(uint8_t(t.distance));
        else if (t.length == 2)
            w.ShortMatch(t.distance);
        else
            w.Match(t.length, t.distance);
    }
}

} // namespace testsupport
