// Decoding speed: our RAR 2.0 decoder against zlib's inflate on the same
// data, in MB/s of output. Our side runs the decoder as the archive pass
// does (packed bytes from a stream, delivery into a buffer with the CRC-32
// folded in); zlib's side inflates a zlib stream (with its Adler-32) into a
// ready buffer. Streams for our decoder come from our packer at level 3, the
// default.
//
// Data sets: literal-heavy and match-heavy synthetic data, and, when the
// machine has them, real text (/usr/share/doc) and real Windows binaries
// (Wine's DLLs), 4 MB each.
#include "format/checksum.h"
#include "pack/lz_encoder.h"
#include "unpack/decoder_state.h"
#include "unpack/lz_decoder.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

struct DataSet {
    std::string name;
    std::vector<uint8_t> data;
    std::vector<uint8_t> ours; // RAR 2.0 stream
    std::vector<uint8_t> zlib; // zlib stream, level 6
};

uint32_t Next(uint32_t& seed)
{
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
}

// Independent bytes with a skewed distribution (p(k) falling as
// 1/(k+2)^1.3, about 5.5 bits of entropy): Huffman coding helps, repeats are
// rare, so nearly every byte is a literal.
std::vector<uint8_t> LiteralHeavy(size_t size)
{
    std::vector<double> weight(256);
    double total = 0;
    for (int k = 0; k < 256; k++)
        total += weight[size_t(k)] = std::pow(k + 2.0, -1.3);
    std::vector<uint8_t> pick(65536);
    double cumulative = 0;
    size_t slot = 0;
    for (int k = 0; k < 256; k++) {
        cumulative += weight[size_t(k)] / total;
        for (; slot < size_t(cumulative * 65536) && slot < pick.size(); slot++)
            pick[slot] = uint8_t(k * 37 + 11); // scattered values
    }
    for (; slot < pick.size(); slot++)
        pick[slot] = 255;
    std::vector<uint8_t> out;
    uint32_t seed = 1;
    while (out.size() < size)
        out.push_back(pick[Next(seed) & 0xFFFF]);
    return out;
}

// Long repeats at varied distances with short literal runs in between.
std::vector<uint8_t> MatchHeavy(size_t size)
{
    std::vector<uint8_t> out;
    uint32_t seed = 7;
    for (int i = 0; i < 4096; i++)
        out.push_back(uint8_t(Next(seed)));
    while (out.size() < size) {
        uint32_t distance = 1 + Next(seed) % std::min<size_t>(out.size(), 200000);
        uint32_t length = 20 + Next(seed) % 200;
        for (uint32_t k = 0; k < length; k++)
            out.push_back(out[out.size() - distance]);
        for (uint32_t k = Next(seed) % 4; k > 0; k--)
            out.push_back(uint8_t(Next(seed)));
    }
    out.resize(size);
    return out;
}

// The first files (sorted by path) under `dir` matching `suffixes`, up to
// `size` bytes in all.
std::vector<uint8_t> FilesUnder(const std::string& dir, const std::vector<std::string>& suffixes, size_t size)
{
    std::vector<std::string> paths;
    std::error_code ec;
    for (auto& e : std::filesystem::recursive_directory_iterator(dir, ec)) {
        if (!e.is_regular_file(ec))
            continue;
        std::string p = e.path().string();
        for (auto& s : suffixes)
            if (p.size() > s.size() && p.compare(p.size() - s.size(), s.size(), s) == 0)
                paths.push_back(p);
    }
    std::sort(paths.begin(), paths.end());
    std::vector<uint8_t> out;
    for (auto& p : paths) {
        std::ifstream in(p, std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        out.insert(out.end(), bytes.begin(), bytes.end());
        if (out.size() >= size)
            break;
    }
    if (out.size() > size)
        out.resize(size);
    return out;
}

std::vector<DataSet>& DataSets()
{
    static std::vector<DataSet> sets;
    return sets;
}

void Prepare(const std::string& name, std::vector<uint8_t> data)
{
    if (data.size() < 65536)
        return; // not on this machine
    DataSet set;
    set.name = name;
    set.data = std::move(data);
    std::vector<std::vector<uint8_t>> streams;
    std::vector<uint64_t> tableBits;
    CompressSolid({{set.data.data(), set.data.size()}}, 3, &streams, &tableBits, nullptr);
    set.ours = streams[0];
    uLongf bound = compressBound(uLong(set.data.size()));
    set.zlib.resize(bound);
    compress2(set.zlib.data(), &bound, set.data.data(), uLong(set.data.size()), 6);
    set.zlib.resize(bound);
    DataSets().push_back(std::move(set));
}

// One decoder record, window and output buffer, reused by every iteration
// as a pass reuses them for every entry.
struct Decoder {
    DecoderState* state;
    uint8_t* window;
    Crc32Table crc;
    uint8_t* out = nullptr;
    uint32_t outSize = 0;
    uint32_t running = 0;

    static uint32_t Deliver(void* sink, const uint8_t* bytes, uint32_t count)
    {
        Decoder* d = static_cast<Decoder*>(sink);
        memcpy(d->out + d->outSize, bytes, count);
        d->outSize += count;
        d->running = Crc32Update(&d->crc, d->running, bytes, count);
        return count;
    }
    Decoder()
    {
        state = static_cast<DecoderState*>(calloc(1, sizeof(DecoderState)));
        window = static_cast<uint8_t*>(calloc(kRingSize, 1));
        PrepareDecoder(state);
        state->deliver = Deliver;
        state->sink = this;
        BuildCrcTable(&crc);
    }
    ~Decoder()
    {
        free(out);
        free(window);
        free(state);
    }
    // Returns the CRC-32 of the output.
    uint32_t Run(const DataSet& set)
    {
        if (!out)
            out = static_cast<uint8_t*>(malloc(set.data.size() + kWindowSize));
        FILE* f = fmemopen(const_cast<uint8_t*>(set.ours.data()), set.ours.size(), "rb");
        state->packedInput = f;
        state->packedLeft = int32_t(set.ours.size());
        state->unpackedLeft = int32_t(set.data.size());
        outSize = 0;
        running = 0xFFFFFFFFu;
        DecompressEntry(state, window, 0);
        fclose(f);
        return ~running;
    }
};

void BM_Ours(benchmark::State& state, const DataSet* set)
{
    Decoder d;
    uint32_t expected = uint32_t(crc32(0, set->data.data(), uInt(set->data.size())));
    for (auto _ : state) {
        uint32_t crc = d.Run(*set);
        if (crc != expected) {
            state.SkipWithError("decoded data differs");
            break;
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(set->data.size()));
}

void BM_Zlib(benchmark::State& state, const DataSet* set)
{
    std::vector<uint8_t> out(set->data.size());
    for (auto _ : state) {
        uLongf size = uLongf(out.size());
        int rc = uncompress(out.data(), &size, set->zlib.data(), uLong(set->zlib.size()));
        if (rc != Z_OK || size != set->data.size()) {
            state.SkipWithError("inflate failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(set->data.size()));
}

// Keeps the best throughput of each benchmark over its repetitions for the
// side-by-side table: the machine is shared, and the best run is the one
// least disturbed by others.
class Collector : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> mbPerSecond;
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (auto& r : runs) {
            if (r.run_type != Run::RT_Iteration || r.error_occurred)
                continue;
            auto it = r.counters.find("bytes_per_second");
            if (it == r.counters.end())
                continue;
            double mb = double(it->second) / 1e6;
            double& best = mbPerSecond[r.run_name.str()];
            best = std::max(best, mb);
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char** argv)
{
    const size_t kSize = 4 << 20;
    Prepare("literal-heavy", LiteralHeavy(kSize));
    Prepare("match-heavy", MatchHeavy(kSize));
    Prepare("text", FilesUnder("/usr/share/doc", {".txt", ".html", "copyright"}, kSize));
    Prepare("binary", FilesUnder("/usr/lib/x86_64-linux-gnu/wine/x86_64-windows", {".dll"}, kSize));
    for (auto& set : DataSets()) {
        benchmark::RegisterBenchmark(("ours/" + set.name).c_str(), BM_Ours, &set)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("zlib/" + set.name).c_str(), BM_Zlib, &set)->Unit(benchmark::kMillisecond);
    }
    // Five repetitions by default; --benchmark_repetitions overrides.
    std::vector<char*> args(argv, argv + argc);
    static char repetitions[] = "--benchmark_repetitions=5";
    args.insert(args.begin() + 1, repetitions);
    int count = int(args.size());
    benchmark::Initialize(&count, args.data());
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);

    std::printf("\n%-14s %8s %10s %10s %10s %10s\n", "data", "size MB", "ours MB/s", "zlib MB/s", "ours/zlib",
                "packed o/z");
    for (auto& set : DataSets()) {
        auto ours = collector.mbPerSecond.find("ours/" + set.name);
        auto zlib = collector.mbPerSecond.find("zlib/" + set.name);
        if (ours == collector.mbPerSecond.end() || zlib == collector.mbPerSecond.end())
            continue;
        std::printf("%-14s %8.1f %10.1f %10.1f %10.2f %10.2f\n", set.name.c_str(), set.data.size() / 1e6, ours->second,
                    zlib->second, ours->second / zlib->second, double(set.ours.size()) / double(set.zlib.size()));
    }
    std::printf("\nMB/s of output, best of the repetitions. Ours includes the CRC-32 of the\n"
                "output and its delivery into a buffer; zlib's its Adler-32. 'packed o/z' is\n"
                "our stream's size (level 3) over zlib's (level 6) for the same data.\n");
    benchmark::Shutdown();
    return 0;
}
