// The archive pass: opens the file, finds the archive, walks every file
// entry in order, lets the caller's callback choose each entry's output,
// decodes it (every entry, since the archive is solid), tests its checksum
// and gives written files their archived time and attributes.
#include "archive/archive_pass.h"

#include "archive/container.h"
#include "archive/extract_context.h"
#include "archive/output_sink.h"
#include "base/platform.h"
#include "base/text_utils.h"
#include "unpack/bit_input.h"
#include "unpack/lz_decoder.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

enum {
    kCopyBufferSize = 0x8000,
    kReserveLimit = 64 << 20, // bytes a memory-mode entry may claim up front
};

const char* PassResultText(PassResult result)
{
    switch (result) {
    case kPassOk:
        return "success";
    case kPassNoMemory:
    case kPassNoWindow:
    case kPassNoCopyBuffer:
        return "not enough memory";
    case kPassNoArchive:
        return "no archive found";
    case kPassBadChecksum:
        return "checksum mismatch (damaged file)";
    case kPassMissingVolume:
        return "the archive continues in a next volume";
    case kPassCannotCreate:
        return "the output file cannot be created";
    case kPassTruncated:
        return "the file ends inside a block (cut short)";
    case kPassCannotWrite:
        return "the output file cannot be written";
    }
    return "unknown result";
}

// Where every byte of an entry goes, decoded or copied: to its output, with
// the count and the checksum the pass judges the entry by.
static uint32_t DeliverToSink(void* sink, const uint8_t* bytes, uint32_t count)
{
    ExtractContext* ctx = static_cast<ExtractContext*>(sink);
    uint32_t accepted = ctx->checkOnly ? count : WriteEntryOutput(ctx, ctx->output, bytes, count);
    if (accepted < count && ctx->output && !ctx->writeFailed) {
        ctx->writeFailed = 1;
        ctx->writeError = errno;
    }
    ctx->deliveredBytes += accepted;
    if (!ctx->skipMode && accepted)
        ctx->dataCrc = ChecksumUpdate(&ctx->crc, ctx->dataCrc, bytes, accepted, ctx->archiveFormat);
    return accepted;
}

void PrepareExtractContext(ExtractContext* ctx)
{
    PrepareDecoder(&ctx->decoder);
    ctx->decoder.deliver = DeliverToSink;
    ctx->decoder.sink = ctx;
    BuildCrcTable(&ctx->crc);
}

PassResult CopyStoredEntry(ExtractContext* ctx)
{
    DecoderState* d = &ctx->decoder;
    uint8_t* buffer = (uint8_t*)calloc(kCopyBufferSize, 1);
    if (!buffer)
        return kPassNoCopyBuffer;
    for (;;) {
        int32_t k = ReadPacked(d, buffer, kCopyBufferSize);
        if (k <= 0)
            break;
        // Packed bytes beyond the unpacked size are read but not delivered.
        // An unpacked size beyond 2 GiB is negative here: nothing is
        // delivered and the checksum fails.
        if (k >= d->unpackedLeft)
            k = d->unpackedLeft > 0 ? d->unpackedLeft : 0;
        if (k > 0)
            DeliverToSink(ctx, buffer, uint32_t(k));
        if (d->unpackedLeft >= 0)
            d->unpackedLeft -= k;
    }
    free(buffer);
    return kPassOk;
}

static void FillHeaderInfo(const ExtractContext* ctx, EntryHeaderInfo* info)
{
    const FileHeader* h = &ctx->fileHeader;
    memset(info, 0, sizeof *info);
    info->headFlags = h->headFlags;
    info->hostOs = h->hostOs;
    info->unpVer = h->unpVer;
    info->method = h->method;
    info->packSize = h->packSize;
    info->unpSize = h->unpSize;
    info->fileCrc = h->fileCrc;
    info->fileTime = h->fileTime;
    info->fileAttr = h->fileAttr;
    info->blockPos = ctx->blockPos;
    info->archiveFormat = ctx->archiveFormat;
    memcpy(info->name, ctx->fileName, sizeof info->name);
}

static int ChecksumMatches(const ExtractContext* ctx)
{
    if (ctx->archiveFormat == kFormatOldGeneration)
        return ctx->dataCrc == ctx->fileHeader.fileCrc;
    return ctx->dataCrc == ~ctx->fileHeader.fileCrc;
}

enum { kStreamBufferSize = 65536 };

static void CloseArchive(ExtractContext* ctx)
{
    fclose(ctx->archive);
    ctx->archive = nullptr;
    free(ctx->streamBuffer);
    ctx->streamBuffer = nullptr;
}

// Opens the archive and positions the stream at the first block behind the
// main header. Returns 0 or a pass result.
static PassResult OpenArchive(ExtractContext* ctx)
{
    ctx->archive = OpenArchiveStream(ctx->archivePath);
    if (!ctx->archive)
        return kPassNoArchive;
    // A buffer larger than the usual 4 KiB: a large setup is read in a fifth
    // of the calls. Without memory the library's own serves.
    ctx->streamBuffer = (char*)malloc(kStreamBufferSize);
    if (ctx->streamBuffer)
        setvbuf(ctx->archive, ctx->streamBuffer, _IOFBF, kStreamBufferSize);
    // The file's size tells a header cut by its end from the end of the walk.
    ctx->fileSize = -1;
    if (fseek(ctx->archive, 0, SEEK_END) == 0)
        ctx->fileSize = ftell(ctx->archive);
    rewind(ctx->archive);
    if (!FindArchiveStart(ctx)) {
        CloseArchive(ctx);
        return kPassNoArchive;
    }
    // A main header that claims fewer than its own 13 bytes is not a reason
    // to step back into it.
    if (ctx->mainHeader.headSize > kMainHeaderSize)
        fseek(ctx->archive, long(ctx->mainHeader.headSize) - kMainHeaderSize, SEEK_CUR);
    return kPassOk;
}

// The stream usually stands there already (behind an entry's packed data);
// asking is cheaper than a seek, which may drop the buffered bytes.
static void SeekTo(ExtractContext* ctx, int64_t position)
{
    if (position >= 0 && ftell(ctx->archive) != long(position))
        fseek(ctx->archive, long(position), SEEK_SET);
}

// Steps to the next file entry, over old-style sub-blocks, with the host
// mapping applied and the volume flags checked. False at the end of the walk;
// *result is set when that end is a failure.
static bool NextFileEntry(ExtractContext* ctx, int* firstEntry, PassResult* result)
{
    for (;;) {
        if (NextEntryHeader(ctx) == 0) {
            // The last entry claims to go on in a next volume, which we do
            // not have: the archive is incomplete.
            if (ctx->truncated)
                *result = kPassTruncated;
            else if (ctx->splitAfter)
                *result = kPassMissingVolume;
            return false;
        }
        if (ctx->blockType != kBlockOldSub)
            break;
        SeekTo(ctx, ctx->nextBlockPos);
    }
    MapHostAttributes(ctx);
    if (*firstEntry && (ctx->fileHeader.headFlags & kFlagContinuedFrom)) {
        *result = kPassNoArchive;
        return false;
    }
    *firstEntry = 0;
    ctx->splitAfter = ctx->fileHeader.headFlags & kFlagContinuedIn;
    return true;
}

PassResult ExtractEntries(ExtractContext* ctx)
{
    ByteBuffer buffer;
    ByteBufferCreate(&buffer);
    PassResult result = OpenArchive(ctx);
    if (result != kPassOk) {
        ByteBufferDestroy(&buffer);
        return result;
    }
    ctx->windowBuffer = AllocateWindowMemory(kRingSize);
    if (!ctx->windowBuffer) {
        CloseArchive(ctx);
        ByteBufferDestroy(&buffer);
        return kPassNoWindow;
    }

    int firstEntry = 1;
    ctx->splitAfter = 0;
    wchar_t name[kPathCapacity];
    EntryHeaderInfo* info = ctx->headerInfo;
    while (result == kPassOk && NextFileEntry(ctx, &firstEntry, &result)) {
        const FileHeader* h = &ctx->fileHeader;
        SeekTo(ctx, int64_t(ctx->nextBlockPos) - h->packSize);
        if (info)
            FillHeaderInfo(ctx, info);

        if (h->fileAttr & kAttrDirectory) {
            name[0] = 0;
        } else {
            AnsiToWide(ctx->fileName, name, kPathCapacity);
            if (ctx->entryCallback(name, nullptr, h->unpSize, ctx->userData) != 0)
                break;
        }
        ctx->memorySink = nullptr;
        ctx->output = nullptr;
        if (h->fileAttr & (kAttrVolumeLabel | kAttrDirectory)) {
            // Nothing to decode; a data area such an entry may carry is
            // stepped over, not read as the next header.
            SeekTo(ctx, ctx->nextBlockPos);
            continue;
        }

        FILE* out = nullptr;
        bool memoryMode = false;
        ctx->checkOnly = 0;
        if (name[0] == 0) {
            // skip: decoded for the solid state, output dropped
        } else if (name[0] < 32 && (name[0] & kNameCodeCheckOnly)) {
            memoryMode = true;
            ctx->checkOnly = 1;
        } else if (name[0] < 32) {
            memoryMode = true;
            ByteBufferClear(&buffer);
            // One allocation for the whole entry (up to a sane size) when
            // memory allows, so a large entry is not copied again at every
            // growth step; beyond it, or without memory, the buffer grows
            // as it goes. A damaged size must not claim gigabytes at once.
            uint32_t wanted = h->unpSize < kReserveLimit ? h->unpSize + 1 : uint32_t(kReserveLimit);
            ByteBufferReserve(&buffer, wanted);
            ctx->memorySink = &buffer;
        } else {
            out = CreateOutputStream(name);
            if (!out) {
                result = kPassCannotCreate;
                break;
            }
        }
        ctx->skipMode = name[0] == 0 ? 1 : 0;
        ctx->dataCrc = ctx->archiveFormat == kFormatOldGeneration ? 0 : 0xFFFFFFFFu;
        DecoderState* d = &ctx->decoder;
        d->packedLeft = int32_t(h->packSize);
        d->unpackedLeft = int32_t(h->unpSize);
        d->packedInput = ctx->archive;
        d->inputOverrun = 0;
        ctx->output = out;
        ctx->sinkFailed = 0;
        ctx->writeFailed = 0;
        ctx->deliveredBytes = 0;

        // The encrypted flag is not acted on: such an entry decodes to
        // wrong bytes and fails its checksum.
        if (h->method == kMethodStored)
            result = CopyStoredEntry(ctx);
        else if (h->unpVer > kLastOldUnpackVersion)
            DecompressEntry(d, ctx->windowBuffer, h->headFlags & kFlagSolid);
        SeekTo(ctx, ctx->nextBlockPos);
        // Bytes still buffered must reach the disk before the entry counts
        // as written: a full disk shows here as often as in a write.
        if (out && fflush(out) != 0 && !ctx->writeFailed) {
            ctx->writeFailed = 1;
            ctx->writeError = errno;
        }

        // The checksum is the archive's to choose, so it can also match
        // output that does not have the size the header states; such an
        // entry is damaged too (a callback told the header's size would
        // read past the bytes it was given).
        bool good = true;
        if (ctx->writeFailed) {
            // Not the archive's fault: saying "damaged" would send the
            // customer to download again for a full disk.
            good = false;
            result = kPassCannotWrite;
        } else if (!ctx->skipMode) {
            good = ChecksumMatches(ctx) && !d->inputOverrun && ctx->deliveredBytes == h->unpSize;
            if (!good)
                result = kPassBadChecksum;
        }
        if (info) {
            info->decoded = 1;
            info->inputOverrun = d->inputOverrun;
            info->checksumOk = !ctx->skipMode && good;
            info->sizeMismatch = ctx->deliveredBytes != h->unpSize;
            info->writeError = ctx->writeFailed ? ctx->writeError : 0;
        }
        if (out)
            fclose(out);
        ctx->output = nullptr;

        if (!good) {
            if (out)
                DeleteFilePath(name);
            break;
        }
        if (memoryMode && ctx->checkOnly) {
            static const uint8_t kNoBytes = 0;
            if (ctx->entryCallback(name, &kNoBytes, 0, ctx->userData) != 0)
                break;
        } else if (memoryMode) {
            static const uint8_t kZero = 0;
            // Bytes lost for want of memory, the closing zero included, must
            // not reach the callback as if they were the entry.
            if (ByteBufferAppend(&buffer, &kZero, 1) != 0 || ctx->sinkFailed || !buffer.data) {
                result = kPassNoMemory;
                break;
            }
            if (ctx->entryCallback(name, buffer.data, h->unpSize, ctx->userData) != 0)
                break;
        } else if (out) {
            ApplyFileTimeAndAttributes(name, h->fileTime, h->fileAttr);
        }
    }

    FreeWindowMemory(ctx->windowBuffer, kRingSize);
    ctx->windowBuffer = nullptr;
    CloseArchive(ctx);
    ByteBufferDestroy(&buffer);
    return result;
}

PassResult ArchivePassWithInfo(const wchar_t* archivePath, EntryCallback callback, void* userData,
                               EntryHeaderInfo* info)
{
    ExtractContext* ctx = (ExtractContext*)calloc(1, sizeof(ExtractContext));
    if (!ctx)
        return kPassNoMemory;
    ctx->archivePath = archivePath;
    ctx->entryCallback = callback;
    ctx->userData = userData;
    ctx->headerInfo = info;
    if (info)
        memset(info, 0, sizeof *info);
    PrepareExtractContext(ctx);
    PassResult result = ExtractEntries(ctx);
    free(ctx);
    return result;
}

PassResult ArchivePass(const wchar_t* archivePath, EntryCallback callback, void* userData)
{
    return ArchivePassWithInfo(archivePath, callback, userData, nullptr);
}

PassResult WalkArchiveHeaders(const wchar_t* archivePath, HeaderVisitor visit, void* userData)
{
    ExtractContext* ctx = (ExtractContext*)calloc(1, sizeof(ExtractContext));
    if (!ctx)
        return kPassNoMemory;
    ctx->archivePath = archivePath;
    PassResult result = OpenArchive(ctx);
    if (result != kPassOk) {
        free(ctx);
        return result;
    }
    EntryHeaderInfo info;
    int firstEntry = 1;
    while (NextFileEntry(ctx, &firstEntry, &result)) {
        FillHeaderInfo(ctx, &info);
        if (visit(&info, userData) != 0)
            break;
        SeekTo(ctx, ctx->nextBlockPos);
    }
    CloseArchive(ctx);
    free(ctx);
    return result;
}
