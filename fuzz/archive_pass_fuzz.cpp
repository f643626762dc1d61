// Fuzzes the whole reader: the input becomes a file, and one archive pass
// decodes every entry of it into memory, as the setup's scan does. Any
// crash, hang, sanitizer report or leak is a finding; results are not.
//
//   cmake -S . -B build/fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
//   cmake --build build/fuzz --target archive_pass_fuzz
//   build/fuzz/fuzz/archive_pass_fuzz -max_len=200000 CORPUS_DIR
#include "archive/archive_pass.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <wchar.h>

static wchar_t gPath[64];
static char gNarrowPath[64];

// Memory mode for every entry; the second call touches every byte so that
// the sanitizers see the whole buffer.
static int ScanEntry(wchar_t* name, const unsigned char* data, uint32_t size, void* user)
{
    if (!data) {
        name[0] = 1;
        return 0;
    }
    unsigned sum = 0;
    for (uint32_t i = 0; i <= size; i++)
        sum += data[i];
    *static_cast<unsigned*>(user) += sum;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!gPath[0]) {
        snprintf(gNarrowPath, sizeof gNarrowPath, "/tmp/archive_pass_fuzz.%d", int(getpid()));
        for (size_t i = 0; gNarrowPath[i]; i++)
            gPath[i] = wchar_t(gNarrowPath[i]);
    }
    FILE* f = fopen(gNarrowPath, "wb");
    if (!f)
        return 0;
    fwrite(data, 1, size, f);
    fclose(f);
    unsigned sum = 0;
    ArchivePass(gPath, ScanEntry, &sum);
    return 0;
}
