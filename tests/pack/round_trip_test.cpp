// Archives of every level read back byte for byte through the product's
// reader: the writer must respect each rule the reader decodes by.
#include <gtest/gtest.h>

#include "read_back.h"

namespace {

class RoundTrip : public ::testing::TestWithParam<int> {};

TEST_P(RoundTrip, MixedSmallEntries) {
    std::vector<PackInput> in;
    in.push_back(MakeEntry("FILE_ID.DIZ", TextBytes(300, 1)));
    in.push_back(MakeEntry("empty.txt", {}));
    in.push_back(MakeEntry("one.bin", {42}));
    in.push_back(MakeEntry("two.bin", {7, 7}));
    in.push_back(MakeEntry("text\\readme.txt", TextBytes(20000, 2)));
    in.push_back(MakeEntry("random.bin", RandomBytes(5000, 3)));
    in.push_back(MakeEntry("again.txt", TextBytes(20000, 2)));  // a copy: far matches
    in.push_back(MakeEntry("zeros.bin", std::vector<uint8_t>(100000, 0)));
    ExpectRoundTrip(in, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Levels, RoundTrip, ::testing::Values(1, 2, 3, 4, 5));

}  // namespace
