// The product folder as `mksetup build` reads it: every file below it, with
// its archive name, attributes and time, in the order the setup wants them.
#ifndef OV_TOOLS_MKSETUP_PRODUCT_SCAN_H
#define OV_TOOLS_MKSETUP_PRODUCT_SCAN_H

#include "tools/mksetup/build_checks.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// One file of the product folder as it goes into the setup.
struct PlanEntry {
    std::filesystem::path source; // the file on disk
    std::wstring wideName;        // relative name, "\" separators
    std::string name;             // the same in the ANSI code page: the stored name
    uint64_t size = 0;
    uint32_t attributes = 0x20; // archive, plus read-only / hidden
    uint32_t dosTime = 0;       // MS-DOS date (high 16 bits) and time (low 16 bits)
    // Set by OrderEntries: entries of one group above 0 follow one another
    // in order of size and may go in name order instead (SettleOrder).
    uint32_t orderGroup = 0;
    // Set by OrderEntries: the entries of one extension after the script and
    // FILE_ID.DIZ share a group above 0, which SettleOrder moves whole.
    uint32_t extensionGroup = 0;
};

// Where entry times come from: each file's modification time in local time,
// or one fixed moment (SOURCE_DATE_EPOCH) taken as UTC.
struct TimePolicy {
    bool fixed = false;
    int64_t epoch = 0;
};

// Reads SOURCE_DATE_EPOCH (null or empty: file times). A value that is not a
// whole number of seconds is an error, as a reproducible build must not
// silently fall back to file times.
bool ReadTimePolicy(const char* sourceDateEpoch, TimePolicy* policy, std::string* error);

// MS-DOS date and time of a moment, in local time or UTC; moments outside
// 1980..2107 are clamped to the nearest one the format can hold.
uint32_t DosTimeFromUnix(int64_t seconds, bool utc);

// Walks the folder and lists every regular file below it, unordered. Names
// that cannot be stored and entries that are not plain files or folders are
// reported as errors.
void ScanProductFolder(const std::filesystem::path& folder, const TimePolicy& policy, std::vector<PlanEntry>* entries,
                       Findings* findings);

// Puts the entries in archive order: the setup script, FILE_ID.DIZ, then the
// rest grouped by extension; within one, by size where the setup reads no
// meaning into the order, else by name (or everything by name only).
void OrderEntries(std::vector<PlanEntry>* entries, bool nameOrder);

// The archive order once the contents are known (`data`, one per entry):
// each order group goes in name order where that repeats more within the
// window than size order does, and the extensions that hold text go
// together, as do the binaries; packed data goes last. order[k] is the
// index of the k-th entry.
std::vector<size_t> SettleOrder(const std::vector<PlanEntry>& entries,
                                const std::vector<const std::vector<uint8_t>*>& data);

// True when `path` is `folder` or lies below it (after resolving links and
// "..", and without regard to case where the file system ignores it).
bool IsInsideFolder(const std::filesystem::path& path, const std::filesystem::path& folder);

#endif
