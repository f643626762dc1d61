#include "tools/mksetup/build_checks.h"

#include "archive/container.h"
#include "format/rar_format.h"
#include "tools/mksetup/tool_text.h"

#include <cstring>

// The setup reads 7 bytes at offset 0, then scans up to offset 250,005; a
// candidate needs its 7 marker bytes and the header type 9 bytes on within
// that range, so the last archive start it can find is 250,005 - 9.
static const uint64_t kLastArchiveStart = kScanEnd - (kMarkerSize + kHeadTypeOffset);

// Offset of the first archive start in `bytes`, or -1.
static int64_t FindArchiveMarker(const std::vector<uint8_t>& bytes)
{
    if (bytes.size() >= kMarkerSize && std::memcmp(bytes.data(), kArchiveMarker, kMarkerSize) == 0)
        return 0;
    long offset = 0;
    if (ScanForArchiveMarker(bytes.data(), bytes.size(), 0, &offset))
        return offset;
    return -1;
}

void CheckStub(const std::vector<uint8_t>& stub, Findings* findings)
{
    int64_t marker = FindArchiveMarker(stub);
    if (marker >= 0)
        findings->errors.push_back("the stub already carries an archive (at offset " + Grouped(uint64_t(marker)) +
                                   "); give the bare setup program");
    if (!stub.empty() && stub.size() < 7)
        findings->errors.push_back("the stub is " + std::to_string(stub.size()) +
                                   " bytes; the setup finds an archive only at offset 0 or from offset 7 on");
    if (stub.size() > kLastArchiveStart)
        findings->errors.push_back("the stub is " + Grouped(stub.size()) +
                                   " bytes; the archive behind it must start "
                                   "at offset " +
                                   Grouped(kLastArchiveStart) + " or earlier for the setup to find it");
    if (!stub.empty() && (stub.size() < 2 || stub[0] != 'M' || stub[1] != 'Z'))
        findings->warnings.push_back("the stub does not begin with \"MZ\"; the output will not run as a Windows "
                                     "program");
}
