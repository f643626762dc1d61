// The two entry checksums against known values and an independent CRC-32.
#include "format/checksum.h"
#include "format/rar_format.h"

#include "support/archive_builder.h"

#include <gtest/gtest.h>

using namespace testsupport;

TEST(Checksums, Crc32AndRotateSum)
{
    auto* crc = new Crc32Table;
    BuildCrcTable(crc);
    auto digits = BytesOf("123456789");
    EXPECT_EQ(~Crc32Update(crc, 0xFFFFFFFFu, digits.data(), digits.size()), 0xCBF43926u);
    // Any split of the bytes gives the same value; long runs go sixteen at a time.
    std::vector<uint8_t> data(10007);
    for (size_t i = 0; i < data.size(); i++)
        data[i] = uint8_t(i * 31 + (i >> 5));
    for (size_t split : {size_t(0), size_t(1), size_t(7), size_t(8), size_t(4999), size_t(10007)}) {
        uint32_t c = Crc32Update(crc, 0xFFFFFFFFu, data.data(), split);
        c = Crc32Update(crc, c, data.data() + split, data.size() - split);
        EXPECT_EQ(~c, Crc32(data)) << split;
    }
    auto abc = BytesOf("abc");
    EXPECT_EQ(RotateSumUpdate(0, abc.data(), 3), 0x0556);
    EXPECT_EQ(ChecksumUpdate(crc, 0, abc.data(), 3, kFormatOldGeneration), 0x0556u);
    EXPECT_EQ(ChecksumUpdate(crc, 0xFFFFFFFFu, digits.data(), 9, kFormatCurrentGeneration), ~0xCBF43926u);
    delete crc;
}
