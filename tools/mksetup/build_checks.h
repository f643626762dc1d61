// The checks that keep a setup from surprising its user: what the setup
// will make of the product's names and contents, its size limits, and the
// stub it runs from. Errors stop the build; warnings do not.
#ifndef OV_TOOLS_MKSETUP_BUILD_CHECKS_H
#define OV_TOOLS_MKSETUP_BUILD_CHECKS_H

#include <cstdint>
#include <string>
#include <vector>

struct PlanEntry;

struct Findings {
    std::vector<std::string> errors;
    std::vector<std::string> warnings;
};

// The largest setup the reader can walk: block positions and byte counts
// are signed 32-bit.
constexpr uint64_t kMaxSetupBytes = 0x7FFFFFFFu;

// Checks the ordered list as a whole: names equal but for case, sizes the
// setup cannot hold, and the conventions the setup relies on (description,
// script, language files, flat install).
void CheckEntries(const std::vector<PlanEntry>& entries, uint64_t stubSize, Findings* findings);

// Checks the script and the language files once their contents are known.
// `data` runs parallel to `entries`.
void CheckContents(const std::vector<PlanEntry>& entries, const std::vector<const std::vector<uint8_t>*>& data,
                   Findings* findings);

// Checks a stub: that the archive behind it will be found, and that it does
// not already carry a payload.
void CheckStub(const std::vector<uint8_t>& stub, Findings* findings);

#endif
