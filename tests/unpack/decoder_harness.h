// Runs the decoder directly on packed streams: one decoder record and window
// for a sequence of entries, as one archive pass would hold them, with the
// packed bytes read from a real file and the output collected in memory.
#ifndef OV_TESTS_UNPACK_DECODER_HARNESS_H
#define OV_TESTS_UNPACK_DECODER_HARNESS_H

#include "support/archive_builder.h"
#include "unpack/decoder_state.h"
#include "unpack/lz_decoder.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

// Opens `bytes` as the packed data of an entry of a record, for tests that
// drive the bit reader directly.
struct PackedFile {
    testsupport::TempDir dir;
    FILE* f = nullptr;
    PackedFile(DecoderState* state, const std::vector<uint8_t>& bytes, int32_t packedSize)
    {
        testsupport::WriteFileBytes(dir.File("p"), bytes);
        state->packedInput = f = std::fopen(dir.File("p").c_str(), "rb");
        state->packedLeft = packedSize;
    }
    ~PackedFile() { std::fclose(f); }
};

class DecoderHarness {
public:
    DecoderHarness()
    {
        PrepareDecoder(state_);
        state_->deliver = [](void* sink, const uint8_t* bytes, uint32_t count) {
            auto* out = static_cast<std::vector<uint8_t>*>(sink);
            out->insert(out->end(), bytes, bytes + count);
            return count;
        };
        state_->sink = &out_;
    }
    ~DecoderHarness() { free(window_), free(state_); }
    DecoderHarness(const DecoderHarness&) = delete;
    DecoderHarness& operator=(const DecoderHarness&) = delete;

    // Decodes one entry of `unpackedSize` bytes from `packed`; returns what
    // was delivered (more than the size when a match overshoots).
    std::vector<uint8_t> Decode(const std::vector<uint8_t>& packed, uint32_t unpackedSize, bool solid)
    {
        PackedFile file(state_, packed, int32_t(packed.size()));
        state_->unpackedLeft = int32_t(unpackedSize);
        out_.clear();
        DecompressEntry(state_, window_, solid ? 1 : 0);
        state_->packedInput = nullptr;
        return out_;
    }

    DecoderState* ctx() { return state_; }
    uint8_t* window() { return window_; }

private:
    DecoderState* state_ = static_cast<DecoderState*>(calloc(1, sizeof(DecoderState)));
    uint8_t* window_ = static_cast<uint8_t*>(calloc(kRingSize, 1));
    std::vector<uint8_t> out_;
};

#endif
