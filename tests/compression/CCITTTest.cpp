// The CCITT fax decoders: codes written bit by bit here, and whole G3 files made by libtiff's tools.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "GraphicCompression.h"
#include "TestSupport.h"
#include "TiffTestFile.h"

namespace {

using Bytes = std::vector<uint8_t>;

// "0011 0101 ..." (blanks ignored) into bytes, most significant bit first, padded with zeros.
Bytes Bits(const std::string& text) {
    Bytes out;
    int used = 8;
    for (char ch : text) {
        if (ch == ' ') continue;
        if (used == 8) {
            out.push_back(0);
            used = 0;
        }
        if (ch == '1') out.back() |= uint8_t(0x80 >> used);
        ++used;
    }
    return out;
}

Bytes Decode(TCCITTDecoder& decoder, Bytes source, size_t targetSize) {
    // Exactly sized buffers; the target starts dirty to show that it is cleared.
    auto src = std::make_unique<uint8_t[]>(source.size() + 1);
    std::copy(source.begin(), source.end(), src.get());
    auto target = std::make_unique<uint8_t[]>(targetSize);
    std::fill_n(target.get(), targetSize, 0xEE);
    void* sourcePointer = src.get();
    void* targetPointer = target.get();
    decoder.BeginDecoding();
    decoder.DecodeBlock(sourcePointer, targetPointer, int32_t(source.size()), int32_t(targetSize));
    decoder.EndDecoding();
    EXPECT_EQ(sourcePointer, src.get());
    EXPECT_EQ(targetPointer, target.get());
    EXPECT_EQ(Bytes(src.get(), src.get() + source.size()), source) << "the source must not change";
    return Bytes(target.get(), target.get() + targetSize);
}

const std::string EOL = "000000000001 ";

struct TRowCase {
    const char* Name;
    uint32_t Width;
    std::string Codes;  // one row, white first
    Bytes Expected;
};

const TRowCase RowCases[] = {
    {"WhiteZeroBlackEight", 8, "00110101 000101", {0xFF}},
    {"ThreeRuns", 16, "1000 11 01000", {0x18, 0x00}},
    {"WhiteMakeUp", 68, "11011 0111 11", {0, 0, 0, 0, 0, 0, 0, 0, 0x30}},
    {"BlackMakeUp", 130, "00110101 000011001000 0000110111 0111",
     {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}},
    {"BlackRunsAcrossBytes", 16, "0111 0011 0111 11 0111", {0x3E, 0x60}},
    // Black 2 and white 2 lie wholly inside the last source byte, fetched for the code before them.
    {"CodesInTheLastByte", 12, "0111 11 1011 11 0111", {0x30, 0xC0}},
};

class CCITTRows : public testing::TestWithParam<TRowCase> {};

TEST_P(CCITTRows, ModifiedHuffman) {
    const TRowCase& c = GetParam();
    TCCITTMHDecoder decoder(0, false, false, c.Width);
    EXPECT_EQ(Decode(decoder, Bits(c.Codes), c.Expected.size()), c.Expected);
}

TEST_P(CCITTRows, Group3AfterEOL) {
    const TRowCase& c = GetParam();
    TCCITTFax3Decoder decoder(0, false, false, c.Width);
    EXPECT_EQ(Decode(decoder, Bits(EOL + c.Codes), c.Expected.size()), c.Expected);
    // Fill zeros before the EOL are passed over as well.
    TCCITTFax3Decoder filled(0, false, false, c.Width);
    EXPECT_EQ(Decode(filled, Bits("0000 0000000 " + EOL + c.Codes), c.Expected.size()), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(Codes, CCITTRows, testing::ValuesIn(RowCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(CCITT, ExtendedMakeUpRun) {
    // White 2560 (extended make-up) + white 0, then black 8.
    TCCITTMHDecoder decoder(0, false, false, 2568);
    Bytes expected(321, 0);
    expected[320] = 0xFF;
    EXPECT_EQ(Decode(decoder, Bits("000000011111 00110101 000101"), expected.size()), expected);
    // Two make-up codes in a row add up: 2560 + 64 + 2.
    TCCITTMHDecoder longer(0, false, false, 2634);
    Bytes two(330, 0);
    two[328] = 0x30;  // pixels 2626 and 2627
    EXPECT_EQ(Decode(longer, Bits("000000011111 11011 0111 11"), two.size()), two);
}

TEST(CCITT, Group3RowsFollowTheirEOLs) {
    TCCITTFax3Decoder decoder(0, false, false, 8);
    const std::string rows = EOL + "00110101 000101 " + EOL + "10011 " + EOL + "0111 11 0111";
    EXPECT_EQ(Decode(decoder, Bits(rows), 3), (Bytes{0xFF, 0x00, 0x30}));
}

TEST(CCITT, ShortRowKeepsLaterRowsInPlace) {
    // The first row ends at an EOL after 3 of its 16 pixels; the next row still starts at byte 2.
    // The next row's code is preceded by a bit that the decoder passes over, as after any EOL
    // found inside a row.
    TCCITTFax3Decoder decoder(0, false, false, 16);
    const std::string rows = EOL + "1000 " + EOL + "1 00110101 0000010111";
    EXPECT_EQ(Decode(decoder, Bits(rows), 4), (Bytes{0x00, 0x00, 0xFF, 0xFF}));
}

TEST(CCITT, RunsNeverLeaveTheirRowOrTheTarget) {
    // Black 64 in a row of 8 fills the row only; the next row is white 8.
    TCCITTMHDecoder decoder(0, false, false, 8);
    EXPECT_EQ(Decode(decoder, Bits("00110101 0000001111 0000110111 0000 10011"), 2), (Bytes{0xFF, 0x00}));
    // A target shorter than the row takes what fits.
    TCCITTMHDecoder wide(0, false, false, 24);
    EXPECT_EQ(Decode(wide, Bits("00110101 0000010111 0111"), 1), (Bytes{0xFF}));
    TCCITTFax3Decoder fax(0, false, false, 24);
    EXPECT_EQ(Decode(fax, Bits(EOL + "00110101 0000010111 0111"), 1), (Bytes{0xFF}));
    // The widest row the TIFF width allows.
    TCCITTMHDecoder widest(0, false, false, 0xFFFFFFFF);
    EXPECT_EQ(Decode(widest, Bits("00110101 0000010111"), 3), (Bytes{0xFF, 0xFF, 0x00}));
}

TEST(CCITT, ModifiedHuffmanRowsStartOnByteBoundaries) {
    // Row 1: white 8 in 5 bits, the rest of its byte is dropped; row 2 starts on the next byte.
    TCCITTMHDecoder decoder(0, false, false, 8);
    EXPECT_EQ(Decode(decoder, Bits("10011 111 00110101 000101"), 2), (Bytes{0x00, 0xFF}));
}

TEST(CCITT, WordAlignedRowsStartOnEvenSourceOffsets) {
    // Row 1 takes one byte, so a filler byte follows before row 2; the target rows stay one byte
    // each, as the image's row size says.
    TCCITTMHDecoder decoder(0, false, true, 8);
    EXPECT_EQ(Decode(decoder, Bits("10011 000 11000000 00110101 000101"), 2), (Bytes{0x00, 0xFF}));
    // Row 1 ends exactly on a word: no filler.
    TCCITTMHDecoder even(0, false, true, 8);
    EXPECT_EQ(Decode(even, Bits("00110101 000101 00 10011"), 2), (Bytes{0xFF, 0x00}));
}

TEST(CCITT, ReversedBitOrder) {
    // 0xAC read in reverse is 0x35 (white 0); 0x28 reversed is 0x14 (black 8).
    TCCITTMHDecoder decoder(0, true, false, 8);
    EXPECT_EQ(Decode(decoder, {0xAC, 0x28}, 1), (Bytes{0xFF}));
    TCCITTFax3Decoder fax(0, true, false, 8);
    EXPECT_EQ(Decode(fax, {0x00, 0x80, 0xAC, 0x28}, 1), (Bytes{0xFF}));
}

TEST(CCITT, EmptySourceClearsTheTarget) {
    for (bool reverse : {false, true}) {
        TCCITTFax3Decoder fax(0, reverse, false, 8);
        EXPECT_EQ(Decode(fax, {}, 3), Bytes(3, 0));
        TCCITTMHDecoder mh(0, reverse, true, 8);
        EXPECT_EQ(Decode(mh, {}, 3), Bytes(3, 0));
    }
    TCCITTMHDecoder noWidth(0, false, false, 0);
    EXPECT_EQ(Decode(noWidth, {0x35, 0x14}, 2), Bytes(2, 0));
}

TEST(CCITT, CodeTreesHoldEveryCode) {
    TCCITTFax3Decoder decoder(5, false, false, 8);
    EXPECT_EQ(decoder.FaxOptions(), 5);
    // Each tree: 64 terminating + 40 make-up codes + EOL + 4 invalid patterns as leaves.
    for (const TStateArray* tree : {&decoder.WhiteTree(), &decoder.BlackTree()}) {
        int leaves = 0;
        for (const TCodeNode& node : *tree)
            if (node.ZeroChild == 0 && node.OneChild == 0) ++leaves;
        EXPECT_EQ(leaves, 64 + 40 + 1 + 4);
    }
}

// --- Whole files -----------------------------------------------------------------------------

// A bilevel picture with runs of every length class: short, make-up, and extended make-up.
Bytes MakeBilevel(uint32_t width, uint32_t height) {
    const uint32_t rowBytes = (width + 7) / 8;
    Bytes pixels(size_t(rowBytes) * height, 0);
    std::mt19937 random(42);
    for (uint32_t y = 0; y < height; ++y) {
        uint32_t x = 0;
        bool black = false;
        while (x < width) {
            const uint32_t kind = random() % 10;
            uint32_t run = kind < 7 ? random() % 70 : kind < 9 ? random() % 1800 : random() % 2600;
            run = std::min(run, width - x);
            if (black)
                for (uint32_t i = x; i < x + run; ++i) pixels[y * rowBytes + i / 8] |= uint8_t(0x80 >> (i % 8));
            x += run;
            black = !black;
        }
    }
    return pixels;
}

void CheckGroup3File(const std::string& options) {
    if (!HaveProgram("tiffcp")) GTEST_SKIP() << "tiffcp (Debian package libtiff-tools) is not installed";
    TempDir dir;
    const uint32_t width = 2603, height = 40;
    const Bytes pixels = MakeBilevel(width, height);
    WriteTestTiff(dir.File("plain.tif"), width, height, 1, 1, 0, pixels);
    ASSERT_EQ(RunCommand("tiffcp " + options + " -r 16 " + dir.File("plain.tif") + " " + dir.File("g3.tif")), 0);
    const TTestTiff tiff = ReadTestTiff(dir.File("g3.tif"));
    ASSERT_EQ(tiff.Tag(259), 3u) << "not Group 3";
    ASSERT_EQ(tiff.Tag(292) & 1, 0u) << "not one-dimensional";
    const bool reverse = tiff.Tag(266, 1) == 2;
    const uint32_t rowBytes = (width + 7) / 8;
    const uint32_t rowsPerStrip = tiff.Tag(278);
    ASSERT_EQ(tiff.Strips.size(), (height + rowsPerStrip - 1) / rowsPerStrip);
    TCCITTFax3Decoder decoder(int32_t(tiff.Tag(292)), reverse, false, width);
    Bytes decoded;
    for (size_t s = 0; s < tiff.Strips.size(); ++s) {
        const uint32_t rows = std::min(rowsPerStrip, height - uint32_t(s) * rowsPerStrip);
        const Bytes strip = Decode(decoder, tiff.Strips[s], size_t(rows) * rowBytes);
        decoded.insert(decoded.end(), strip.begin(), strip.end());
    }
    EXPECT_EQ(decoded, pixels);
}

TEST(CCITTFiles, Group3OneDimensional) { CheckGroup3File("-c g3:1d"); }
TEST(CCITTFiles, Group3ByteAlignedEOLs) { CheckGroup3File("-c g3:1d:fill"); }
TEST(CCITTFiles, Group3ReversedBitOrder) { CheckGroup3File("-c g3:1d -f lsb2msb"); }

}  // namespace
