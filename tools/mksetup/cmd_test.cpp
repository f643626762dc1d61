// mksetup test: the same pass the setup runs before its dialog appears:
// every entry decoded into memory and its checksum verified.
#include "tools/mksetup/commands.h"

#include "tools/mksetup/archive_check.h"
#include "tools/mksetup/reader_common.h"

#include <cstdio>

namespace {

const char kTestUsage[] = "usage: mksetup test FILE\n"
                          "\n"
                          "Decodes every entry of a setup or a bare archive in memory and verifies\n"
                          "its checksum, exactly as the setup does at start. Then checks what the\n"
                          "setup does not: every block header's checksum, and that the archive ends\n"
                          "with its end-of-archive block exactly at the end of the file, so that a\n"
                          "cut or changed file cannot pass. Prints OK, or the first fault found.\n"
                          "\n"
                          "Options:\n"
                          "  -q, --quiet   print nothing on success\n"
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

int CountEntry(const EntryHeaderInfo*, void* user)
{
    ++*static_cast<unsigned*>(user);
    return 0;
}

} // namespace

int RunTest(const Arguments& args)
{
    ReaderArgs a = ParseReaderArgs(args, false, false);
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
    if (result != 0) {
        std::fprintf(stderr, "mksetup test: %s: %s\n", a.file.c_str(), PassFailureText(result, info, a.file).c_str());
        return kExitFailure;
    }
    // The setup's walk may end early at a block it cannot step over; every
    // file entry the blocks hold must be one it reaches.
    unsigned blocks = 0, walked = 0;
    std::string fault = CheckArchiveBlocks(a.file, &blocks);
    WalkArchiveHeaders(ArchivePathOf(a.file).c_str(), CountEntry, &walked);
    if (fault.empty() && blocks != walked)
        fault = "the setup reads " + std::to_string(walked) + " of the " + std::to_string(blocks) + " file entries";
    if (!fault.empty()) {
        std::fprintf(stderr,
                     "mksetup test: %s: %s\n"
                     "mksetup test: the setup itself would accept this file and install what it reads\n",
                     a.file.c_str(), fault.c_str());
        return kExitFailure;
    }
    if (!a.quiet)
        std::puts("OK");
    return kExitOk;
}
