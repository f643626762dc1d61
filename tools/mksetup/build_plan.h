// What `mksetup build` puts into a setup: the files of the product folder,
// their archive names, attributes and times, the order they go in, and the
// checks that keep a setup from surprising its user.
#ifndef OV_TOOLS_MKSETUP_BUILD_PLAN_H
#define OV_TOOLS_MKSETUP_BUILD_PLAN_H

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
    uint32_t attributes = 0x20;   // archive, plus read-only / hidden
    uint32_t dosTime = 0;         // MS-DOS date (high 16 bits) and time (low 16 bits)
};

// Problems found while planning. Errors stop the build; warnings do not.
struct Findings {
    std::vector<std::string> errors;
    std::vector<std::string> warnings;
};

// Where entry times come from: each file's modification time in local time,
// or one fixed moment (SOURCE_DATE_EPOCH) taken as UTC.
struct TimePolicy {
    bool fixed = false;
    int64_t epoch = 0;
};

// Limits of the setup's reader: its stored names, its signed 32-bit block
// positions and byte counts, and its scan for the archive start.
constexpr size_t kMaxNameBytes = 259;
constexpr uint64_t kMaxSetupBytes = 0x7FFFFFFFu;
// The setup reads 7 bytes at offset 0, then scans offsets 7..250,005; a
// candidate needs its 7 marker bytes and the header type 9 bytes on within
// that range, so the last archive start it can find is 250,005 - 9.
constexpr uint64_t kLastArchiveStart = 250005 - 9;

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
void ScanProductFolder(const std::filesystem::path& folder, const TimePolicy& policy,
                       std::vector<PlanEntry>* entries, Findings* findings);

// Puts the entries in archive order: the setup script, FILE_ID.DIZ, then the
// rest grouped by extension and by name (or by name only).
void OrderEntries(std::vector<PlanEntry>* entries, bool nameOrder);

// Checks the ordered list as a whole: names equal but for case, sizes the
// setup cannot hold, and the conventions the setup relies on (description,
// script, language files, flat install).
void CheckEntries(const std::vector<PlanEntry>& entries, uint64_t stubSize, Findings* findings);

// Checks the script and the language files once their contents are known.
// `data` runs parallel to `entries`.
void CheckContents(const std::vector<PlanEntry>& entries,
                   const std::vector<const std::vector<uint8_t>*>& data, Findings* findings);

// Checks a stub: that the archive behind it will be found, and that it does
// not already carry a payload.
void CheckStub(const std::vector<uint8_t>& stub, Findings* findings);

// Offset of the first archive start (marker block with a main header type)
// in `bytes`, or -1.
int64_t FindArchiveMarker(const std::vector<uint8_t>& bytes);

// True when `path` is `folder` or lies below it (after resolving links and
// "..", and without regard to case on Windows).
bool IsInsideFolder(const std::filesystem::path& path, const std::filesystem::path& folder);

// Entry kinds the setup recognises by name.
bool IsSetupScriptName(const std::wstring& name);
bool IsDescriptionName(const std::wstring& name);
bool IsLanguageFileName(const std::wstring& name);

// Upper-cases the letters of Windows-1252 text held as wide characters, as
// the file systems of the target machines compare names.
std::wstring FoldCase(const std::wstring& text);

#endif
