// The deflate decoder over zlib: one stream across blocks, a stream per block, the end and errors.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include <zlib.h>

#include "GraphicCompression.h"
#include "GraphicStrings.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Plain(size_t n, unsigned seed) {
    Bytes data(n);
    for (size_t i = 0; i < n; ++i) data[i] = uint8_t((i * seed) ^ (i >> 5));
    return data;
}

Bytes Deflate(const Bytes& data) {
    uLongf size = compressBound(uLong(data.size()));
    Bytes packed(size);
    EXPECT_EQ(compress(packed.data(), &size, data.data(), uLong(data.size())), Z_OK);
    packed.resize(size);
    return packed;
}

TEST(LZ77, OneStreamFedInPieces) {
    const Bytes data = Plain(20000, 7);
    const Bytes packed = Deflate(data);
    TLZ77Decoder decoder(Z_PARTIAL_FLUSH, false);
    decoder.BeginDecoding();
    Bytes out(data.size());
    void* target = out.data();
    size_t fed = 0;
    while (fed < packed.size() && decoder.LastResult() == Z_OK) {
        const size_t n = std::min<size_t>(97, packed.size() - fed);
        void* source = const_cast<uint8_t*>(packed.data() + fed);
        const uint8_t* before = static_cast<uint8_t*>(target);
        decoder.DecodeBlock(source, target, int32_t(n), int32_t(out.data() + out.size() - before));
        EXPECT_EQ(static_cast<uint8_t*>(source), packed.data() + fed + n - decoder.InputLeft());
        fed += n;
    }
    EXPECT_EQ(decoder.LastResult(), Z_STREAM_END);
    EXPECT_EQ(fed, packed.size());
    EXPECT_EQ(out, data);
    EXPECT_EQ(decoder.OutputLeft(), 0u);

    // After the end every block returns at once and moves nothing.
    uint8_t more[4] = {1, 2, 3, 4};
    void* source = more;
    void* before = target;
    decoder.DecodeBlock(source, target, 4, 4);
    EXPECT_EQ(source, static_cast<void*>(more));
    EXPECT_EQ(target, before);
    EXPECT_EQ(decoder.LastResult(), Z_STREAM_END);
    decoder.EndDecoding();
}

TEST(LZ77, ExtraInputAndShortOutputAreReported) {
    const Bytes data = Plain(1000, 3);
    Bytes packed = Deflate(data);
    packed.insert(packed.end(), {9, 9, 9});
    TLZ77Decoder decoder(Z_FINISH, false);
    decoder.BeginDecoding();
    Bytes out(600);
    void* source = packed.data();
    void* target = out.data();
    decoder.DecodeBlock(source, target, int32_t(packed.size()), int32_t(out.size()));
    EXPECT_EQ(decoder.LastResult(), Z_BUF_ERROR);  // finishing needs more room
    EXPECT_EQ(decoder.OutputLeft(), 0u);
    EXPECT_EQ(Bytes(data.begin(), data.begin() + 600), out);
    decoder.EndDecoding();

    TLZ77Decoder whole(Z_FINISH, false);
    whole.BeginDecoding();
    Bytes all(1000);
    source = packed.data();
    target = all.data();
    whole.DecodeBlock(source, target, int32_t(packed.size()), int32_t(all.size()));
    EXPECT_EQ(whole.LastResult(), Z_STREAM_END);
    EXPECT_EQ(whole.InputLeft(), 3u);
    EXPECT_EQ(all, data);
    whole.EndDecoding();
}

TEST(LZ77, ResetBeforeEveryBlock) {
    const Bytes first = Plain(3000, 5), second = Plain(2000, 11);
    const Bytes packedFirst = Deflate(first), packedSecond = Deflate(second);
    TLZ77Decoder decoder(Z_PARTIAL_FLUSH, true);
    decoder.BeginDecoding();
    for (const auto& [packed, data] : {std::pair{packedFirst, first}, std::pair{packedSecond, second}}) {
        Bytes out(data.size());
        void* source = const_cast<uint8_t*>(packed.data());
        void* target = out.data();
        decoder.DecodeBlock(source, target, int32_t(packed.size()), int32_t(out.size()));
        EXPECT_EQ(decoder.LastResult(), Z_STREAM_END);
        EXPECT_EQ(out, data);
    }
    decoder.EndDecoding();
}

TEST(LZ77, CorruptDataStopsTheStreamUntilReset) {
    const Bytes garbage = {0x78, 0x9C, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x01};
    const Bytes data = Plain(500, 13);
    const Bytes good = Deflate(data);
    for (bool reset : {false, true}) {
        TLZ77Decoder decoder(Z_PARTIAL_FLUSH, reset);
        decoder.BeginDecoding();
        Bytes out(data.size(), 0xEE);
        void* source = const_cast<uint8_t*>(garbage.data());
        void* target = out.data();
        EXPECT_NO_THROW(decoder.DecodeBlock(source, target, int32_t(garbage.size()), int32_t(out.size())));
        EXPECT_LT(decoder.LastResult(), 0);
        source = const_cast<uint8_t*>(good.data());
        target = out.data();
        decoder.DecodeBlock(source, target, int32_t(good.size()), int32_t(out.size()));
        if (reset) {
            EXPECT_EQ(decoder.LastResult(), Z_STREAM_END);
            EXPECT_EQ(out, data);
        } else {
            EXPECT_LT(decoder.LastResult(), 0);
            EXPECT_EQ(source, static_cast<const void*>(good.data()));
        }
        decoder.EndDecoding();
    }
}

TEST(LZ77, EndWithoutBeginningIsAnError) {
    TLZ77Decoder decoder(Z_PARTIAL_FLUSH, false);
    try {
        decoder.EndDecoding();
        FAIL() << "no error";
    } catch (const EGraphicCompression& e) {
        EXPECT_STREQ(e.what(), GraphicStrings::gesLZ77Error);
    }
    // Blocks before BeginDecoding fail without touching anything.
    uint8_t in[2] = {0x78, 0x9C}, out[2] = {0, 0};
    void* source = in;
    void* target = out;
    TLZ77Decoder fresh(Z_PARTIAL_FLUSH, false);
    fresh.DecodeBlock(source, target, 2, 2);
    EXPECT_LT(fresh.LastResult(), 0);
}

}  // namespace
