// The Thunderscan and Photo-CD decoders.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "GraphicCompression.h"

namespace {

using Bytes = std::vector<uint8_t>;

// --- Thunderscan ---------------------------------------------------------------------------

struct TThunderCase {
    const char* Name;
    uint32_t Width;
    Bytes Codes;
    size_t TargetBytes;
    Bytes Expected;
};

const TThunderCase ThunderCases[] = {
    {"SampleThenRun", 4, {0xC5, 0x03}, 2, {0x55, 0x55}},
    {"TwoBitDeltas", 3, {0xC5, 0x5B}, 2, {0x56, 0x50}},
    {"ThreeBitDeltasSkipFour", 2, {0xC5, 0xA4, 0xC7}, 1, {0x57}},
    {"ThreeBitDeltas", 4, {0xC5, 0x97}, 2, {0x57, 0x60}},  // +2, then -1
    {"DeltaWrapsAround", 3, {0x43}, 2, {0x00, 0xF0}},
    {"OddRunEndsInHighNibble", 3, {0xC5, 0x02}, 2, {0x55, 0x50}},
    {"EmptyRun", 2, {0xC5, 0x00, 0xC6}, 1, {0x56}},
    // One line is one row: the second row starts on its own byte with the last value back at 0.
    {"RowPerLine", 3, {0xC5, 0xC6, 0xC7, 0x41}, 4, {0x56, 0x70, 0x00, 0x10}},
    // A run longer than the row stops at the row's end; the next code starts the next row.
    {"RunStopsAtRowEnd", 4, {0x3F, 0xC7}, 4, {0x00, 0x00, 0x70, 0xEE}},
    {"DataEndsEarly", 4, {0xC5}, 4, {0x50, 0xEE, 0xEE, 0xEE}},
    {"TargetEndsInsideARow", 8, {0x0F}, 3, {0x00, 0x00, 0x00}},
};

class Thunder : public testing::TestWithParam<TThunderCase> {};

TEST_P(Thunder, Decodes) {
    const TThunderCase& c = GetParam();
    auto source = std::make_unique<uint8_t[]>(c.Codes.size());
    std::copy(c.Codes.begin(), c.Codes.end(), source.get());
    auto target = std::make_unique<uint8_t[]>(c.TargetBytes);
    std::fill_n(target.get(), c.TargetBytes, 0xEE);
    void* sourcePointer = source.get();
    void* targetPointer = target.get();
    TThunderDecoder(c.Width).DecodeBlock(sourcePointer, targetPointer, int32_t(c.Codes.size()), int32_t(c.TargetBytes));
    EXPECT_EQ(Bytes(target.get(), target.get() + c.TargetBytes), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(Codes, Thunder, testing::ValuesIn(ThunderCases),
                         [](const auto& info) { return std::string(info.param.Name); });

// --- Photo-CD ------------------------------------------------------------------------------

// Builds the Huffman data: bytes for the tables, then bits ("0", "1", blanks ignored).
class TPCDData {
public:
    // One table: entries of (code length, code, residual).
    TPCDData& Table(std::initializer_list<std::tuple<int, uint16_t, int8_t>> entries) {
        bytes_.push_back(uint8_t(entries.size() - 1));
        for (auto [length, code, residual] : entries) {
            bytes_.push_back(uint8_t(length - 1));
            bytes_.push_back(uint8_t(code >> 8));
            bytes_.push_back(uint8_t(code));
            bytes_.push_back(uint8_t(residual));
        }
        return *this;
    }
    TPCDData& Row(uint32_t row, uint32_t type) {
        Bits("11111111 11111111 11111110");
        const uint32_t b1 = type << 6 | (row >> 7), b2 = (row & 127) << 1;
        for (int i = 7; i >= 0; --i) Bits((b1 >> i) & 1 ? "1" : "0");
        for (int i = 7; i >= 0; --i) Bits((b2 >> i) & 1 ? "1" : "0");
        return *this;
    }
    TPCDData& Bits(const std::string& bits) {
        for (char ch : bits) {
            if (ch == ' ') continue;
            if (used_ == 8) {
                bytes_.push_back(0);
                used_ = 0;
            }
            if (ch == '1') bytes_.back() |= uint8_t(0x80 >> used_);
            ++used_;
        }
        return *this;
    }
    // The stream, padded with zeros to whole 2048-byte blocks.
    std::unique_ptr<TMemoryStream> Stream() const {
        Bytes data = bytes_;
        data.resize((data.size() / 2048 + 1) * 2048);
        return std::make_unique<TMemoryStream>(std::move(data));
    }

private:
    Bytes bytes_;
    int used_ = 8;
};

struct TPlanes {
    Bytes Luma, Chroma1, Chroma2;
    TPlanes(size_t stride, uint32_t rows, uint8_t fill)
        : Luma(stride * rows, fill), Chroma1(stride * ((rows + 1) / 2), fill), Chroma2(stride * ((rows + 1) / 2), fill) {}
    void Decode(TStream& stream, size_t stride, uint32_t rows) {
        uint8_t* planes[3] = {Luma.data(), Chroma1.data(), Chroma2.data()};
        void* source = planes;
        void* target = nullptr;
        TPCDDecoder(stream).DecodeBlock(source, target, int32_t(stride), int32_t(rows));
    }
};

TEST(PhotoCD, ResidualsAreAddedAndClamped) {
    TPCDData data;
    data.Table({{1, 0x0000, -3}, {2, 0x8000, 10}});
    data.Row(0, 0).Bits("0 10 0 10").Row(1, 0).Bits("10").Row(2, 0);
    auto stream = data.Stream();
    TPlanes planes(4, 2, 100);
    planes.Luma[0] = 2;
    planes.Luma[1] = 250;
    planes.Decode(*stream, 4, 2);
    EXPECT_EQ(planes.Luma, (Bytes{0, 255, 97, 110, 110, 100, 100, 100}));
    EXPECT_EQ(planes.Chroma1, Bytes(4, 100));
}

TEST(PhotoCD, ResidualsOutsideThePlanesAreDropped) {
    TPCDData data;
    data.Table({{1, 0x0000, -3}, {2, 0x8000, 10}});
    // Row 7 lies outside the 2 rows; the last row gets more codes than it has pixels; a chroma
    // row finds no chroma table (one table at this stride).
    data.Row(7, 0).Bits("10 10").Row(1, 0).Bits("10 10 10 10 10 10").Row(0, 2).Bits("0 0").Row(2, 0);
    auto stream = data.Stream();
    TPlanes planes(4, 2, 100);
    planes.Decode(*stream, 4, 2);
    EXPECT_EQ(planes.Luma, (Bytes{100, 100, 100, 100, 110, 110, 110, 110}));
    EXPECT_EQ(planes.Chroma1, Bytes(4, 100));
    EXPECT_EQ(planes.Chroma2, Bytes(4, 100));
}

TEST(PhotoCD, ChromaRowsUseTheirTables) {
    const size_t stride = 1600;  // above 1536: three tables
    TPCDData data;
    data.Table({{1, 0x0000, 1}, {1, 0x8000, 2}});
    data.Table({{1, 0x0000, 3}, {1, 0x8000, 4}});
    data.Table({{1, 0x0000, 5}, {1, 0x8000, 6}});
    data.Row(2, 2).Bits("0 1").Row(3, 3).Bits("1").Row(0, 0).Bits("0").Row(4, 0);
    auto stream = data.Stream();
    TPlanes planes(stride, 4, 0);
    planes.Decode(*stream, stride, 4);
    EXPECT_EQ(planes.Luma[0], 1);
    EXPECT_EQ(planes.Chroma1[stride], 3);  // row 2 is chroma row 1
    EXPECT_EQ(planes.Chroma1[stride + 1], 4);
    EXPECT_EQ(planes.Chroma2[stride], 6);
    EXPECT_EQ(std::count(planes.Luma.begin(), planes.Luma.end(), 0), long(planes.Luma.size() - 1));
}

TEST(PhotoCD, FailuresAndSilentEnds) {
    // A code longer than 16 bits ends decoding before anything is written.
    TPCDData tooLong;
    tooLong.Table({{17, 0x0000, 5}}).Row(0, 0).Bits("0000").Row(1, 0);
    TPlanes planes(4, 1, 7);
    planes.Decode(*tooLong.Stream(), 4, 1);
    EXPECT_EQ(planes.Luma, Bytes(4, 7));

    // Plane type 1 ends the load silently.
    TPCDData typeOne;
    typeOne.Table({{1, 0x0000, 5}}).Row(0, 1).Bits("0");
    EXPECT_THROW(planes.Decode(*typeOne.Stream(), 4, 1), EAbort);

    // Data that ends before the stop row: the stream's read error.
    TPCDData endless;
    endless.Table({{1, 0x0000, 5}}).Row(0, 0).Bits("0");
    EXPECT_THROW(planes.Decode(*endless.Stream(), 4, 1), EReadError);
    TMemoryStream empty;
    EXPECT_THROW(planes.Decode(empty, 4, 1), EReadError);
}

}  // namespace
