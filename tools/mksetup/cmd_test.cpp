// mksetup test: the same pass the setup runs before its dialog appears:
// every entry decoded into memory and its checksum verified.
#include "tools/mksetup/commands.h"

#include "tools/mksetup/reader_common.h"

#include <cstdio>

namespace {

const char kTestUsage[] = "usage: mksetup test FILE\n"
                          "\n"
                          "Decodes every entry of a setup or a bare archive in memory and verifies\n"
                          "its checksum, exactly as the setup does at start. Prints OK, or names the\n"
                          "first bad entry and the reason.\n"
                          "\n"
                          "Options:\n"
                          "  -q, --quiet   print nothing on success\n"
                          "  --help        show this text\n"
                          "\n"
                          "Exit codes: 0 the setup is intact, 1 missing, unreadable or damaged file,\n"
                          "2 bad command line.\n";

// Every entry to memory, as the setup's scan does; the bytes are dropped.
int ScanEntry(wchar_t* name, const unsigned char* data, uint32_t, void* user)
{
    if (!data) {
        name[0] = 1 | kNameCodeCheckOnly;
        ++*static_cast<unsigned*>(user);
    }
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
    unsigned entries = 0;
    PassResult result = ArchivePassWithInfo(WideOf(a.file).c_str(), ScanEntry, &entries, &info);
    if (result != 0) {
        std::fprintf(stderr, "mksetup test: %s: %s\n", a.file.c_str(), PassFailureText(result, info, a.file).c_str());
        return kExitFailure;
    }
    if (!a.quiet)
        std::puts("OK");
    return kExitOk;
}
