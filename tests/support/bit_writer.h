// Test-only writer of RAR 2.0 bit streams, symbol by symbol: table sets
// (code-length code, runs, keep flag, multimedia sets), literals and every
// kind of match. It models the decoder's code tables so that high-level
// calls ("a match of length 7 at distance 300") choose the symbol and extra
// bits; raw calls write exactly the bits asked for.
#ifndef OV_TESTS_SUPPORT_BIT_WRITER_H
#define OV_TESTS_SUPPORT_BIT_WRITER_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace testsupport {

// The format's length and distance codes: base values and extra bits of the
// 28 length codes, the 48 distance codes and the 8 short distances.
extern const uint32_t kLenBase[28];
extern const int kLenBits[28];
extern const int kDistBits[48];
extern const uint32_t kShortBase[8];
extern const int kShortBits[8];
uint32_t DistBase(int code);

class BitWriter {
public:
    // Appends the low `bits` bits of `value`, most significant first.
    void Put(uint32_t value, int bits);
    size_t BitCount() const { return count_; }
    // The bytes so far, the last one padded with zero bits; starts afresh.
    std::vector<uint8_t> Take();

private:
    std::vector<uint8_t> bytes_;
    int free_ = 0; // free bits in the last byte
    size_t count_ = 0;
};

// Canonical codes for code lengths: shorter codes first, then by symbol.
std::vector<uint32_t> CanonicalCodes(const std::vector<uint8_t>& lengths);

// Huffman code lengths for the frequencies, at most `maxBits` bits; unused
// symbols get 0, a single used symbol gets length 1.
std::vector<uint8_t> HuffmanLengths(const std::vector<uint64_t>& freqs, int maxBits = 15);

// Code lengths that make every symbol of an LZ set usable (main 9 bits,
// distances 6, repeat lengths 5): handy when the exact tables do not matter.
std::vector<uint8_t> FlatLzLengths();

// One symbol of a table set, as written after the code-length code.
struct LengthSymbol {
    int symbol;     // 0..18
    uint32_t extra; // the run field of 16, 17, 18
};

class Rar20Writer {
public:
    Rar20Writer();

    // --- Table sets -----------------------------------------------------
    // An LZ set of 374 lengths (main 298, distance 48, repeat 28). keep:
    // coded as changes to the previous lengths. runs: use symbols 16..18.
    void TableSet(const std::vector<uint8_t>& lengths, bool keep = false, bool runs = true);
    // A multimedia set: `channels` x 257 lengths.
    void MultimediaSet(int channels, const std::vector<uint8_t>& lengths, bool keep = false);
    // Full control: the flag bits, the 19 code-length lengths and the
    // symbols as given. The model takes the lengths they decode to.
    void RawTableSet(bool multimedia, bool keep, int channels, const std::vector<uint8_t>& bitLengths,
                     const std::vector<LengthSymbol>& symbols);
    // Symbol 269 followed by a set.
    void NewTables(const std::vector<uint8_t>& lengths, bool keep = false);

    // --- Symbols --------------------------------------------------------
    void Literal(uint8_t byte);
    void Literals(const std::vector<uint8_t>& bytes);
    // Symbols 270..297 with the length and distance bonuses worked out;
    // `length` is the number of bytes the decoder will copy.
    void Match(uint32_t length, uint32_t distance);
    // Symbols 261..268: length 2 at distance 1..256.
    void ShortMatch(uint32_t distance);
    // Raw: one main-table symbol, one symbol of another table, plain bits.
    void MainSymbol(uint32_t symbol);
    void DistanceSymbol(uint32_t symbol);
    void RepeatLengthSymbol(uint32_t symbol);
    void ChannelSymbol(int channel, uint32_t symbol);
    void Bits(uint32_t value, int bits);

    // --- Entries --------------------------------------------------------
    // The packed bytes of the entry written so far (padded to a byte); the
    // next entry's stream starts here. Tables carry on, as in a solid
    // archive.
    std::vector<uint8_t> FinishEntry();

    // The modelled decoder state, for tests that check it.
    const std::vector<uint8_t>& MainLengths() const { return mainLen_; }
    size_t BitsWritten() const { return bits_.BitCount(); }

private:
    void PutCode(const std::vector<uint32_t>& codes, const std::vector<uint8_t>& lengths, uint32_t symbol);
    void SetLzLengths(const std::vector<uint8_t>& lengths374);

    BitWriter bits_;
    std::vector<uint8_t> previous_; // 1028: the base of the next delta-coded set
    std::vector<uint8_t> mainLen_, distLen_, repLen_;
    std::vector<uint32_t> mainCode_, distCode_, repCode_;
    std::vector<uint8_t> chanLen_[4];
    std::vector<uint32_t> chanCode_[4];
};

// A token of an LZ77 parse: a literal (length 0) or a match.
struct Token {
    uint32_t length;   // 0 for a literal
    uint32_t distance; // or the literal byte
};

// A greedy LZ77 parse with one hash candidate per position; matches of
// length 3..258 at distances up to `maxDistance` (length 2 at distance up to
// 256 with `shortMatches`), respecting the format's length bonuses.
// Parsing starts at `start`; the bytes before it serve as history (for the
// next entry of a solid archive).
std::vector<Token> GreedyParse(const std::vector<uint8_t>& data, uint32_t maxDistance = 0x100000,
                               bool shortMatches = true, size_t start = 0);
// One non-solid entry holding the tokens with tables fitted to them.
std::vector<uint8_t> EncodeTokens(const std::vector<Token>& tokens);
// Writes the tokens with the writer's current tables (which must give every
// symbol they need a code, as FlatLzLengths does).
void EmitTokens(Rar20Writer& writer, const std::vector<Token>& tokens);

} // namespace testsupport

#endif
