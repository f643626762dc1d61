// Runs the decoder directly on packed streams: one working record and window
// for a sequence of entries, as one archive pass would hold them, with the
// packed bytes read from a real file.
#ifndef OV_TESTS_UNPACK_DECODER_HARNESS_H
#define OV_TESTS_UNPACK_DECODER_HARNESS_H

#include "archive/checksum.h"
#include "archive/extract_context.h"
#include "archive/output_sink.h"
#include "support/archive_builder.h"
#include "unpack/lz_decoder.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

class DecoderHarness {
public:
    DecoderHarness()
    {
        ctx_ = static_cast<ExtractContext*>(calloc(1, sizeof(ExtractContext)));
        window_ = static_cast<uint8_t*>(calloc(kWindowSize, 1));
        PrepareExtractContext(ctx_);
        ctx_->archiveFormat = kFormatCurrentGeneration;
        ByteBufferCreate(&sink_);
    }
    ~DecoderHarness()
    {
        ByteBufferDestroy(&sink_);
        free(window_);
        free(ctx_);
    }
    DecoderHarness(const DecoderHarness&) = delete;
    DecoderHarness& operator=(const DecoderHarness&) = delete;

    // Decodes one entry of `unpackedSize` bytes from `packed`; returns what
    // was delivered (which may be more than the size when a match overshoots).
    std::vector<uint8_t> Decode(const std::vector<uint8_t>& packed, uint32_t unpackedSize, bool solid)
    {
        std::string path = dir_.File("packed.bin");
        testsupport::WriteFileBytes(path, packed);
        FILE* f = std::fopen(path.c_str(), "rb");
        ctx_->archive = f;
        ctx_->packedInput = f;
        ctx_->packedLeft = int32_t(packed.size());
        ctx_->unpackedLeft = int32_t(unpackedSize);
        ctx_->output = nullptr;
        ctx_->skipMode = 0;
        ctx_->dataCrc = 0xFFFFFFFFu;
        ByteBufferClear(&sink_);
        ctx_->memorySink = &sink_;
        DecompressEntry(ctx_, window_, solid ? 1 : 0);
        std::fclose(f);
        ctx_->archive = nullptr;
        ctx_->packedInput = nullptr;
        return std::vector<uint8_t>(sink_.data, sink_.data + sink_.size);
    }

    ExtractContext* ctx() { return ctx_; }
    uint8_t* window() { return window_; }
    // The checksum of the last entry, as stored in an archive (complemented).
    uint32_t StoredCrc() const { return ~ctx_->dataCrc; }

private:
    testsupport::TempDir dir_;
    ExtractContext* ctx_;
    uint8_t* window_;
    ByteBuffer sink_;
};

// Opens `bytes` as the packed data of an entry of a record, for tests that
// drive the bit reader directly.
struct PackedFile {
    testsupport::TempDir dir;
    FILE* f = nullptr;
    PackedFile(ExtractContext* ctx, const std::vector<uint8_t>& bytes, int32_t packedSize)
    {
        testsupport::WriteFileBytes(dir.File("p"), bytes);
        f = std::fopen(dir.File("p").c_str(), "rb");
        ctx->archive = ctx->packedInput = f;
        ctx->packedLeft = packedSize;
    }
    ~PackedFile() { std::fclose(f); }
};

#endif
