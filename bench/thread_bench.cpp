// Thread scaling of the packer: packs each corpus at the given levels with
// one thread and with N threads, taking turns so that both see the same
// machine load, and prints the median wall times side by side, the speedup
// and whether the archives are byte-identical (with a checksum of the
// archive, to compare builds or revisions). The processor seconds (all
// threads) show what the threads cost beside what they save; "main" is the
// calling thread's share (it parses): on a busy machine, the larger of it
// and the rest bounds the wall time an idle one would give.
//
// Usage: thread_bench [--levels 4,5] [--threads N] [--runs R] CORPUS_DIR...
// Each CORPUS_DIR comes with CORPUS_DIR.list (bench/make_corpora.sh).
#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <vector>

#include "bench/corpus_files.h"
#include "pack/archive_writer.h"

namespace {

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double ThreadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Wall seconds of one pack, processor seconds of all threads to `cpu` and of
// the calling one to `main`; the archive goes to `out`.
double Pack(const std::vector<PackInput>& entries, int level, int threads, std::vector<uint8_t>* out,
            std::vector<double>* cpu, std::vector<double>* main)
{
    double cpuStart = CpuSeconds(), mainStart = ThreadCpuSeconds();
    PackSettings settings;
    settings.level = level;
    settings.threads = threads;
    out->clear();
    std::string error;
    auto start = std::chrono::steady_clock::now();
    if (!WriteArchive(entries, settings, out, &error)) {
        fprintf(stderr, "thread_bench: level %d: %s\n", level, error.c_str());
        exit(1);
    }
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    cpu->push_back(CpuSeconds() - cpuStart);
    main->push_back(ThreadCpuSeconds() - mainStart);
    return wall;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

uint64_t Fnv64(const std::vector<uint8_t>& data)
{
    uint64_t h = 1469598103934665603ull;
    for (uint8_t b : data)
        h = (h ^ b) * 1099511628211ull;
    return h;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<int> levels = {4, 5};
    int threads = 2, runs = 5;
    std::vector<std::string> corpora;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--levels") && i + 1 < argc) {
            levels.clear();
            std::stringstream ss(argv[++i]);
            std::string item;
            while (std::getline(ss, item, ','))
                levels.push_back(std::atoi(item.c_str()));
        } else if (!strcmp(argv[i], "--threads") && i + 1 < argc)
            threads = std::atoi(argv[++i]);
        else if (!strcmp(argv[i], "--runs") && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (argv[i][0] == '-') {
            printf("usage: thread_bench [--levels 4,5] [--threads N] [--runs R] CORPUS_DIR...\n");
            return 2;
        } else
            corpora.push_back(argv[i]);
    }
    printf("Median wall (and processor) seconds of %d runs each, 1 and %d threads taking turns.\n", runs, threads);
    printf("%-8s %5s %10s %10s %10s %8s %8s %8s %8s %9s %16s\n", "corpus", "level", "bytes", "1 thread", "threads",
           "speedup", "cpu 1", "cpu N", "main N", "identical", "archive fnv64");
    for (const std::string& dir : corpora) {
        std::vector<PackInput> entries;
        uint64_t bytes = 0;
        if (!ReadCorpus(dir, &entries, &bytes))
            return 1;
        std::string name = dir.substr(dir.find_last_of('/') + 1);
        for (int level : levels) {
            std::vector<double> one, many, cpuOne, cpuMany, mainOne, mainMany;
            std::vector<uint8_t> a, b;
            bool same = true;
            for (int r = 0; r < runs; ++r) {
                one.push_back(Pack(entries, level, 1, &a, &cpuOne, &mainOne));
                many.push_back(Pack(entries, level, threads, &b, &cpuMany, &mainMany));
                same &= a == b;
            }
            double t1 = Median(one), tn = Median(many);
            printf("%-8s %5d %10zu %10.3f %10.3f %7.2fx %8.3f %8.3f %8.3f %9s %016llx\n", name.c_str(), level, a.size(),
                   t1, tn, t1 / tn, Median(cpuOne), Median(cpuMany), Median(mainMany), same ? "yes" : "NO",
                   (unsigned long long)Fnv64(a));
            fflush(stdout);
        }
    }
    return 0;
}
