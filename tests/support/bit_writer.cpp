#include "support/bit_writer.h"

#include <stdexcept>

#include "pack/huffman_builder.h"
#include "pack/symbol_codes.h"
#include "pack/table_set_writer.h"

namespace testsupport {

static void Check(bool ok, const char* what)
{
    if (!ok)
        throw std::invalid_argument(what);
}

std::vector<uint8_t> FlatLzLengths()
{
    std::vector<uint8_t> lengths(kLzSetSize, 5);
    std::fill(lengths.begin(), lengths.begin() + kMainSymbols + kDistanceSymbols, 6);
    std::fill(lengths.begin(), lengths.begin() + kMainSymbols, 9);
    return lengths;
}

void Rar20Writer::SetTable(int table, const uint8_t* lengths, int count)
{
    lengths_[table].assign(lengths, lengths + count);
    codes_[table].resize(size_t(count));
    BuildCanonicalCodes(lengths, count, codes_[table].data());
}

void Rar20Writer::Put(int table, uint32_t symbol)
{
    Check(symbol < lengths_[table].size() && lengths_[table][symbol] > 0, "symbol has no code in the current tables");
    bits_.Put(codes_[table][symbol], lengths_[table][symbol]);
}

void Rar20Writer::TableSet(const std::vector<uint8_t>& lengths)
{
    Check(lengths.size() == kLzSetSize, "an LZ set has 374 lengths");
    uint8_t none[kLzSetSize] = {0}; // as changes to nothing: never cheaper than absolute
    WriteTableSet(lengths.data(), none, &bits_);
    SetTable(0, lengths.data(), kMainSymbols);
    SetTable(1, lengths.data() + kMainSymbols, kDistanceSymbols);
    SetTable(2, lengths.data() + kMainSymbols + kDistanceSymbols, kRepeatLengthSymbols);
}

void Rar20Writer::MultimediaSet(int channels, const std::vector<uint8_t>& lengths)
{
    Check(lengths.size() == size_t(channels) * kMultimediaSymbols, "a multimedia set has 257 lengths a channel");
    std::vector<LengthSymbol> symbols;
    for (uint8_t l : lengths)
        symbols.push_back({l, 0});
    // Five bits for each code length: plain, if not the cheapest.
    RawTableSet(true, false, channels, std::vector<uint8_t>(kBitLengthSymbols, 5), symbols);
    for (int c = 0; c < channels; c++)
        SetTable(3 + c, lengths.data() + c * kMultimediaSymbols, kMultimediaSymbols);
}

void Rar20Writer::RawTableSet(bool multimedia, bool keep, int channels, const std::vector<uint8_t>& bitLengths,
                              const std::vector<LengthSymbol>& symbols)
{
    Check(bitLengths.size() == kBitLengthSymbols && channels >= 1 && channels <= 4, "19 lengths, 1 to 4 channels");
    bits_.Put(multimedia ? 1 : 0, 1);
    bits_.Put(keep ? 1 : 0, 1);
    if (multimedia)
        bits_.Put(uint32_t(channels - 1), 2);
    for (uint8_t l : bitLengths)
        bits_.Put(l, 4);
    SetTable(0, bitLengths.data(), kBitLengthSymbols);
    static const int kFieldBits[3] = {2, 3, 7}; // of symbols 16, 17, 18
    for (const LengthSymbol& s : symbols) {
        Put(0, uint32_t(s.symbol));
        if (s.symbol >= kLengthRepeatPrevious)
            bits_.Put(s.extra, kFieldBits[s.symbol - kLengthRepeatPrevious]);
    }
    for (int t = 0; t < 3; t++)
        lengths_[t].clear();
}

void Rar20Writer::Literals(const std::vector<uint8_t>& bytes)
{
    for (uint8_t b : bytes)
        MainSymbol(b);
}

void Rar20Writer::Match(uint32_t length, uint32_t distance)
{
    uint32_t bonus = MatchLengthBonus(distance);
    Check(distance >= 1 && distance <= kWindowSize && length >= 3 + bonus && length <= 258 + bonus,
          "no such match: distance 1..1048576, length 3..258 plus the bonus");
    uint32_t v = length - 3 - bonus;
    int lc = LengthCode(v), dc = DistanceCode(distance - 1);
    MainSymbol(uint32_t(kSymbolMatch + lc));
    bits_.Put(v - kLengthBase[lc], kLengthExtraBits[lc]);
    DistanceSymbol(uint32_t(dc));
    bits_.Put(distance - 1 - kDistanceBase[dc], kDistanceExtraBits[dc]);
}

std::vector<uint8_t> Rar20Writer::FinishEntry()
{
    bits_.Finish();
    std::vector<uint8_t> out = std::move(bits_.Bytes());
    bits_ = BitWriter();
    return out;
}

} // namespace testsupport
