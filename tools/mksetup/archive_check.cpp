#include "tools/mksetup/archive_check.h"

#include "archive/container.h"
#include "archive/extract_context.h"
#include "base/platform.h"
#include "format/checksum.h"
#include "format/rar_format.h"
#include "tools/mksetup/pe_signature.h"
#include "tools/mksetup/reader_common.h"
#include "tools/mksetup/tool_text.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

uint32_t Get16(const uint8_t* p)
{
    return uint32_t(p[0] | (p[1] << 8));
}

uint32_t Get32(const uint8_t* p)
{
    return Get16(p) | (Get16(p + 2) << 16);
}

std::string At(int64_t pos)
{
    return "at offset " + Grouped(uint64_t(pos)) + ": ";
}

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

// Behind the end block: our walk stop, then nothing but a code signature
// (after its padding to 8 bytes) where the PE header says it lies.
std::string CheckTail(FILE* file, int64_t pos, int64_t end, const std::string& path)
{
    uint8_t tail[kWalkStopSize + 8] = {};
    std::fseek(file, long(pos), SEEK_SET);
    size_t got = std::fread(tail, 1, sizeof tail, file);
    bool stop = got >= kWalkStopSize && std::memcmp(tail, "\0\0\0\0\0\0\0", kWalkStopSize) == 0;
    int64_t after = pos + (stop ? kWalkStopSize : 0);
    PeSignature sig = ReadPeSignature(path);
    if (!sig.present || int64_t(sig.offset) < after) {
        if (after == end)
            return "";
        return At(pos) + Grouped(uint64_t(end - pos)) + " bytes follow the end-of-archive block";
    }
    if (!sig.problem.empty())
        return "the code signature: " + sig.problem;
    bool padding = int64_t(sig.offset) - after < 8 && int64_t(sig.offset + sig.size) == end;
    for (int64_t i = after - pos; padding && i < int64_t(sig.offset) - pos; i++)
        padding = tail[i] == 0;
    if (!padding)
        return At(after) + "other bytes than the code signature follow the archive";
    if (!stop)
        return "the setup may read the code signature as archive blocks: build the setup again with this "
               "mksetup, then sign it";
    return "";
}

} // namespace

static std::string CheckBlocks(const std::string& path, unsigned* fileEntries)
{
    *fileEntries = 0;
    // The archive's start as the setup finds it.
    auto* ctx = static_cast<ExtractContext*>(std::calloc(1, sizeof(ExtractContext)));
    if (!ctx)
        return "not enough memory";
    std::unique_ptr<ExtractContext, decltype(&std::free)> owner(ctx, &std::free);
    std::unique_ptr<FILE, FileCloser> file(OpenArchiveStream(ArchivePathOf(path).c_str()));
    ctx->archive = file.get();
    if (!ctx->archive || !FindArchiveStart(ctx))
        return "no setup archive found in this file";
    if (ctx->archiveFormat != kFormatCurrentGeneration)
        return "";
    int64_t pos = std::ftell(ctx->archive) - kMainHeaderSize;
    std::fseek(ctx->archive, 0, SEEK_END);
    const int64_t end = std::ftell(ctx->archive);

    Crc32Table crc;
    BuildCrcTable(&crc);
    std::vector<uint8_t> header;
    for (bool first = true;; first = false) {
        if (pos == end)
            return "the archive has no end-of-archive block: the file was cut short";
        uint8_t base[kMinBlockSize];
        std::fseek(ctx->archive, long(pos), SEEK_SET);
        if (std::fread(base, 1, sizeof base, ctx->archive) < sizeof base)
            return At(pos) + "the file ends inside a block header: it was cut short";
        uint32_t size = Get16(base + kHeadSizeOffset), flags = Get16(base + kHeadFlagsOffset);
        uint8_t type = base[kHeadTypeOffset];
        if (size < (first ? unsigned(kMainHeaderSize) : unsigned(kMinBlockSize)))
            return At(pos) + "a block header of " + std::to_string(size) + " bytes is too short";
        if (pos + size > end)
            return At(pos) + "the file ends inside a block header: it was cut short";
        header.resize(size);
        std::fseek(ctx->archive, long(pos), SEEK_SET);
        if (std::fread(header.data(), 1, size, ctx->archive) < size)
            return At(pos) + "the block header cannot be read";
        if ((Crc32Of(&crc, header.data() + 2, size - 2) & 0xFFFF) != Get16(base))
            return At(pos) + "a block header fails its checksum (damaged file)";
        int64_t next = pos + size;
        if (type == kBlockFile && (size < kFileHeaderSize || size < kFileHeaderSize + Get16(&header[kNameSizeOffset])))
            return At(pos) + "a file header is shorter than its name";
        if (flags & kFlagHasData) {
            if (size < kPackSizeOffset + 4)
                return At(pos) + "a block header is too short for its data size";
            next += Get32(&header[kPackSizeOffset]);
        }
        if (next > end)
            return At(pos) + "the file ends inside a block's data: it was cut short";
        if (type == kBlockFile)
            ++*fileEntries;
        if (type == kBlockEnd && !first)
            return CheckTail(ctx->archive, next, end, path);
        pos = next;
    }
}

static int CountEntry(const EntryHeaderInfo*, void* user)
{
    ++*static_cast<unsigned*>(user);
    return 0;
}

std::string CheckArchiveBlocks(const std::string& path)
{
    // The setup's walk may end early at a block it cannot step over; every
    // file entry the blocks hold must be one it reaches.
    unsigned blocks = 0, walked = 0;
    std::string fault = CheckBlocks(path, &blocks);
    WalkArchiveHeaders(ArchivePathOf(path).c_str(), CountEntry, &walked);
    if (fault.empty() && blocks != walked)
        fault = "the setup reads " + std::to_string(walked) + " of the " + std::to_string(blocks) + " file entries";
    return fault;
}
