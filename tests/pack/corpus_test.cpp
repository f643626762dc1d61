// Both benchmark corpora (bench/make_corpora.sh: Windows DLLs and EXEs and
// text and HTML documentation) packed at every level and read back through
// the product's reader. Skipped when the corpora have not been built.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "read_back.h"

namespace {

std::string CorporaFolder()
{
    const char* env = std::getenv("OV_CORPORA");
    return env ? env : OV_DEFAULT_CORPORA;
}

std::vector<PackInput> LoadCorpus(const std::string& name)
{
    std::vector<PackInput> entries;
    std::string dir = CorporaFolder() + "/" + name;
    std::ifstream list(dir + ".list");
    std::string rel;
    while (std::getline(list, rel)) {
        std::ifstream f(dir + "/" + rel, std::ios::binary);
        PackInput e =
            MakeEntry(rel, std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()));
        std::replace(e.name.begin(), e.name.end(), '/', '\\');
        entries.push_back(std::move(e));
    }
    return entries;
}

class Corpus : public ::testing::TestWithParam<std::tuple<const char*, int>> {};

TEST_P(Corpus, ReadsBackAtEveryLevel)
{
    std::vector<PackInput> entries = LoadCorpus(std::get<0>(GetParam()));
    if (entries.empty())
        GTEST_SKIP() << "no corpus in " << CorporaFolder() << " (bench/make_corpora.sh)";
    std::vector<uint8_t> archive = ExpectRoundTrip(entries, std::get<1>(GetParam()));
    size_t input = 0;
    for (const PackInput& e : entries)
        input += e.data.size();
    // Executables and documentation shrink to well under half.
    EXPECT_LT(archive.size(), input / 2);
}

INSTANTIATE_TEST_SUITE_P(Levels, Corpus,
                         ::testing::Combine(::testing::Values("small", "large"), ::testing::Values(1, 2, 3, 4, 5)),
                         [](const ::testing::TestParamInfo<Corpus::ParamType>& info) {
                             return std::string(std::get<0>(info.param)) + "_level" +
                                    std::to_string(std::get<1>(info.param));
                         });

} // namespace
