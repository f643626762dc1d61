// Bits are appended most significant first within each byte, as the reader
// peeks them.
#ifndef OV_PACK_BIT_WRITER_H
#define OV_PACK_BIT_WRITER_H

#include <cstdint>
#include <vector>

class BitWriter {
public:
    // Appends the low `bits` bits of `value` (0 to 24 bits), highest first.
    void Put(uint32_t value, int bits)
    {
        acc_ = (acc_ << bits) | (value & ((1u << bits) - 1));
        count_ += bits;
        while (count_ >= 8) {
            count_ -= 8;
            bytes_.push_back(uint8_t(acc_ >> count_));
        }
    }

    // Pads the last byte with zero bits. The stream then ends at the byte
    // that holds its last bit, with nothing after it.
    void Finish()
    {
        if (count_ > 0)
            Put(0, 8 - count_);
    }

    uint64_t BitCount() const { return uint64_t(bytes_.size()) * 8 + count_; }
    std::vector<uint8_t>& Bytes() { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    uint64_t acc_ = 0;
    int count_ = 0;
};

#endif
