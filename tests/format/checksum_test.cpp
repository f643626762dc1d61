// The entry checksums: CRC-32 against its known value and, over any split
// of long data, against an independent bit-by-bit CRC; the rotate-add sum.
#include "format/checksum.h"
#include "format/rar_format.h"

#include "support/archive_builder.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

TEST(Checksums, Crc32AndRotateSum)
{
    auto crc = std::make_unique<Crc32Table>();
    BuildCrcTable(crc.get());
    auto digits = testsupport::BytesOf("123456789");
    EXPECT_EQ(Crc32Of(crc.get(), digits.data(), 9), 0xCBF43926u);
    EXPECT_EQ(ChecksumUpdate(crc.get(), 0xFFFFFFFFu, digits.data(), 9, kFormatCurrentGeneration), ~0xCBF43926u);
    // Long runs go sixteen bytes at a time.
    auto data = testsupport::SampleText(10007, 1);
    for (size_t split : {size_t(0), size_t(1), size_t(7), size_t(8), size_t(4999), size_t(10007)}) {
        uint32_t c = Crc32Update(crc.get(), 0xFFFFFFFFu, data.data(), split);
        EXPECT_EQ(~Crc32Update(crc.get(), c, data.data() + split, data.size() - split), testsupport::Crc32(data));
    }
    // Every length around the wide steps' boundaries (64-byte folds, 16-byte
    // tails, the bytes after them) and every start alignment.
    for (size_t start = 0; start < 16; start += 5)
        for (size_t length = 0; length < 700; length += length < 300 ? 1 : 37) {
            std::vector<uint8_t> part(data.begin() + start, data.begin() + start + length);
            EXPECT_EQ(Crc32Of(crc.get(), data.data() + start, length), testsupport::Crc32(part))
                << start << " " << length;
        }
    auto abc = testsupport::BytesOf("abc");
    EXPECT_EQ(ChecksumUpdate(crc.get(), 0, abc.data(), 3, kFormatOldGeneration), 0x0556u);
}
