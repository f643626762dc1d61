// Up to 8 files from the input (names and contents, 64 KiB in all), packed
// as `mksetup build` packs them (level 1 to 5 or stored, behind a stub of
// "MZ" and zeros), must come back from the archive pass in memory mode
// whole, in order and under their names.
#include <fuzzer/FuzzedDataProvider.h>

#include "archive/archive_pass.h"
#include "base/text_utils.h"
#include "pack/archive_writer.h"

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>
#include <wchar.h>

#include <algorithm>
#include <string>

static int Compare(wchar_t* name, const unsigned char* data, uint32_t size, void* user)
{
    auto& files = *static_cast<std::vector<PackInput>*>(user); // those not read back yet
    if (files.empty())
        abort();
    if (data) {
        if (size != files[0].data.size() || !std::equal(files[0].data.begin(), files[0].data.end(), data) || data[size])
            fprintf(stderr, "%s: bytes differ\n", files[0].name.c_str()), abort();
        files.erase(files.begin());
        return 0;
    }
    std::string stored = files[0].name;
    std::replace(stored.begin(), stored.end(), '/', '\\');
    wchar_t expected[kPathCapacity];
    if (wcscmp(name, AnsiToWide(stored.c_str(), expected, kPathCapacity)))
        fprintf(stderr, "%s: read under another name\n", stored.c_str()), abort();
    name[0] = 1;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path =
        std::string(getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp") + "/pack_roundtrip." + std::to_string(getpid());
    FuzzedDataProvider in(data, size);
    PackSettings settings;
    settings.level = in.ConsumeIntegralInRange(0, 5);
    settings.storeOnly = settings.level == 0;
    settings.level += settings.storeOnly;
    std::vector<uint8_t> archive(in.ConsumeIntegralInRange(0, 1024));
    archive.resize(archive.size() < 7 ? 0 : archive.size()); // the least stub mksetup takes
    if (!archive.empty())
        archive[0] = 'M', archive[1] = 'Z';
    settings.archiveOffset = archive.size();
    std::vector<PackInput> files(in.ConsumeIntegralInRange(0, 8));
    size_t budget = 65536;
    for (size_t i = 0; i < files.size(); i++) {
        files[i].name = in.ConsumeRandomLengthString(40) + char('a' + i);
        std::replace(files[i].name.begin(), files[i].name.end(), '\0', '0');
        std::string bytes = in.ConsumeRandomLengthString(budget);
        files[i].data.assign(bytes.begin(), bytes.end());
        budget -= bytes.size();
    }
    std::string error;
    if (!WriteArchive(files, settings, &archive, &error))
        fprintf(stderr, "packing failed: %s\n", error.c_str()), abort();
    FILE* f = fopen(path.c_str(), "wb");
    if (!f || fwrite(archive.data(), 1, archive.size(), f) != archive.size() || fclose(f))
        abort();
    PassResult result = ArchivePass(std::wstring(path.begin(), path.end()).c_str(), Compare, &files);
    if (result != kPassOk || !files.empty())
        fprintf(stderr, "pass: %s, %zu files not read\n", PassResultText(result), files.size()), abort();
    return 0;
}
