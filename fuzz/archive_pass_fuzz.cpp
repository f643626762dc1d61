// Fuzzes the whole reader as the setup's scan uses it: the input becomes a
// file, and one archive pass decodes every entry of it into memory. Any
// crash, hang, sanitizer report or leak is a finding; results are not.
#include "archive/archive_pass.h"

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

// Memory mode for every entry; the second call touches every byte, the extra
// zero included, so that the sanitizers see the whole buffer.
static int ScanEntry(wchar_t* name, const unsigned char* data, uint32_t size, void* sum)
{
    if (!data)
        name[0] = 1;
    for (uint32_t i = 0; data && i <= size; i++)
        *static_cast<unsigned*>(sum) += data[i];
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path =
        std::string(getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp") + "/archive_pass_fuzz." + std::to_string(getpid());
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    fwrite(data, 1, size, f);
    fclose(f);
    unsigned sum = 0;
    ArchivePass(std::wstring(path.begin(), path.end()).c_str(), ScanEntry, &sum);
    return 0;
}
