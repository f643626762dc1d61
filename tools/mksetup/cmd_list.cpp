// mksetup list: every entry of a setup or bare archive, from the headers
// alone (nothing is decoded; `test` checks the data).
#include "tools/mksetup/commands.h"

#include "format/rar_format.h"
#include "tools/mksetup/pe_signature.h"
#include "tools/mksetup/reader_common.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

const char kListUsage[] = "usage: mksetup list FILE [--json]\n"
                          "\n"
                          "Shows every entry of a setup or a bare archive: name, size, packed size,\n"
                          "ratio, attributes (R read-only, H hidden, S system, D folder, A archive),\n"
                          "time, stored CRC-32, method and whether it continues the previous entry's\n"
                          "dictionary (solid). Only the headers are read; 'mksetup test' checks the data.\n"
                          "The last line says whether the file carries a code signature and whose\n"
                          "certificate made it (its subject; whether to trust it is not judged).\n"
                          "\n"
                          "Options:\n"
                          "  --json   one JSON document instead of the table\n"
                          "  --help   show this text\n"
                          "\n"
                          "Exit codes: 0 success, 1 missing, unreadable or damaged file, 2 bad command line.\n";

int Collect(const EntryHeaderInfo* info, void* user)
{
    static_cast<std::vector<EntryHeaderInfo>*>(user)->push_back(*info);
    return 0;
}

std::string Ratio(uint32_t packed, uint32_t size)
{
    if (size == 0)
        return "-";
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.0f%%", 100.0 * double(packed) / double(size));
    return buf;
}

// Who signed the file, as its signature says; trust is not judged.
std::string SignatureText(const PeSignature& sig)
{
    if (!sig.present)
        return "not signed";
    return sig.problem.empty() ? "signed by " + Printable(sig.signer) : "signed, but " + sig.problem;
}

void PrintTable(const std::vector<EntryHeaderInfo>& entries, const PeSignature& sig)
{
    std::printf("%12s %12s %5s  %-5s  %-19s  %-8s  %-7s %-5s  %s\n", "Size", "Packed", "Ratio", "Attr", "Modified",
                "CRC-32", "Method", "Solid", "Name");
    uint64_t size = 0, packed = 0;
    for (auto& e : entries) {
        bool solid = (e.headFlags & kFlagSolid) != 0;
        std::printf("%12u %12u %5s  %-5s  %-19s  %08X  %-7s %-5s  %s\n", e.unpSize, e.packSize,
                    Ratio(e.packSize, e.unpSize).c_str(), FormatAttributes(e.fileAttr).c_str(),
                    FormatDosTime(e.fileTime).c_str(), e.fileCrc, FormatMethod(e.method, e.unpVer).c_str(),
                    solid ? "yes" : "no", PrintableName(e.name).c_str());
        size += e.unpSize;
        packed += e.packSize;
    }
    std::printf("%12llu %12llu %5s  %zu entr%s\n", (unsigned long long)size, (unsigned long long)packed,
                size ? Ratio(uint32_t(packed * 1000 / size), 1000).c_str() : "-", entries.size(),
                entries.size() == 1 ? "y" : "ies");
    std::printf("%s\n", SignatureText(sig).c_str());
}

void PrintJson(const std::string& file, const std::vector<EntryHeaderInfo>& entries, const PeSignature& sig)
{
    std::printf("{\n  \"file\": %s,\n  \"signed\": %s,\n  \"signer\": %s,\n  \"entries\": [", JsonString(file).c_str(),
                sig.present ? "true" : "false", sig.signer.empty() ? "null" : JsonString(sig.signer).c_str());
    for (size_t i = 0; i < entries.size(); i++) {
        const EntryHeaderInfo& e = entries[i];
        char crc[16];
        std::snprintf(crc, sizeof crc, "%08X", e.fileCrc);
        std::printf("%s\n    {\"name\": %s, \"size\": %u, \"packed\": %u, \"ratio\": %s, \"attributes\": %u, "
                    "\"attributeLetters\": \"%s\", \"time\": \"%s\", \"dosTime\": %u, \"crc32\": \"%s\", "
                    "\"method\": \"%s\", \"unpackVersion\": %u, \"solid\": %s, \"directory\": %s, "
                    "\"headerOffset\": %d}",
                    i ? "," : "", JsonString(DisplayName(e.name)).c_str(), e.unpSize, e.packSize,
                    e.unpSize ? std::to_string(double(e.packSize) / double(e.unpSize)).c_str() : "null", e.fileAttr,
                    FormatAttributes(e.fileAttr).c_str(), FormatDosTime(e.fileTime).c_str(), e.fileTime, crc,
                    FormatMethod(e.method, e.unpVer).c_str(), e.unpVer, (e.headFlags & kFlagSolid) ? "true" : "false",
                    (e.fileAttr & kAttrDirectory) ? "true" : "false", e.blockPos);
    }
    std::printf("%s]\n}\n", entries.empty() ? "" : "\n  ");
}

} // namespace

int RunList(const Arguments& args)
{
    ReaderArgs a = ParseReaderArgs(args, true, false);
    if (a.help) {
        std::fputs(kListUsage, stdout);
        return kExitOk;
    }
    if (!a.error.empty()) {
        std::fprintf(stderr, "mksetup list: %s\n\n%s", a.error.c_str(), kListUsage);
        return kExitUsage;
    }
    std::vector<EntryHeaderInfo> entries;
    PassResult result = WalkArchiveHeaders(ArchivePathOf(a.file).c_str(), Collect, &entries);
    if (result != 0) {
        EntryHeaderInfo last{};
        if (!entries.empty())
            last = entries.back();
        std::fprintf(stderr, "mksetup list: %s: %s\n", a.file.c_str(), PassFailureText(result, last, a.file).c_str());
        return kExitFailure;
    }
    PeSignature sig = ReadPeSignature(a.file);
    if (a.json)
        PrintJson(a.file, entries, sig);
    else
        PrintTable(entries, sig);
    return kExitOk;
}
