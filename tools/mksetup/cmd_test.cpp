// mksetup test: the same pass the setup runs before its dialog appears:
// every entry decoded into memory and its checksum verified.
#include "tools/mksetup/commands.h"

#include "tools/mksetup/archive_check.h"
#include "tools/mksetup/pe_signature.h"
#include "tools/mksetup/reader_common.h"

#include <cstdio>

namespace {

const char kTestUsage[] = "usage: mksetup test FILE [--json]\n"
                          "\n"
                          "Decodes every entry of a setup or a bare archive in memory and verifies\n"
                          "its checksum, exactly as the setup does at start. Then checks what the\n"
                          "setup does not: every block header's checksum, and that the archive ends\n"
                          "with its end-of-archive block exactly at the end of the file, so that a\n"
                          "cut or changed file cannot pass. Prints OK, or the first fault found.\n"
                          "\n"
                          "Options:\n"
                          "  -q, --quiet   print nothing on success\n"
                          "  --json        one JSON document on standard output instead: file, ok,\n"
                          "                problem (null when ok), setupAccepts (whether the setup\n"
                          "                itself would install from the file), signed, signer\n"
                          "  --help        show this text\n"
                          "\n"
                          "Exit codes: 0 the setup is intact, 1 missing, unreadable or damaged file,\n"
                          "2 bad command line.\n";

// Every entry to memory, as the setup's scan does; the bytes are dropped.
int ScanEntry(wchar_t* name, const unsigned char* data, uint32_t, void*)
{
    if (!data)
        name[0] = 1 | kNameCodeCheckOnly;
    return 0;
}

} // namespace

int RunTest(const Arguments& args)
{
    ReaderArgs a = ParseReaderArgs(args, true, false);
    if (a.help) {
        std::fputs(kTestUsage, stdout);
        return kExitOk;
    }
    if (!a.error.empty()) {
        std::fprintf(stderr, "mksetup test: %s\n\n%s", a.error.c_str(), kTestUsage);
        return kExitUsage;
    }
    EntryHeaderInfo info{};
    PassResult result = ArchivePassWithInfo(ArchivePathOf(a.file).c_str(), ScanEntry, nullptr, &info);
    std::string fault = result != 0 ? PassFailureText(result, info, a.file) : "";
    bool setupAccepts = fault.empty();
    if (setupAccepts) {
        fault = CheckArchiveBlocks(a.file);
    }
    if (a.json) {
        PeSignature sig = ReadPeSignature(a.file);
        std::printf("{\n  \"file\": %s,\n  \"ok\": %s,\n  \"problem\": %s,\n  \"setupAccepts\": %s,\n"
                    "  \"signed\": %s,\n  \"signer\": %s\n}\n",
                    JsonString(a.file).c_str(), fault.empty() ? "true" : "false",
                    fault.empty() ? "null" : JsonString(fault).c_str(), setupAccepts ? "true" : "false",
                    sig.present ? "true" : "false", sig.signer.empty() ? "null" : JsonString(sig.signer).c_str());
    } else if (!fault.empty()) {
        std::fprintf(stderr, "mksetup test: %s: %s\n", a.file.c_str(), fault.c_str());
        if (setupAccepts)
            std::fputs("mksetup test: the setup itself would accept this file and install what it reads\n", stderr);
    } else if (!a.quiet) {
        std::puts("OK");
    }
    return fault.empty() ? kExitOk : kExitFailure;
}
