// Reading the benchmark corpora of bench/make_corpora.sh: each CORPUS_DIR
// comes with CORPUS_DIR.list, its files in archive order.
#ifndef OV_BENCH_CORPUS_FILES_H
#define OV_BENCH_CORPUS_FILES_H

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "pack/archive_writer.h"

inline bool ReadFile(const std::string& path, std::vector<uint8_t>* out)
{
    std::ifstream f(path, std::ios::binary);
    if (!f)
        return false;
    out->assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return true;
}

// The corpus's files as entries to pack, with "\" separators; says why on
// failure.
inline bool ReadCorpus(const std::string& dir, std::vector<PackInput>* entries, uint64_t* bytes)
{
    std::ifstream list(dir + ".list");
    if (!list) {
        fprintf(stderr, "%s.list missing (run bench/make_corpora.sh)\n", dir.c_str());
        return false;
    }
    *bytes = 0;
    for (std::string rel; std::getline(list, rel);) {
        PackInput e;
        if (!ReadFile(dir + "/" + rel, &e.data)) {
            fprintf(stderr, "cannot read %s/%s\n", dir.c_str(), rel.c_str());
            return false;
        }
        e.name = rel;
        std::replace(e.name.begin(), e.name.end(), '/', '\\');
        *bytes += e.data.size();
        entries->push_back(std::move(e));
    }
    return true;
}

#endif
