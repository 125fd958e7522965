// The run-length decoders and the Targa encoder: the packet grammars, and that every decoder stops
// at the end of its source and of its target whatever the packets say.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "GraphicCompression.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint8_t Untouched = 0xEE;

struct TRleCase {
    const char* Name;
    std::function<std::unique_ptr<TDecoder>()> Make;
    Bytes Source;
    int32_t SourceLength;    // -1: the whole source
    int32_t TargetLength;    // the decoder's own unit
    size_t TargetBytes;      // the target buffer's size
    Bytes Expected;          // the whole target buffer afterwards
    int64_t Consumed;        // -1: Source is not written back
};

template <typename T, typename... A>
std::function<std::unique_ptr<TDecoder>()> Make(A... args) {
    return [=] { return std::make_unique<T>(args...); };
}

const auto Targa8 = Make<TTargaRLEDecoder>(8u);
const auto Targa16 = Make<TTargaRLEDecoder>(16u);
const auto Targa24 = Make<TTargaRLEDecoder>(24u);
const auto Targa32 = Make<TTargaRLEDecoder>(32u);
const auto PackBits = Make<TPackbitsRLEDecoder>();
const auto Pcx = Make<TPCXRLEDecoder>();
const auto Sgi8 = Make<TSGIRLEDecoder>(uint8_t(8));
const auto Sgi16 = Make<TSGIRLEDecoder>(uint8_t(16));
const auto Cut = Make<TCUTRLEDecoder>();
const auto Psp = Make<TPSPRLEDecoder>();
const auto Rla = Make<TRLADecoder>();
const uint8_t E = Untouched;

const TRleCase RleCases[] = {
    // Targa: TargetLength counts pixels.
    {"TargaRun24", Targa24, {0x82, 1, 2, 3, 0x99}, -1, 3, 9, {1, 2, 3, 1, 2, 3, 1, 2, 3}, 4},
    {"TargaRaw24", Targa24, {0x01, 1, 2, 3, 4, 5, 6}, -1, 2, 6, {1, 2, 3, 4, 5, 6}, 7},
    {"TargaRun16", Targa16, {0x81, 0x34, 0x12}, -1, 2, 4, {0x34, 0x12, 0x34, 0x12}, 3},
    {"TargaRun32", Targa32, {0x81, 1, 2, 3, 4}, -1, 2, 8, {1, 2, 3, 4, 1, 2, 3, 4}, 5},
    {"TargaPacketsInTurn", Targa8, {0x00, 9, 0x81, 7, 0x01, 1, 2}, -1, 5, 5, {9, 7, 7, 1, 2}, 7},
    {"TargaUnknownDepth", Make<TTargaRLEDecoder>(12u), {0x81, 1, 2}, -1, 2, 4, {E, E, E, E}, 0},
    {"TargaRunPastTarget", Targa8, {0x84, 7, 0x00, 5}, -1, 3, 3, {7, 7, 7}, 2},
    {"TargaRawPastTarget", Targa8, {0x04, 1, 2, 3, 4, 5, 0x00, 6}, -1, 2, 2, {1, 2}, 6},
    {"TargaRawCutBySource", Targa24, {0x02, 1, 2, 3, 4}, -1, 3, 9, {1, 2, 3, E, E, E, E, E, E}, 5},
    {"TargaRunValueMissing", Targa24, {0x82, 1, 2}, -1, 3, 9, {E, E, E, E, E, E, E, E, E}, 3},
    {"TargaSourceLengthHonoured", Targa8, {0x00, 1, 0x00, 2}, 2, 2, 2, {1, E}, 2},

    {"PackBitsRun", PackBits, {0xFE, 0xAA}, -1, 3, 3, {0xAA, 0xAA, 0xAA}, -1},
    {"PackBitsNoOperation", PackBits, {0x80}, -1, 2, 2, {E, E}, -1},
    {"PackBitsLiteral", PackBits, {0x02, 1, 2, 3}, -1, 3, 3, {1, 2, 3}, -1},
    {"PackBitsLiteralPastTarget", PackBits, {0x02, 1, 2, 3}, -1, 2, 2, {1, 2}, -1},
    {"PackBitsRunPastTarget", PackBits, {0xFD, 9}, -1, 2, 2, {9, 9}, -1},
    {"PackBitsLiteralCutBySource", PackBits, {0x04, 1, 2}, -1, 5, 5, {1, 2, E, E, E}, -1},
    {"PackBitsRunValueMissing", PackBits, {0x00, 4, 0xFE, 0x77}, 3, 4, 4, {4, E, E, E}, -1},
    {"PackBitsNegativeLengths", PackBits, {0x00, 4}, -2, 2, 2, {E, E}, -1},

    {"PcxRun", Pcx, {0xC3, 0x55}, -1, 3, 3, {0x55, 0x55, 0x55}, -1},
    {"PcxEmptyRunUsesTwoBytes", Pcx, {0xC0, 0x55, 0x3F}, -1, 1, 1, {0x3F}, -1},
    {"PcxPlainByte", Pcx, {0x3F}, -1, 1, 1, {0x3F}, -1},
    {"PcxRunPastTarget", Pcx, {0xC5, 0x55}, -1, 2, 2, {0x55, 0x55}, -1},
    {"PcxRunValueMissing", Pcx, {0x01, 0xC3, 0x55}, 2, 4, 4, {1, E, E, E}, -1},

    {"Sgi8", Sgi8, {0x83, 1, 2, 3, 0x02, 9, 0x00, 0x05, 7}, -1, 8, 8, {1, 2, 3, 9, 9, E, E, E}, -1},
    {"Sgi8LiteralCutBySource", Sgi8, {0x85, 1, 2}, -1, 5, 5, {1, 2, E, E, E}, -1},
    {"Sgi8RunPastTarget", Sgi8, {0x05, 7}, -1, 3, 3, {7, 7, 7}, -1},
    {"Sgi8LiteralPastTarget", Sgi8, {0x84, 1, 2, 3, 4}, -1, 2, 2, {1, 2}, -1},
    {"Sgi8NoEndMarker", Sgi8, {0x02, 9}, -1, 3, 3, {9, 9, E}, -1},
    {"Sgi16", Sgi16, {0x00, 0x82, 0x11, 0x12, 0x22, 0x23, 0x00, 0x03, 0x33, 0x34, 0x00, 0x00}, -1, 10, 10,
     {0x11, 0x12, 0x22, 0x23, 0x33, 0x34, 0x33, 0x34, 0x33, 0x34}, -1},
    {"Sgi16LiteralCutBySource", Sgi16, {0x00, 0x83, 0x11, 0x12, 0x22}, -1, 6, 6, {0x11, 0x12, E, E, E, E}, -1},
    {"Sgi16RunPastTarget", Sgi16, {0x00, 0x05, 0x44, 0x45}, -1, 4, 4, {0x44, 0x45, 0x44, 0x45}, -1},

    {"CutRow", Cut, {0x05, 0x00, 0x83, 7, 0x02, 1, 2, 0x00, 0x42}, -1, 5, 5, {7, 7, 7, 1, 2}, 8},
    {"CutRowPastTargetKeepsPlace", Cut, {0x05, 0x00, 0x85, 7, 0x02, 1, 2, 0x00, 0x42}, -1, 3, 3, {7, 7, 7}, 8},
    {"CutLiteralCutBySource", Cut, {0x05, 0x00, 0x03, 1}, -1, 4, 4, {1, E, E, E}, 4},
    {"CutNoEndMarker", Cut, {0x05, 0x00, 0x82, 4}, -1, 3, 3, {4, 4, E}, 4},
    {"CutSourceShorterThanCount", Cut, {0x05}, -1, 2, 2, {E, E}, 1},
    {"CutSourceLengthZero", Cut, {0x05, 0x00, 0x81, 4, 0x00}, 0, 2, 2, {E, E}, 0},

    {"PspRun", Psp, {0x82, 9}, -1, 2, 2, {9, 9}, -1},
    {"PspEmptyLiteral", Psp, {0x00, 0x81, 3}, -1, 1, 1, {3}, -1},
    {"PspLiteral", Psp, {0x03, 1, 2, 3}, -1, 3, 3, {1, 2, 3}, -1},
    {"PspLiteralCutBySource", Psp, {0x03, 1}, -1, 3, 3, {1, E, E}, -1},
    {"PspRunPastTarget", Psp, {0x85, 9}, -1, 2, 2, {9, 9}, -1},
    {"PspLiteralPastTarget", Psp, {0x03, 1, 2, 3}, -1, 2, 2, {1, 2}, -1},

    {"RlaRun", Rla, {0x02, 9}, -1, 3, 3, {9, 9, 9}, -1},
    {"RlaLiteral", Rla, {0xFE, 1, 2}, -1, 2, 2, {1, 2}, -1},
    {"RlaLiteralCutBySource", Rla, {0xFD, 1}, -1, 3, 3, {1, E, E}, -1},
    {"RlaRunPastTarget", Rla, {0x05, 9}, -1, 2, 2, {9, 9}, -1},
    {"RlaRunValueMissing", Rla, {0x02}, -1, 2, 2, {E, E}, -1},
};

class RunLengthDecoders : public testing::TestWithParam<TRleCase> {};

TEST_P(RunLengthDecoders, DecodeWithinBounds) {
    const TRleCase& c = GetParam();
    // Both buffers are exactly as large as stated, so the sanitizer build sees any stray access.
    auto source = std::make_unique<uint8_t[]>(c.Source.size());
    std::copy(c.Source.begin(), c.Source.end(), source.get());
    auto target = std::make_unique<uint8_t[]>(c.TargetBytes);
    std::fill_n(target.get(), c.TargetBytes, Untouched);
    void* sourcePointer = source.get();
    void* targetPointer = target.get();
    const int32_t sourceLength = c.SourceLength < 0 && c.SourceLength != -2 ? int32_t(c.Source.size()) : c.SourceLength;
    auto decoder = c.Make();
    decoder->BeginDecoding();
    decoder->DecodeBlock(sourcePointer, targetPointer, sourceLength, c.TargetLength);
    decoder->EndDecoding();
    EXPECT_EQ(Bytes(target.get(), target.get() + c.TargetBytes), c.Expected);
    EXPECT_EQ(targetPointer, target.get());
    if (c.Consumed >= 0)
        EXPECT_EQ(static_cast<uint8_t*>(sourcePointer) - source.get(), c.Consumed);
    else
        EXPECT_EQ(sourcePointer, source.get());
}

INSTANTIATE_TEST_SUITE_P(Packets, RunLengthDecoders, testing::ValuesIn(RleCases),
                         [](const auto& info) { return std::string(info.param.Name); });

Bytes Encode(uint32_t depth, const Bytes& pixels, uint32_t& written) {
    TTargaRLEDecoder codec(depth);
    const uint32_t count = uint32_t(pixels.size() / ((depth + 1) / 8));
    Bytes packed(codec.MaxEncodedSize(count));
    written = 0;
    codec.EncodeBlock(const_cast<uint8_t*>(pixels.data()), packed.data(), count, written);
    EXPECT_LE(written, packed.size());
    packed.resize(std::min<size_t>(written, packed.size()));
    return packed;
}

TEST(TargaEncoder, Packets) {
    struct Case {
        Bytes Pixels;
        Bytes Packets;
    };
    const Bytes twoHundred(200, 0x42);
    const Case cases[] = {
        {{5, 5, 5, 7}, {0x82, 5, 0x00, 7}},
        {{1, 2, 3}, {0x02, 1, 2, 3}},
        {twoHundred, {0xFF, 0x42, 0xC7, 0x42}},
        {{9}, {0x00, 9}},
        // A one-pixel literal before a pair costs a header byte per pixel: more than the pixels
        // plus one header per 128 pixels.
        {{0x25, 1, 1, 0}, {0x00, 0x25, 0x81, 1, 0x00, 0}},
    };
    for (const Case& c : cases) {
        uint32_t written = 0;
        EXPECT_EQ(Encode(8, c.Pixels, written), c.Packets);
        EXPECT_EQ(written, c.Packets.size());
    }
}

TEST(TargaEncoder, RoundTripsEveryDepth) {
    std::mt19937 random(7);
    for (uint32_t depth : {8u, 15u, 16u, 24u, 32u}) {
        const size_t b = (depth + 1) / 8;
        // Long literals (over 128 pixels), long runs, and short mixtures.
        Bytes pixels;
        for (int i = 0; i < 300 * int(b); ++i) pixels.push_back(uint8_t(random()));
        for (int i = 0; i < 300; ++i) pixels.insert(pixels.end(), b, 0x11);
        for (int i = 0; i < 200; ++i) {
            const uint8_t v = uint8_t(random() % 3);
            pixels.insert(pixels.end(), b, v);
        }
        uint32_t written = 0;
        const Bytes packed = Encode(depth, pixels, written);
        Bytes decoded(pixels.size());
        void* source = const_cast<uint8_t*>(packed.data());
        void* target = decoded.data();
        TTargaRLEDecoder(depth).DecodeBlock(source, target, int32_t(packed.size()), int32_t(pixels.size() / b));
        EXPECT_EQ(decoded, pixels) << depth;
        EXPECT_EQ(static_cast<const uint8_t*>(source), packed.data() + packed.size());
    }
}

}  // namespace
