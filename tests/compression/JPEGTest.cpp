// The TIFF JPEG strip decoder: strips made here with libjpeg and a file made by libtiff's tiffcp,
// the checks against the image properties, the end-of-input warning and library errors.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "Dialogs.h"
#include "GraphicCompression.h"
#include "GraphicStrings.h"
#include "TestSupport.h"
#include "TiffTestFile.h"

using namespace GraphicStrings;

namespace {

using Bytes = std::vector<uint8_t>;

// Colourful but smooth pixels, RGB order.
Bytes Picture(int width, int height, int components) {
    Bytes pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint8_t rgb[3] = {uint8_t(x * 6), uint8_t(y * 12), uint8_t(255 - x * 6)};
            for (int c = 0; c < components; ++c) pixels.push_back(components == 1 ? uint8_t(x * 5 + y) : rgb[c]);
        }
    return pixels;
}

struct TJpegShape {
    int Width = 16, Height = 8, Components = 3;
    int H = 1, V = 1;                  // sampling of the first component
    J_COLOR_SPACE Stored = JCS_RGB;    // colour space inside the strip
};

Bytes MakeStrip(const TJpegShape& shape) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = JDIMENSION(shape.Width);
    info.image_height = JDIMENSION(shape.Height);
    info.input_components = shape.Components;
    info.in_color_space = shape.Components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    jpeg_set_colorspace(&info, shape.Stored);
    info.comp_info[0].h_samp_factor = shape.H;
    info.comp_info[0].v_samp_factor = shape.V;
    for (int i = 1; i < info.num_components; ++i) info.comp_info[i].h_samp_factor = info.comp_info[i].v_samp_factor = 1;
    jpeg_start_compress(&info, TRUE);
    const Bytes pixels = Picture(shape.Width, shape.Height, shape.Components);
    for (int y = 0; y < shape.Height; ++y) {
        JSAMPROW row = const_cast<uint8_t*>(pixels.data()) + size_t(y) * size_t(shape.Width * shape.Components);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    Bytes strip(out, out + size);
    std::free(out);
    return strip;
}

// Where the coded data of the first scan begins (just after the start-of-scan segment).
size_t EntropyStart(const Bytes& strip) {
    for (size_t i = 0; i + 3 < strip.size(); ++i)
        if (strip[i] == 0xFF && strip[i + 1] == 0xDA) return i + 2 + size_t(strip[i + 2] << 8 | strip[i + 3]);
    ADD_FAILURE() << "no scan";
    return strip.size();
}

TImageProperties Properties(const TJpegShape& shape, TColorModel model) {
    TImageProperties p;
    p.ImageWidth = shape.Width;
    p.ImageHeight = shape.Height;
    p.SampleCount = uint8_t(shape.Components);
    p.SampleBits = 8;
    p.PlaneLayout = 1;
    p.ColorModel = model;
    p.RowBytes = uint32_t(shape.Width * shape.Components);
    p.StripRows.SetLength(1);
    p.StripRows[0] = uint32_t(shape.Height);
    if (shape.H != 1 || shape.V != 1) {
        p.ChromaSubsampling.SetLength(2);
        p.ChromaSubsampling[0] = uint8_t(shape.H);
        p.ChromaSubsampling[1] = uint8_t(shape.V);
    }
    return p;
}

Bytes DecodeStrip(TTIFFJPEGDecoder& decoder, const Bytes& strip, size_t targetSize, uint8_t fill = 0xEE) {
    auto packed = std::make_unique<uint8_t[]>(strip.size() + 1);
    std::copy(strip.begin(), strip.end(), packed.get());
    auto target = std::make_unique<uint8_t[]>(targetSize);
    std::fill_n(target.get(), targetSize, fill);
    void* source = packed.get();
    void* targetPointer = target.get();
    decoder.DecodeBlock(source, targetPointer, int32_t(strip.size()), int32_t(targetSize));
    EXPECT_EQ(source, static_cast<void*>(packed.get()));
    return Bytes(target.get(), target.get() + targetSize);
}

// The largest difference between a decoded strip and the expected samples.
int MaxDifference(const Bytes& a, const Bytes& b) {
    EXPECT_EQ(a.size(), b.size());
    int worst = 0;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
    return worst;
}

Bytes SwapRedBlue(Bytes rgb) {
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) std::swap(rgb[i], rgb[i + 2]);
    return rgb;
}

// Collects the message boxes shown during a test.
class TRecordingHandler : public TMessageHandler {
public:
    TRecordingHandler() { previous_ = SetMessageHandler(this); }
    ~TRecordingHandler() override { SetMessageHandler(previous_); }
    int MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons, const std::string& caption) override {
        Texts.push_back(text);
        Captions.push_back(caption);
        Types.push_back(type);
        EXPECT_EQ(buttons, TMsgDlgButtons({mbOK}));
        if (Raise) throw EAbort();
        return mrOk;
    }
    std::vector<std::string> Texts, Captions;
    std::vector<TMsgDlgType> Types;
    bool Raise = false;

private:
    TMessageHandler* previous_;
};

TEST(TIFFJPEG, ColourStripsComeOutBlueFirst) {
    for (J_COLOR_SPACE stored : {JCS_RGB, JCS_YCbCr}) {
        TJpegShape shape;
        shape.Stored = stored;
        const TImageProperties p = Properties(shape, stored == JCS_YCbCr ? cmYCbCr : cmRGB);
        TTIFFJPEGDecoder decoder(p);
        decoder.BeginDecoding();
        const Bytes out = DecodeStrip(decoder, MakeStrip(shape), p.RowBytes * 8);
        EXPECT_LE(MaxDifference(out, SwapRedBlue(Picture(16, 8, 3))), 4) << stored;
        decoder.EndDecoding();
    }
}

TEST(TIFFJPEG, GreyStrips) {
    TJpegShape shape;
    shape.Components = 1;
    shape.Stored = JCS_GRAYSCALE;
    const TImageProperties p = Properties(shape, cmGray);
    TTIFFJPEGDecoder decoder(p);
    decoder.BeginDecoding();
    EXPECT_LE(MaxDifference(DecodeStrip(decoder, MakeStrip(shape), 16 * 8), Picture(16, 8, 1)), 2);
    decoder.EndDecoding();
}

TEST(TIFFJPEG, RowsOfAnotherSizeStayInTheirRows) {
    TJpegShape shape;
    TImageProperties p = Properties(shape, cmRGB);
    p.RowBytes = 16 * 3 + 2;  // two bytes of padding per row stay untouched
    TTIFFJPEGDecoder decoder(p);
    decoder.BeginDecoding();
    const Bytes out = DecodeStrip(decoder, MakeStrip(shape), p.RowBytes * 8, 0xEE);
    for (int y = 0; y < 8; ++y) {
        EXPECT_EQ(out[y * p.RowBytes + 48], 0xEE);
        EXPECT_EQ(out[y * p.RowBytes + 49], 0xEE);
    }
    p.RowBytes = 16;  // shorter than a decoded row: only what fits is written
    EXPECT_NO_THROW(DecodeStrip(decoder, MakeStrip(shape), p.RowBytes * 8));
}

TEST(TIFFJPEG, PropertyMismatches) {
    struct Case {
        const char* Name;
        std::function<void(TJpegShape&, TImageProperties&)> Change;
        const char* Message;
    };
    const Case cases[] = {
        {"width", [](TJpegShape&, TImageProperties& p) { p.ImageWidth = 15; }, gesJPEGStripSize},
        {"height", [](TJpegShape&, TImageProperties& p) { p.StripRows[0] = 7; }, gesJPEGStripSize},
        {"rows left", [](TJpegShape&, TImageProperties& p) { p.RowCursor = 2; }, gesJPEGStripSize},
        {"components", [](TJpegShape&, TImageProperties& p) { p.SampleCount = 4; }, gesJPEGComponentCount},
        {"separate planes", [](TJpegShape&, TImageProperties& p) { p.PlaneLayout = 2; }, gesJPEGComponentCount},
        {"precision", [](TJpegShape&, TImageProperties& p) { p.SampleBits = 16; }, gesJPEGDataPrecision},
        {"subsampling expected", [](TJpegShape&, TImageProperties& p) {
             p.ChromaSubsampling.SetLength(2);
             p.ChromaSubsampling[0] = 2;
             p.ChromaSubsampling[1] = 2;
         }, gesJPEGSamplingFactors},
        {"subsampling found", [](TJpegShape& s, TImageProperties&) { s.H = 2; }, gesJPEGSamplingFactors},
        {"fractional rows", [](TJpegShape&, TImageProperties& p) { p.RowBytes = 47; }, gesJPEGFractionalLine},
        {"no row size", [](TJpegShape&, TImageProperties& p) { p.RowBytes = 0; }, gesJPEGFractionalLine},
    };
    for (const Case& c : cases) {
        TJpegShape shape;
        TImageProperties p = Properties(shape, cmRGB);
        const size_t targetSize = p.RowBytes * 8;
        c.Change(shape, p);
        TTIFFJPEGDecoder decoder(p);
        decoder.BeginDecoding();
        try {
            DecodeStrip(decoder, MakeStrip(shape), targetSize);
            ADD_FAILURE() << c.Name << ": no error";
        } catch (const EGraphicCompression& e) {
            EXPECT_STREQ(e.what(), c.Message) << c.Name;
        }
        // The decoder is still usable for the next strip.
        TJpegShape good;
        const TImageProperties q = Properties(good, cmRGB);
        TTIFFJPEGDecoder again(q);
        again.BeginDecoding();
        EXPECT_NO_THROW(DecodeStrip(again, MakeStrip(good), q.RowBytes * 8));
    }
}

TEST(TIFFJPEG, FractionalScanline) {
    TJpegShape shape{100, 4, 3};
    TImageProperties p = Properties(shape, cmRGB);
    ASSERT_EQ(p.RowBytes, 300u);
    TTIFFJPEGDecoder decoder(p);
    decoder.BeginDecoding();
    try {
        DecodeStrip(decoder, MakeStrip(shape), 1000);
        FAIL() << "no error";
    } catch (const EGraphicCompression& e) {
        EXPECT_STREQ(e.what(), gesJPEGFractionalLine);
    }
    // The same decoder goes on with the next strip.
    EXPECT_LE(MaxDifference(DecodeStrip(decoder, MakeStrip(shape), 1200), SwapRedBlue(Picture(100, 4, 3))), 4);
    decoder.EndDecoding();
}

TEST(TIFFJPEG, TruncatedStripWarnsAndDecodesWhatIsThere) {
    TRecordingHandler handler;
    TJpegShape shape;
    shape.Height = 32;
    const TImageProperties p = Properties(shape, cmRGB);
    Bytes strip = MakeStrip(shape);
    strip.resize(EntropyStart(strip) + (strip.size() - EntropyStart(strip)) * 3 / 4);
    TTIFFJPEGDecoder decoder(p);
    decoder.BeginDecoding();
    const Bytes out = DecodeStrip(decoder, strip, p.RowBytes * 32);
    ASSERT_EQ(handler.Texts.size(), 1u);
    EXPECT_EQ(handler.Texts[0], gesJPEGEOI);
    EXPECT_EQ(handler.Captions[0], "Warning");
    EXPECT_EQ(handler.Types[0], mtWarning);
    // The first row arrived before the data ended.
    const Bytes expected = SwapRedBlue(Picture(16, 32, 3));
    EXPECT_LE(MaxDifference(Bytes(out.begin(), out.begin() + 48), Bytes(expected.begin(), expected.begin() + 48)), 4);
    decoder.EndDecoding();
}

TEST(TIFFJPEG, ExceptionFromTheWarningPassesThrough) {
    TRecordingHandler handler;
    handler.Raise = true;
    TJpegShape shape;
    const TImageProperties p = Properties(shape, cmRGB);
    Bytes strip = MakeStrip(shape);
    strip.resize(EntropyStart(strip) + 4);
    TTIFFJPEGDecoder decoder(p);
    decoder.BeginDecoding();
    EXPECT_THROW(DecodeStrip(decoder, strip, p.RowBytes * 8), EAbort);
}

TEST(TIFFJPEG, LibraryErrors) {
    TRecordingHandler handler;
    TJpegShape shape;
    TImageProperties p = Properties(shape, cmRGB);
    TTIFFJPEGDecoder decoder(p);
    decoder.BeginDecoding();
    for (const Bytes& strip : {Bytes{0x00, 0x01, 0x02, 0x03}, Bytes{}, Bytes{0xFF, 0xD8, 0xFF, 0xD9}}) {
        try {
            DecodeStrip(decoder, strip, p.RowBytes * 8);
            ADD_FAILURE() << "no error";
        } catch (const EInvalidGraphic& e) {
            EXPECT_EQ(std::string(e.what()).rfind("JPEG error #", 0), 0u) << e.what();
        }
    }
    // A whole image where only tables belong.
    p.JPEGTableData.SetLength(0);
    const Bytes image = MakeStrip(shape);
    p.JPEGTableData.SetLength(image.size());
    std::copy(image.begin(), image.end(), p.JPEGTableData.Data());
    TTIFFJPEGDecoder bogus(p);
    try {
        bogus.BeginDecoding();
        FAIL() << "no error";
    } catch (const EGraphicCompression& e) {
        EXPECT_STREQ(e.what(), gesJPEGBogusTableField);
    }
}

// A real file: tiffcp writes YCbCr strips with 2x2 subsampling and shared tables.
TEST(TIFFJPEG, StripsOfATiffcpFile) {
    if (!HaveProgram("tiffcp")) GTEST_SKIP() << "tiffcp (Debian package libtiff-tools) is not installed";
    TempDir dir;
    const int width = 40, height = 20;
    WriteTestTiff(dir.File("plain.tif"), width, height, 3, 8, 2, Picture(width, height, 3));
    ASSERT_EQ(RunCommand("tiffcp -c jpeg:95 -r 16 " + dir.File("plain.tif") + " " + dir.File("jpeg.tif")), 0);
    const TTestTiff tiff = ReadTestTiff(dir.File("jpeg.tif"));
    ASSERT_EQ(tiff.Tag(259), 7u);
    ASSERT_EQ(tiff.Tag(262), 6u) << "expected YCbCr";
    ASSERT_FALSE(tiff.JPEGTables.empty());
    ASSERT_EQ(tiff.Strips.size(), 2u);

    TImageProperties p;
    p.ImageWidth = width;
    p.ImageHeight = height;
    p.SampleCount = 3;
    p.SampleBits = 8;
    p.PlaneLayout = 1;
    p.ColorModel = cmYCbCr;
    p.RowBytes = width * 3;
    p.StripRows.SetLength(1);
    p.StripRows[0] = tiff.Tag(278);
    const auto subsampling = tiff.Values.count(530) ? tiff.Values.at(530) : std::vector<uint32_t>{2, 2};
    p.ChromaSubsampling.SetLength(2);
    p.ChromaSubsampling[0] = uint8_t(subsampling[0]);
    p.ChromaSubsampling[1] = uint8_t(subsampling[1]);
    p.JPEGTableData.SetLength(tiff.JPEGTables.size());
    std::copy(tiff.JPEGTables.begin(), tiff.JPEGTables.end(), p.JPEGTableData.Data());

    const Bytes expected = SwapRedBlue(Picture(width, height, 3));
    TTIFFJPEGDecoder decoder(p);
    decoder.BeginDecoding();
    Bytes decoded;
    for (int s = 0; s < 2; ++s) {
        p.RowCursor = s * 16;  // the decoder reads the record at every strip
        const size_t rows = std::min(16, height - p.RowCursor);
        const Bytes strip = DecodeStrip(decoder, tiff.Strips[size_t(s)], rows * p.RowBytes);
        decoded.insert(decoded.end(), strip.begin(), strip.end());
    }
    decoder.EndDecoding();
    // Chroma subsampling blurs colour edges a little; the picture is smooth.
    EXPECT_LE(MaxDifference(decoded, expected), 24);
}

}  // namespace
