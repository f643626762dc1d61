// Test-only writer of RAR 2.0 bit streams, symbol by symbol, for the streams
// the packer never writes: raw table sets, multimedia sets, chosen symbols
// and bits. Codes and LZ table sets come from the packer's own pieces,
// lengths and distances from the format's tables.
#ifndef OV_TESTS_SUPPORT_BIT_WRITER_H
#define OV_TESTS_SUPPORT_BIT_WRITER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "format/rar_format.h"
#include "pack/bit_writer.h"

namespace testsupport {

// Code lengths that give every symbol of an LZ set a code (main 9 bits,
// distances 6, repeat lengths 5): for when the exact tables do not matter.
std::vector<uint8_t> FlatLzLengths();

// One symbol of a table set after the code-length code, with the run field
// of 16, 17 and 18.
struct LengthSymbol {
    int symbol;
    uint32_t extra;
};

class Rar20Writer {
public:
    // An LZ set of 374 lengths, written as the packer writes an absolute set.
    void TableSet(const std::vector<uint8_t>& lengths);
    void NewTables(const std::vector<uint8_t>& lengths) { MainSymbol(kSymbolNewTables), TableSet(lengths); }
    // A multimedia set: `channels` x 257 absolute lengths.
    void MultimediaSet(int channels, const std::vector<uint8_t>& lengths);
    // The flag bits, the 19 code-length lengths and the symbols as given;
    // the tables for the symbols that follow are not known.
    void RawTableSet(bool multimedia, bool keep, int channels, const std::vector<uint8_t>& bitLengths,
                     const std::vector<LengthSymbol>& symbols);

    void Literal(uint8_t byte) { MainSymbol(byte); }
    void Literals(const std::vector<uint8_t>& bytes);
    // Symbols 270..297: `length` is what the decoder copies, bonus included.
    void Match(uint32_t length, uint32_t distance);
    void MainSymbol(uint32_t symbol) { Put(0, symbol); }
    void DistanceSymbol(uint32_t symbol) { Put(1, symbol); }
    void RepeatLengthSymbol(uint32_t symbol) { Put(2, symbol); }
    void ChannelSymbol(int channel, uint32_t symbol) { Put(3 + channel, symbol); }
    void Bits(uint32_t value, int bits) { bits_.Put(value, bits); }

    // The bytes written since the last call, padded to a byte: one entry's
    // stream. Tables carry on to the next entry, as in a solid archive.
    std::vector<uint8_t> FinishEntry();
    size_t BitsWritten() const { return size_t(bits_.BitCount()); }

private:
    void SetTable(int table, const uint8_t* lengths, int count);
    void Put(int table, uint32_t symbol);

    BitWriter bits_;
    // Main, distance, repeat length, 4 channels: the codes of each symbol.
    std::vector<uint8_t> lengths_[7];
    std::vector<uint16_t> codes_[7];
};

} // namespace testsupport

#endif
