#include "archive/container.h"

#include "archive/extract_context.h"
#include "base/text_utils.h"

#include <stdlib.h>
#include <string.h>

static uint16_t Get16(const uint8_t* p)
{
    return uint16_t(p[0] | (p[1] << 8));
}

static uint32_t Get32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// The current position as a 32-bit block position; -1 when the stream
// cannot tell or the position does not fit.
static int32_t CurrentPosition(FILE* f)
{
    long pos = ftell(f);
    if (pos < 0 || pos > 0x7FFFFFFFL)
        return -1;
    return int32_t(pos);
}

size_t ReadFixedHeader(ExtractContext* ctx, int kind)
{
    uint8_t raw[kFileHeaderSize];
    size_t want = kind == kBlockMain ? kMainHeaderSize : kFileHeaderSize;
    size_t got = fread(raw, 1, want, ctx->archive);
    if (got < want) {
        // A block cut by the end of the file still tells its kind and size,
        // which decide whether the cut went into it.
        if (kind != kBlockMain && got >= kMinBlockSize) {
            FileHeader* h = &ctx->fileHeader;
            h->headType = raw[kHeadTypeOffset];
            h->headFlags = Get16(raw + kHeadFlagsOffset);
            h->headSize = Get16(raw + kHeadSizeOffset);
        }
        return got;
    }
    if (kind == kBlockMain) {
        MainHeader* h = &ctx->mainHeader;
        h->headCrc = Get16(raw + kHeadCrcOffset);
        h->headType = raw[kHeadTypeOffset];
        h->headFlags = Get16(raw + kHeadFlagsOffset);
        h->headSize = Get16(raw + kHeadSizeOffset);
        h->reserved1 = Get16(raw + 7);
        h->reserved2 = Get32(raw + 9);
    } else {
        FileHeader* h = &ctx->fileHeader;
        h->headCrc = Get16(raw + kHeadCrcOffset);
        h->headType = raw[kHeadTypeOffset];
        h->headFlags = Get16(raw + kHeadFlagsOffset);
        h->headSize = Get16(raw + kHeadSizeOffset);
        h->packSize = Get32(raw + kPackSizeOffset);
        h->unpSize = Get32(raw + kUnpSizeOffset);
        h->hostOs = raw[kHostOsOffset];
        h->fileCrc = Get32(raw + kFileCrcOffset);
        h->fileTime = Get32(raw + kFileTimeOffset);
        h->unpVer = raw[kUnpVerOffset];
        h->method = raw[kMethodOffset];
        h->nameSize = Get16(raw + kNameSizeOffset);
        h->fileAttr = Get32(raw + kFileAttrOffset);
    }
    return got;
}

int ScanForArchiveMarker(const uint8_t* buf, size_t got, long base, long* offset)
{
    // The old generation also needs its signature at file offsets 28..31.
    long at = kOldSfxSignatureOffset - base;
    bool oldSignature = at >= 0 && got >= size_t(at) + sizeof kOldSfxSignature &&
                        memcmp(buf + at, kOldSfxSignature, sizeof kOldSfxSignature) == 0;
    for (size_t i = 0; i < got; i++) {
        // Candidates are the marker's first byte; the C library finds them
        // many bytes at a time.
        const void* next = memchr(buf + i, kArchiveMarker[0], got - i);
        if (!next)
            break;
        i = size_t(static_cast<const uint8_t*>(next) - buf);
        if (i + 3 < got && memcmp(buf + i + 1, kOldMarker + 1, 3) == 0 && oldSignature) {
            *offset = base + long(i);
            return kFormatOldGeneration;
        }
        if (i + 9 < got && memcmp(buf + i + 1, kArchiveMarker + 1, kMarkerSize - 1) == 0 &&
            buf[i + kMarkerSize + kHeadTypeOffset] == kBlockMain) {
            *offset = base + long(i);
            return kFormatCurrentGeneration;
        }
    }
    return 0;
}

int FindArchiveStart(ExtractContext* ctx)
{
    ctx->archiveFormat = 0;
    if (fread(ctx->marker, 1, kMarkerSize, ctx->archive) < kMarkerSize)
        return 0;
    if (memcmp(ctx->marker, kArchiveMarker, kMarkerSize) == 0) {
        if (ReadFixedHeader(ctx, kBlockMain) < kMainHeaderSize)
            return 0;
        ctx->archiveFormat = kFormatCurrentGeneration;
        return 1;
    }

    uint8_t* buf = (uint8_t*)calloc(kScanBufferSize, 1);
    if (!buf)
        return 0;
    long base = ftell(ctx->archive);
    size_t got = base == kMarkerSize ? fread(buf, 1, kScanBufferSize - 1, ctx->archive) : 0;
    long offset = 0;
    int format = ScanForArchiveMarker(buf, got, base, &offset);
    free(buf);
    if (!format || fseek(ctx->archive, offset, SEEK_SET) != 0)
        return 0;
    if (format == kFormatCurrentGeneration && fread(ctx->marker, 1, kMarkerSize, ctx->archive) < kMarkerSize)
        return 0;
    // A main header cut short by the end of the file is no archive: its
    // fields would be whatever the record held before.
    if (ReadFixedHeader(ctx, kBlockMain) < kMainHeaderSize)
        return 0;
    ctx->archiveFormat = format;
    return 1;
}

size_t NextEntryHeader(ExtractContext* ctx)
{
    FileHeader kept = ctx->fileHeader;
    FileHeader* h = &ctx->fileHeader;
    size_t n;
    for (;;) {
        int32_t pos = CurrentPosition(ctx->archive);
        if (pos < 0)
            return 0;
        ctx->blockPos = pos;
        n = ReadFixedHeader(ctx, kBlockFile);
        if (n == 0)
            break;
        // A header cut by the end of the file is damage (a cut download),
        // not the end of the archive: the entries behind it are lost.
        // A complete header is walked as it always was.
        if (n < kMinBlockSize || (h->headType == kBlockFile && n < kFileHeaderSize) ||
            (ctx->fileSize >= 0 && int64_t(pos) + h->headSize > ctx->fileSize)) {
            ctx->truncated = 1;
            return 0;
        }
        // A short block at the very end (the end-of-archive block) or a
        // head size below the minimum ends the walk.
        if (n < kFileHeaderSize || h->headSize < kMinBlockSize)
            return 0;
        int64_t next = int64_t(pos) + h->headSize + ((h->headFlags & kFlagHasData) ? int64_t(h->packSize) : 0);
        // Block positions are 32-bit: a block beyond 2 GiB ends the walk
        // instead of wrapping around to an earlier position.
        if (next > 0x7FFFFFFF)
            return 0;
        // A data area cut by the end of the file loses what followed it,
        // even where the bytes cut off were not needed to decode it.
        if (ctx->fileSize >= 0 && next > ctx->fileSize) {
            ctx->truncated = 1;
            return 0;
        }
        ctx->nextBlockPos = int32_t(next);
        if (h->headType == kBlockFile || h->headType == kBlockOldSub)
            break;
        // Comments, authenticity blocks, recovery records, new-style
        // sub-blocks and even the end-of-archive block are stepped over.
        if (fseek(ctx->archive, ctx->nextBlockPos, SEEK_SET) != 0)
            return 0;
    }
    ctx->blockType = n ? h->headType : 0;
    if (n == 0 || h->headType != kBlockFile) {
        ctx->fileHeader = kept;
        fseek(ctx->archive, ctx->blockPos, SEEK_SET);
        return n;
    }
    if (h->nameSize > kNameCapacity - 1)
        h->nameSize = kNameCapacity - 1;
    size_t got = fread(ctx->fileName, 1, h->nameSize, ctx->archive);
    ctx->fileName[got] = 0;
    if (got < h->nameSize) {
        ctx->truncated = 1; // the name is cut short by the end of the file
        return 0;
    }
    NormalizeEntry(ctx);
    return n + got;
}

void NormalizeEntry(ExtractContext* ctx)
{
    for (char* p = ctx->fileName; *p; p++)
        if (IsPathSeparator(*p))
            *p = '\\';
    // Unix permission bits and unknown hosts' words mean nothing to Windows.
    FileHeader* h = &ctx->fileHeader;
    if (h->hostOs >= kHostUnix)
        h->fileAttr = (h->headFlags & kFlagDirectoryBits) == kFlagDirectoryBits ? kAttrDirectory : kAttrArchive;
}

void MapHostAttributes(ExtractContext* ctx)
{
    // The attribute word was mapped when the entry was read; what is left
    // is the host, which tools show: unknown hosts count as MS-DOS.
    FileHeader* h = &ctx->fileHeader;
    if (h->hostOs > kHostUnix)
        h->hostOs = kHostMsDos;
}
