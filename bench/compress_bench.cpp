// Compression benchmark: packs each corpus at every level and prints one
// table with our archive sizes and speeds beside gzip -9, zstd -19 --long=20
// and xz -6 on the same bytes: pack speed with one thread and with all the
// machine's cores, our reader's decoding speed in this process beside zlib
// inflating the gzip -9 output. Then whole-process decoding as a user meets
// it: `mksetup test` of a setup built from the corpus folder at the default
// level beside `zstd -dc` and `gzip -dc` of the peers' files.
//
// Usage: compress_bench [--levels 1,3,5] [--runs N] CORPUS_DIR...
// Each CORPUS_DIR comes with CORPUS_DIR.list (bench/make_corpora.sh): the
// files in name order. The peers get the same files concatenated in that
// order; our levels pack them in the order `mksetup build` gives them (by
// extension, then size or name), and a second zstd row shows what that order
// is worth to zstd. Our archive also holds each file's name, size, time,
// attributes and checksum, which the bare concatenation lacks: gzip and zstd
// also pack a tar of the same files in the same order, as a user would, and
// the last two columns compare with those. A last row gives the bytes of
// those headers in our archive, the same at every level.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "archive/archive_pass.h"
#include "bench/corpus_files.h"
#include "pack/archive_writer.h"
#include "tools/mksetup/product_scan.h"

namespace {

// Times are processor time (user + system) of this process or, for the
// peer tools, of the finished child processes: the machine is shared, and
// wall time would charge other people's work to whoever runs at the moment.
struct CpuMark {
    double self, children;
};

double ToSeconds(const timeval& t)
{
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

CpuMark Now()
{
    rusage self{}, children{};
    getrusage(RUSAGE_SELF, &self);
    getrusage(RUSAGE_CHILDREN, &children);
    return {ToSeconds(self.ru_utime) + ToSeconds(self.ru_stime),
            ToSeconds(children.ru_utime) + ToSeconds(children.ru_stime)};
}

double WallNow()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double Seconds(const CpuMark& since)
{
    return Now().self - since.self;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& data)
{
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    return bool(f);
}

struct Row {
    std::string tool;
    uint64_t size = 0;
    double packSeconds = 0;    // wall time, one thread
    double packAllSeconds = 0; // wall time, all cores (0: the tool has one way)
    double decodeSeconds = 0;  // 0: not measured
};

// Runs a peer compressor over `input`; its output size and wall time.
bool RunPeer(const std::string& command, const std::string& input, const std::string& output, Row* row)
{
    std::string line = command + " < '" + input + "' > '" + output + "'";
    double t = WallNow();
    if (std::system(line.c_str()) != 0)
        return false;
    row->packSeconds = WallNow() - t;
    std::vector<uint8_t> bytes;
    if (!ReadFile(output, &bytes))
        return false;
    row->size = bytes.size();
    return true;
}

// Decodes of a small corpus take a few milliseconds, near the resolution of
// processor time: each timed run repeats them until about 20 MB are done.
int RepeatsFor(size_t bytes)
{
    return std::max(1, int(20e6 / double(bytes ? bytes : 1)));
}

// zlib inflate of a gzip stream into memory, checksum included; best of `runs`.
double InflateSeconds(const std::vector<uint8_t>& gz, size_t expected, int runs)
{
    std::vector<uint8_t> out(expected + 1);
    double best = 1e9;
    int repeats = RepeatsFor(expected);
    for (int run = 0; run < runs; ++run) {
        CpuMark t = Now();
        for (int r = 0; r < repeats; ++r) {
            z_stream z{};
            inflateInit2(&z, 16 + MAX_WBITS);
            z.next_in = const_cast<Bytef*>(gz.data());
            z.avail_in = uInt(gz.size());
            z.next_out = out.data();
            z.avail_out = uInt(out.size());
            int rc = inflate(&z, Z_FINISH);
            size_t produced = z.total_out;
            inflateEnd(&z);
            if (rc != Z_STREAM_END || produced != expected) {
                fprintf(stderr, "compress_bench: zlib could not inflate the gzip output\n");
                return 0;
            }
        }
        best = std::min(best, Seconds(t) / repeats);
    }
    return best;
}

struct Decoded {
    std::vector<std::vector<uint8_t>>* expect;
    size_t index = 0;
    bool same = true;
};

int CheckEntry(wchar_t* name, const unsigned char* data, uint32_t size, void* user)
{
    Decoded* d = static_cast<Decoded*>(user);
    if (!data) {
        name[0] = 1; // memory mode: decoded and checksum-tested
        name[1] = 0;
        return 0;
    }
    const std::vector<uint8_t>& want = (*d->expect)[d->index++];
    if (want.size() != size || memcmp(want.data(), data, size) != 0)
        d->same = false;
    return 0;
}

// Our reader over the archive file, in memory mode; best of `runs`.
double DecodeSeconds(const std::string& path, std::vector<std::vector<uint8_t>>* expect, int runs)
{
    std::wstring wide(path.begin(), path.end());
    size_t bytes = 0;
    for (const std::vector<uint8_t>& e : *expect)
        bytes += e.size();
    int repeats = RepeatsFor(bytes);
    double best = 1e9;
    for (int run = 0; run < runs; ++run) {
        CpuMark t = Now();
        for (int r = 0; r < repeats; ++r) {
            Decoded d{expect};
            int rc = ArchivePass(wide.c_str(), CheckEntry, &d);
            if (rc != 0 || !d.same || d.index != expect->size()) {
                fprintf(stderr, "compress_bench: our reader did not give back the corpus (result %d)\n", rc);
                return 0;
            }
        }
        best = std::min(best, Seconds(t) / repeats);
    }
    return best;
}

// Bytes of our archive outside the entries' data: marker, archive header
// and each entry's header with its name, sizes, checksum and time.
uint64_t HeaderBytes(const std::string& path, uint64_t archiveSize)
{
    std::wstring wide(path.begin(), path.end());
    uint64_t data = 0;
    WalkArchiveHeaders(
        wide.c_str(),
        [](const EntryHeaderInfo* info, void* user) {
            *static_cast<uint64_t*>(user) += info->packSize;
            return 0;
        },
        &data);
    return archiveSize - std::min(data, archiveSize);
}

// Wall time of one run of `argv` with its output (and, when `quiet`, its
// messages) thrown away, or -1.
double RunProcess(const std::vector<std::string>& argv, bool quiet = false)
{
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    double t = WallNow();
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        if (quiet)
            dup2(null, 2);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return WallNow() - t;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Whole-process decoding, the commands taking turns; medians of `runs`.
bool RaceDecoders(const std::vector<std::vector<std::string>>& commands, int runs, std::vector<double>* medians)
{
    std::vector<std::vector<double>> times(commands.size());
    for (int run = 0; run < runs; ++run)
        for (size_t c = 0; c < commands.size(); ++c) {
            double t = RunProcess(commands[c]);
            if (t < 0) {
                fprintf(stderr, "compress_bench: '%s' failed\n", commands[c][0].c_str());
                return false;
            }
            times[c].push_back(t);
        }
    medians->clear();
    for (const std::vector<double>& t : times)
        medians->push_back(Median(t));
    return true;
}

// The entries in the order `mksetup build` packs the same folder in.
void ArchiveOrder(std::vector<PackInput>* entries)
{
    std::vector<PlanEntry> plan;
    for (PackInput& e : *entries) {
        PlanEntry p;
        p.name = e.name;
        p.wideName = std::wstring(e.name.begin(), e.name.end()); // the corpora's names are ASCII
        p.size = e.data.size();
        plan.push_back(p);
    }
    OrderEntries(&plan, false);
    std::vector<PackInput> ordered;
    for (const PlanEntry& p : plan)
        for (PackInput& e : *entries)
            if (e.name == p.name && !e.name.empty()) {
                ordered.push_back(std::move(e));
                e.name.clear();
                break;
            }
    std::vector<const std::vector<uint8_t>*> data;
    for (const PackInput& e : ordered)
        data.push_back(&e.data);
    entries->clear();
    for (size_t k : SettleOrder(plan, data))
        entries->push_back(std::move(ordered[k]));
}

std::vector<int> ParseLevels(const char* text)
{
    std::vector<int> levels;
    std::stringstream ss(text);
    std::string item;
    while (std::getline(ss, item, ','))
        levels.push_back(std::atoi(item.c_str()));
    return levels;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<int> levels = {1, 2, 3, 4, 5};
    std::vector<std::string> corpora;
    int runs = 9;
    const char* usage = "usage: compress_bench [--levels 1,3,5] [--runs N] CORPUS_DIR...\n";
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--levels") && i + 1 < argc)
            levels = ParseLevels(argv[++i]);
        else if (!strcmp(argv[i], "--runs") && i + 1 < argc)
            runs = std::max(1, atoi(argv[++i]));
        else if (!strcmp(argv[i], "--help")) {
            printf("%s", usage);
            return 0;
        } else
            corpora.push_back(argv[i]);
    }
    if (corpora.empty()) {
        fprintf(stderr, "%s", usage);
        return 2;
    }
    const std::string mksetup = OV_MKSETUP, stub = OV_STUB;
    if (access(stub.c_str(), R_OK) != 0) {
        fprintf(stderr, "compress_bench: no stub at %s (build the win32 preset)\n", stub.c_str());
        return 1;
    }
    std::string tmp = "/tmp/ov_compress_bench_" + std::to_string(getpid());
    unsigned cores = std::max(1u, std::thread::hardware_concurrency());

    printf("Sizes in bytes; ratios to gzip -9 and zstd -19 --long=20 of the files concatenated and of a\n"
           "tar of them. Pack speeds in MB/s of wall time (1 MB = 10^6 bytes of input) with one thread\n"
           "and with all %u cores; the peers use one. Decode speed in MB/s of processor time, in this\n"
           "process (best of several runs).\n",
           cores);
    printf("%-8s %-20s %11s %7s %7s %9s %9s %9s %7s %7s\n", "corpus", "tool", "bytes", "x gzip", "x zstd", "pack 1T",
           "pack all", "decode", "x gz.t", "x zst.t");
    std::vector<std::string> race;
    for (const std::string& dir : corpora) {
        std::vector<PackInput> entries;
        uint64_t bytes = 0;
        if (!ReadCorpus(dir, &entries, &bytes))
            return 1;
        std::vector<std::vector<uint8_t>> expect;
        std::vector<uint8_t> joined;
        for (const PackInput& e : entries) {
            joined.insert(joined.end(), e.data.begin(), e.data.end());
            expect.push_back(e.data);
        }
        WriteFile(tmp + ".in", joined);
        double mb = double(joined.size()) / 1e6;
        std::string name = dir.substr(dir.find_last_of('/') + 1);

        std::vector<Row> rows;
        Row gzip{"gzip -9"}, zstd{"zstd -19 --long=20"}, xz{"xz -6"};
        if (!RunPeer("gzip -9 -c", tmp + ".in", tmp + ".gz", &gzip) ||
            !RunPeer("zstd -q -19 --long=20 -c", tmp + ".in", tmp + ".zst", &zstd) ||
            !RunPeer("xz -6 -c", tmp + ".in", tmp + ".xz", &xz)) {
            fprintf(stderr, "compress_bench: a peer compressor failed\n");
            return 1;
        }
        // Owner fields fixed: the sizes should not depend on who runs this.
        Row gzipTar{"gzip -9, tar"}, zstdTar{"zstd -19, tar"};
        std::string tar =
            "tar -cf '" + tmp + ".tar' --owner=0 --group=0 --numeric-owner -C '" + dir + "' -T '" + dir + ".list'";
        if (std::system(tar.c_str()) != 0 || !RunPeer("gzip -9 -c", tmp + ".tar", tmp + ".tar.gz", &gzipTar) ||
            !RunPeer("zstd -q -19 --long=20 -c", tmp + ".tar", tmp + ".tar.zst", &zstdTar)) {
            fprintf(stderr, "compress_bench: packing a tar of %s failed\n", dir.c_str());
            return 1;
        }
        ArchiveOrder(&entries);
        std::vector<uint8_t> reordered;
        expect.clear();
        for (const PackInput& e : entries) {
            reordered.insert(reordered.end(), e.data.begin(), e.data.end());
            expect.push_back(e.data);
        }
        WriteFile(tmp + ".ord", reordered);
        Row zstdOurs{"zstd -19, our order"};
        if (!RunPeer("zstd -q -19 --long=20 -c", tmp + ".ord", tmp + ".ord.zst", &zstdOurs)) {
            fprintf(stderr, "compress_bench: a peer compressor failed\n");
            return 1;
        }
        std::vector<uint8_t> gz;
        ReadFile(tmp + ".gz", &gz);
        gzip.decodeSeconds = InflateSeconds(gz, joined.size(), 3);

        for (int level : levels) {
            Row ours{"ours level " + std::to_string(level)};
            std::vector<uint8_t> archive, again;
            for (unsigned threads : {1u, cores}) {
                PackSettings settings;
                settings.level = level;
                settings.threads = int(threads);
                std::vector<uint8_t>& out = threads == 1 ? archive : again;
                std::string error;
                double t = WallNow();
                if (!WriteArchive(entries, settings, &out, &error)) {
                    fprintf(stderr, "compress_bench: level %d: %s\n", level, error.c_str());
                    return 1;
                }
                (threads == 1 ? ours.packSeconds : ours.packAllSeconds) = WallNow() - t;
                if (cores == 1)
                    break;
            }
            if (cores > 1 && again != archive) {
                fprintf(stderr, "compress_bench: level %d: %u threads gave other bytes than one\n", level, cores);
                return 1;
            }
            ours.size = archive.size();
            WriteFile(tmp + ".rar", archive);
            // Turns with zlib, so that both see the same machine load; the
            // best of each counts.
            ours.decodeSeconds = 1e9;
            for (int turn = 0; turn < 8; ++turn) {
                gzip.decodeSeconds = std::min(gzip.decodeSeconds, InflateSeconds(gz, joined.size(), 1));
                ours.decodeSeconds = std::min(ours.decodeSeconds, DecodeSeconds(tmp + ".rar", &expect, 1));
            }
            rows.push_back(ours);
        }
        if (!levels.empty()) {
            Row headers{"  of which headers"};
            headers.size = HeaderBytes(tmp + ".rar", rows.back().size);
            rows.push_back(headers);
        }
        rows.insert(rows.begin(), {gzip, zstd, zstdOurs, gzipTar, zstdTar, xz});

        printf("%-8s %-20s %11llu   (%.1f MB, %zu files)\n", name.c_str(), "input", (unsigned long long)joined.size(),
               mb, entries.size());
        auto speed = [&](double seconds) {
            char text[32] = "";
            if (seconds > 0)
                snprintf(text, sizeof text, "%9.2f", mb / seconds);
            return std::string(text);
        };
        for (const Row& r : rows)
            printf("%-8s %-20s %11llu %7.3f %7.3f %9s %9s %9s %7.3f %7.3f\n", name.c_str(), r.tool.c_str(),
                   (unsigned long long)r.size, double(r.size) / double(gzip.size), double(r.size) / double(zstd.size),
                   speed(r.packSeconds).c_str(), speed(r.packAllSeconds).c_str(), speed(r.decodeSeconds).c_str(),
                   double(r.size) / double(gzipTar.size), double(r.size) / double(zstdTar.size));
        fflush(stdout);

        // The setup a vendor builds from this folder at the default level.
        std::string setup = tmp + ".exe";
        if (RunProcess({mksetup, "build", dir, "-o", setup, "--stub", stub, "-q"}, true) < 0) {
            fprintf(stderr, "compress_bench: mksetup build failed on %s\n", dir.c_str());
            return 1;
        }
        std::vector<double> t;
        if (!RaceDecoders(
                {{mksetup, "test", setup}, {"zstd", "-dcq", "--long=20", tmp + ".zst"}, {"gzip", "-dc", tmp + ".gz"}},
                runs, &t))
            return 1;
        char line[200];
        snprintf(line, sizeof line, "%-8s %9.1f %9.1f %9.1f %12.2f", name.c_str(), t[0] * 1e3, t[1] * 1e3, t[2] * 1e3,
                 t[0] / t[1]);
        race.push_back(line);
    }
    printf("\nWhole-process decoding, milliseconds of wall time (medians of %d runs taking turns):\n"
           "mksetup test of the default-level setup; zstd -dc and gzip -dc into /dev/null.\n",
           runs);
    printf("%-8s %9s %9s %9s %12s\n", "corpus", "mksetup", "zstd -dc", "gzip -dc", "x zstd -dc");
    for (const std::string& line : race)
        printf("%s\n", line.c_str());
    for (const char* ext :
         {".in", ".ord", ".gz", ".zst", ".ord.zst", ".tar", ".tar.gz", ".tar.zst", ".xz", ".rar", ".exe"})
        unlink((tmp + ext).c_str());
    return 0;
}
