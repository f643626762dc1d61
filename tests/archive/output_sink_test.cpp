// The memory buffer's growth rule and where WriteEntryOutput sends bytes.
#include "archive/extract_context.h"
#include "archive/output_sink.h"

#include "support/archive_builder.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace testsupport;

TEST(ByteBuffer, GrowsByTheRequestOrBy4096)
{
    std::vector<uint8_t> bytes(10000, 0xAB);
    ByteBuffer b;
    ByteBufferCreate(&b);
    EXPECT_EQ(b.data, nullptr);
    EXPECT_EQ(ByteBufferAppend(&b, bytes.data(), 10), 0);
    EXPECT_EQ(b.capacity, 4096u);
    EXPECT_EQ(b.size, 10u);
    ByteBufferDestroy(&b);

    EXPECT_EQ(ByteBufferAppend(&b, bytes.data(), 5000), 0);
    EXPECT_EQ(b.capacity, 5000u);
    ByteBufferDestroy(&b);

    ByteBufferAppend(&b, bytes.data(), 4000);
    ASSERT_EQ(b.capacity, 4096u);
    ByteBufferAppend(&b, bytes.data(), 200);
    EXPECT_EQ(b.capacity, 8192u);
    EXPECT_EQ(b.size, 4200u);
    ByteBufferDestroy(&b);

    ByteBufferAppend(&b, bytes.data(), 4000);
    ByteBufferAppend(&b, bytes.data(), 6000);
    EXPECT_EQ(b.capacity, 10096u);
    EXPECT_EQ(b.appendCount, 2u);
    EXPECT_EQ(std::vector<uint8_t>(b.data, b.data + b.size), std::vector<uint8_t>(10000, 0xAB));
    ByteBufferDestroy(&b);
    EXPECT_EQ(b.data, nullptr);
    EXPECT_EQ(b.capacity, 0u);
}

TEST(ByteBuffer, ClearKeepsTheAllocationAndStartsAtZero)
{
    ByteBuffer b;
    ByteBufferCreate(&b);
    auto first = BytesOf("first content");
    ByteBufferAppend(&b, first.data(), uint32_t(first.size()));
    uint8_t* block = b.data;
    ByteBufferClear(&b);
    EXPECT_EQ(b.size, 0u);
    EXPECT_EQ(b.appendCount, 0u);
    auto second = BytesOf("xy");
    ByteBufferAppend(&b, second.data(), 2);
    EXPECT_EQ(b.data, block);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b.data), b.size), "xy");

    // Reserving keeps the content and makes later appends fit.
    EXPECT_EQ(ByteBufferReserve(&b, 100000), 0);
    EXPECT_EQ(b.capacity, 100000u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b.data), b.size), "xy");
    std::vector<uint8_t> more(90000, 1);
    ByteBufferAppend(&b, more.data(), uint32_t(more.size()));
    EXPECT_EQ(b.capacity, 100000u);
    ByteBufferDestroy(&b);
}

TEST(WriteEntryOutput, FileThenMemoryThenNothing)
{
    auto* ctx = static_cast<ExtractContext*>(calloc(1, sizeof(ExtractContext)));
    auto bytes = BytesOf("payload");
    // Neither file nor memory: dropped, nothing counted.
    EXPECT_EQ(WriteEntryOutput(ctx, nullptr, bytes.data(), 7), 0u);

    ByteBuffer b;
    ByteBufferCreate(&b);
    ctx->memorySink = &b;
    EXPECT_EQ(WriteEntryOutput(ctx, nullptr, bytes.data(), 7), 7u);
    EXPECT_EQ(b.size, 7u);

    // A file wins over the memory sink.
    TempDir dir;
    FILE* f = std::fopen(dir.File("out").c_str(), "w+b");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(WriteEntryOutput(ctx, f, bytes.data(), 7), 7u);
    std::fclose(f);
    EXPECT_EQ(b.size, 7u);
    std::vector<uint8_t> got;
    ReadFileBytes(dir.File("out"), &got);
    EXPECT_EQ(got, bytes);
    EXPECT_EQ(ctx->sinkFailed, 0);
    ByteBufferDestroy(&b);
    free(ctx);
}
