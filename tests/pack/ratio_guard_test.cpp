// Guards the compression ratio: a fixed generated payload (text, machine
// code, tables, runs, already compressed data, far repeats) packed at every
// level must not come out more than 0.5% larger than the sizes recorded in
// ratio_guard_sizes.txt. A packer change that improves them records the new
// sizes in the same commit (the failure message prints them).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>

#include "pack/archive_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Raw generator output only: the standard distributions differ between
// libraries, and the payload must be the same everywhere.
struct Source {
    std::mt19937 random;
    uint32_t Below(uint32_t n) { return uint32_t(random() % n); }
};

// Prose from a vocabulary whose first words are the most common, in lines,
// with a figure now and then.
Bytes Text(Source* s, size_t n)
{
    static const char* words[] = {"the",     "of",      "and",      "to",       "a",      "in",        "is",
                                  "for",     "setup",   "file",     "folder",   "when",   "program",   "window",
                                  "install", "user",    "language", "registry", "value",  "archive",   "entry",
                                  "data",    "table",   "size",     "shortcut", "target", "version",   "product",
                                  "remove",  "message", "license",  "system",   "which",  "directory", "error"};
    Bytes out;
    size_t line = 0;
    while (out.size() < n) {
        uint32_t r = s->Below(1000);
        std::string w = words[r * r / 1000 * std::size(words) / 1000];
        if (s->Below(20) == 0)
            w = std::to_string(s->Below(100000));
        w += line > 60 + s->Below(20) ? ".\r\n" : s->Below(12) ? " " : ", ";
        line = w.back() == '\n' ? 0 : line + w.size();
        out.insert(out.end(), w.begin(), w.end());
    }
    out.resize(n);
    return out;
}

// Something like machine code: common instruction shapes with call targets,
// offsets and constants of their own, and now and then a table of rising
// addresses.
Bytes Code(Source* s, size_t n)
{
    static const Bytes shapes[] = {
        {0x48, 0x89, 0x5C, 0x24}, {0x48, 0x8B, 0x45}, {0xE8},      {0x0F, 0x84}, {0x48, 0x83, 0xEC},
        {0xC3, 0xCC, 0xCC},       {0x8B, 0x4C, 0x24}, {0x41, 0xB8}};
    Bytes out;
    uint32_t address = 0x10001000u;
    while (out.size() < n) {
        const Bytes& shape = shapes[s->Below(8)];
        out.insert(out.end(), shape.begin(), shape.end());
        uint32_t value = shape[0] == 0x41 ? s->Below(s->Below(2) ? 256 : 1u << 31)
                                          : 0x40000u + s->Below(1u << 16) - uint32_t(out.size());
        for (size_t i = 0; i < (shape.size() == 3 ? 1 : shape.size() < 3 ? 4 : 0); ++i)
            out.push_back(uint8_t(shape.size() == 3 ? s->Below(256) : value >> (8 * i)));
        for (int k = s->Below(2000) ? 64 : 0; k < 64; ++k, address += 16 + s->Below(64) * 4)
            for (int i = 0; i < 8; ++i)
                out.push_back(i < 4 ? uint8_t(address >> (8 * i)) : 0);
    }
    out.resize(n);
    return out;
}

// Runs of one byte and short periods, of all lengths.
Bytes Runs(Source* s, size_t n)
{
    Bytes out;
    while (out.size() < n) {
        size_t period = 1 + s->Below(s->Below(2) ? 2 : 16), length = 3 + s->Below(s->Below(8) ? 60 : 2000);
        Bytes unit(period);
        for (uint8_t& b : unit)
            b = uint8_t(s->Below(4) ? s->Below(16) : s->Below(256));
        for (size_t i = 0; i < length; ++i)
            out.push_back(unit[i % period]);
    }
    out.resize(n);
    return out;
}

Bytes Noise(Source* s, size_t n) // already compressed data
{
    Bytes out(n);
    for (uint8_t& b : out)
        b = uint8_t(s->random() >> 24);
    return out;
}

// About 2.8 MB in 39 entries of very different sizes, the kinds mixed as a
// product mixes them; the last entries repeat earlier ones from far back.
std::vector<PackInput> Payload()
{
    Source s{std::mt19937(20261207)};
    std::vector<PackInput> entries;
    auto add = [&](const char* kind, Bytes data) {
        entries.push_back({kind + std::to_string(entries.size()), std::move(data), 0x5B8A6000u, 0x20});
    };
    for (int i = 0; i < 10; ++i) {
        add("text", Text(&s, 200 + (size_t(1) << (7 + i))));
        add("code", Code(&s, 1000 + (size_t(1) << (8 + i % 10))));
        add("runs", Runs(&s, 50 + s.Below(40000)));
        if (i % 3 == 0)
            add("noise", Noise(&s, 100 + (size_t(1) << (6 + 2 * i / 3))));
    }
    // Kinds taking turns every few KB within one entry: where blocks begin
    // matters here.
    Bytes turns;
    for (int i = 0; i < 80; ++i) {
        Bytes part = i % 2 ? Code(&s, 2000 + s.Below(4000)) : Text(&s, 2000 + s.Below(4000));
        turns.insert(turns.end(), part.begin(), part.end());
    }
    add("turns", std::move(turns));
    add("text", Text(&s, 400000));
    add("code", Code(&s, 500000));
    for (int i = 0; i < 2; ++i) { // far repeats, with a change here and there
        add("copy", entries[entries.size() - 2].data);
        for (size_t at = 777; at < entries.back().data.size(); at += 40000)
            entries.back().data[at] ^= 1;
    }
    return entries;
}

TEST(RatioGuard, NoLevelGrowsOverItsRecordedSize)
{
    std::map<int, uint64_t> recorded;
    std::ifstream file(OV_RATIO_SIZES);
    for (std::string line; std::getline(file, line);) {
        int level;
        unsigned long long size;
        if (sscanf(line.c_str(), "level %d %llu", &level, &size) == 2)
            recorded[level] = size;
    }
    ASSERT_EQ(recorded.size(), 5u) << "cannot read " << OV_RATIO_SIZES;
    std::vector<PackInput> payload = Payload();
    uint64_t input = 0;
    for (const PackInput& e : payload)
        input += e.data.size();
    std::ostringstream now;
    bool grew = false;
    for (int level = 1; level <= 5; ++level) {
        PackSettings settings;
        settings.level = level;
        Bytes archive;
        std::string error;
        ASSERT_TRUE(WriteArchive(payload, settings, &archive, &error)) << error;
        now << "level " << level << " " << archive.size() << "\n";
        grew |= archive.size() * 1000 > recorded[level] * 1005;
    }
    EXPECT_FALSE(grew) << "the " << input << "-byte payload packed more than 0.5% over a recorded size; now:\n"
                       << now.str();
    std::printf("%s", now.str().c_str());
}

} // namespace
