// Writes a solid archive with RAR 2.0 compressed entries, as the setup reads it.
#ifndef OV_PACK_ARCHIVE_WRITER_H
#define OV_PACK_ARCHIVE_WRITER_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct PackInput {
    std::string name;           // Windows-1252 bytes, "\" separators, at most 259 bytes
    std::vector<uint8_t> data;  // the file's contents
    uint32_t dosTime = 0;       // MS-DOS date (high 16 bits) and time (low 16 bits)
    uint32_t attributes = 0x20; // Windows attribute word
};

struct PackSettings {
    int level = 3;              // 1 (fastest) .. 5 (smallest)
    bool storeOnly = false;     // no compression at all
    int threads = 0;            // threads to use, 0 = one per core
    uint64_t archiveOffset = 0; // file offset the archive will sit at (behind the stub):
                                // every block position must stay below 2 GiB
};

// Called now and then with the input bytes done so far and the total.
using PackProgress = std::function<void(uint64_t done, uint64_t total)>;

// Appends a complete archive (marker, main header, one file header and data
// area per entry, in the given order) to `out`. On failure returns false and
// says why in `error`; `out` then holds nothing usable.
bool WriteArchive(const std::vector<PackInput>& entries, const PackSettings& settings, std::vector<uint8_t>* out,
                  std::string* error, const PackProgress& progress = PackProgress());

#endif
