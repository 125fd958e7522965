#include "PCXGraphic.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "GraphicCompression.h"

using namespace GraphicStrings;

namespace {

// Names of the format in messages: the header test covers both kinds of file, the colour format
// test speaks of the format alone.
constexpr const char* HeaderFormatName = "PCX or SCR";
constexpr const char* ColorFormatName = "PCX";

constexpr uint8_t ManufacturerPaintbrush = 10;
constexpr uint8_t ManufacturerScreenCapture = 205;
// The byte before the trailing 256-colour palette, and the size of marker and palette together.
constexpr uint8_t PaletteMarker = 12;
constexpr int64_t TrailingPaletteBytes = 769;
// Stored lines are read in blocks of about this size.
constexpr size_t StoredChunkBytes = size_t(1) << 20;

// The palette of version-3 files, red, green, blue by index.
constexpr uint8_t FixedPalette[16][3] = {
    {0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},   {0, 0, 128},   {128, 0, 128},
    {0, 128, 128},   {128, 128, 128}, {192, 192, 192}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
    {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};

HPALETTE MakeFixedPalette() {
    TLogPalette log;
    log.palNumEntries = 16;
    for (size_t i = 0; i < 16; ++i) {
        log.palPalEntry[i].peRed = FixedPalette[i][0];
        log.palPalEntry[i].peGreen = FixedPalette[i][1];
        log.palPalEntry[i].peBlue = FixedPalette[i][2];
    }
    return CreatePalette(log);
}

uint16_t WordLE(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

// The bits of one plane byte (pixel 0 in bit 7) spread to bit 0 of the nibbles of four bytes
// (pixel 0 in the high nibble of byte 0, pixel 1 in its low nibble, ...), bytes in the order of
// their significance in the 32-bit value.
struct TNibbleSpread {
    uint32_t Table[256];
    constexpr TNibbleSpread() : Table() {
        for (unsigned b = 0; b < 256; ++b) {
            uint32_t v = 0;
            for (unsigned p = 0; p < 8; ++p)
                if (b & (0x80u >> p)) v |= 1u << ((p >> 1) * 8 + ((p & 1) ? 0 : 4));
            Table[b] = v;
        }
    }
};
constexpr TNibbleSpread NibbleSpread;

// Merges `planes` (3 or 4) bit planes of one row into 4-bit pixels: plane k gives bit k of each
// pixel. Writes (width * 4 + 7) / 8 bytes.
void MergeBitPlanes(const uint8_t* line, size_t bytesPerLine, unsigned planes, uint32_t width, uint8_t* target) {
    const uint8_t* p0 = line;
    const uint8_t* p1 = line + bytesPerLine;
    const uint8_t* p2 = line + 2 * bytesPerLine;
    const uint8_t* p3 = planes == 4 ? line + 3 * bytesPerLine : nullptr;
    const uint32_t* spread = NibbleSpread.Table;
    auto group = [&](size_t k) {
        uint32_t v = spread[p0[k]] | spread[p1[k]] << 1 | spread[p2[k]] << 2;
        if (p3) v |= spread[p3[k]] << 3;
        return v;
    };
    const size_t whole = width / 8;
    for (size_t k = 0; k < whole; ++k) {
        const uint32_t v = group(k);
        uint8_t* d = target + 4 * k;
        d[0] = uint8_t(v);
        d[1] = uint8_t(v >> 8);
        d[2] = uint8_t(v >> 16);
        d[3] = uint8_t(v >> 24);
    }
    const unsigned rest = width % 8;
    if (rest) {
        const uint32_t v = group(whole);
        uint8_t* d = target + 4 * whole;
        for (unsigned i = 0; i < (rest + 1) / 2; ++i) d[i] = uint8_t(v >> (8 * i));
    }
}

// Red, green and blue planes (and an alpha plane with four) of 8-bit samples into pixels of blue,
// green, red (and alpha): the colour manager's planar conversion without gamma, in one pass.
template <unsigned Planes>
void InterleavePlanesScalar(const uint8_t* r, const uint8_t* g, const uint8_t* b, const uint8_t* a, uint32_t count,
                            uint8_t* target) {
    for (uint32_t x = 0; x < count; ++x, target += Planes) {
        target[0] = b[x];
        target[1] = g[x];
        target[2] = r[x];
        if constexpr (Planes == 4) target[3] = a[x];
    }
}

#if defined(__x86_64__) || defined(__i386__)
// Sixteen pixels at a time: each output vector gathers its bytes from the three planes with one
// byte shuffle per plane. Returns the pixels done.
__attribute__((target("ssse3"))) uint32_t InterleaveThreeSSSE3(const uint8_t* r, const uint8_t* g, const uint8_t* b,
                                                               uint32_t count, uint8_t* target) {
    // Masks for output vector j, plane c (0 blue, 1 green, 2 red): byte k takes lane (16j + k) / 3
    // when (16j + k) % 3 == c, else nothing.
    alignas(16) static constexpr auto masks = [] {
        std::array<std::array<std::array<uint8_t, 16>, 3>, 3> m{};
        for (unsigned j = 0; j < 3; ++j)
            for (unsigned c = 0; c < 3; ++c)
                for (unsigned k = 0; k < 16; ++k) {
                    const unsigned n = 16 * j + k;
                    m[j][c][k] = n % 3 == c ? uint8_t(n / 3) : uint8_t(0x80);
                }
        return m;
    }();
    uint32_t x = 0;
    for (; x + 16 <= count; x += 16, target += 48) {
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + x));
        const __m128i vg = _mm_loadu_si128(reinterpret_cast<const __m128i*>(g + x));
        const __m128i vr = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r + x));
        for (unsigned j = 0; j < 3; ++j) {
            const __m128i out = _mm_or_si128(
                _mm_or_si128(_mm_shuffle_epi8(vb, _mm_load_si128(reinterpret_cast<const __m128i*>(masks[j][0].data()))),
                             _mm_shuffle_epi8(vg, _mm_load_si128(reinterpret_cast<const __m128i*>(masks[j][1].data())))),
                _mm_shuffle_epi8(vr, _mm_load_si128(reinterpret_cast<const __m128i*>(masks[j][2].data()))));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(target + 16 * j), out);
        }
    }
    return x;
}

bool HaveSSSE3() {
    static const bool have = __builtin_cpu_supports("ssse3");
    return have;
}
#endif

template <unsigned Planes>
void InterleavePlanes(const uint8_t* line, size_t bytesPerLine, uint32_t width, uint8_t* target) {
    const uint8_t* r = line;
    const uint8_t* g = line + bytesPerLine;
    const uint8_t* b = line + 2 * bytesPerLine;
    const uint8_t* a = line + 3 * bytesPerLine;
    uint32_t done = 0;
#if defined(__x86_64__) || defined(__i386__)
    if constexpr (Planes == 3) {
        if (HaveSSSE3()) done = InterleaveThreeSSSE3(r, g, b, width, target);
    }
#endif
    InterleavePlanesScalar<Planes>(r + done, g + done, b + done, a + done, width - done, target + Planes * done);
}

// Memory released with free(): large zeroed blocks come straight from the system without being
// touched, so rows the data never reaches cost no memory.
struct FreeDeleter {
    void operator()(uint8_t* p) const noexcept { std::free(p); }
};
using TBlock = std::unique_ptr<uint8_t, FreeDeleter>;

TBlock AllocateZeroed(size_t bytes) {
    TBlock block(static_cast<uint8_t*>(std::calloc(std::max<size_t>(bytes, 1), 1)));
    if (!block) throw EOutOfResources(Format("Out of memory for %d bytes of image data", {uint64_t(bytes)}));
    return block;
}

bool SupportedLayout(unsigned bits, unsigned planes) {
    if (planes == 1) return bits == 1 || bits == 2 || bits == 4 || bits == 8;
    if (planes == 3 || planes == 4) return bits == 1 || bits == 8;
    return false;
}

}  // namespace

TPCXHeader TPCXHeader::Parse(const uint8_t* b) {
    TPCXHeader h;
    h.Manufacturer = b[0];
    h.Version = b[1];
    h.Encoding = b[2];
    h.BitsPerPixel = b[3];
    h.XMin = WordLE(b + 4);
    h.YMin = WordLE(b + 6);
    h.XMax = WordLE(b + 8);
    h.YMax = WordLE(b + 10);
    h.HorizontalResolution = WordLE(b + 12);
    h.VerticalResolution = WordLE(b + 14);
    std::memcpy(h.ColorMap.data(), b + 16, 48);
    h.Reserved = b[64];
    h.Planes = b[65];
    h.BytesPerLine = WordLE(b + 66);
    h.PaletteInfo = WordLE(b + 68);
    return h;
}

const TGraphicClass TPCXGraphic::Class{"TPCXGraphic", &TVaderezUvGraphic::Class, &CreateGraphicInstance<TPCXGraphic>,
                                       &TPCXGraphic::AcceptsStream};

bool TPCXGraphic::AcceptsStream(TStream& stream) {
    const int64_t start = stream.Position();
    if (stream.Remaining() <= int64_t(TPCXHeader::Size)) return false;
    uint8_t raw[TPCXHeader::Size];
    const int64_t got = stream.Read(raw, sizeof raw);
    stream.SetPosition(start);
    if (got != int64_t(sizeof raw)) return false;
    const uint8_t manufacturer = raw[0], version = raw[1], encoding = raw[2];
    return (manufacturer == ManufacturerPaintbrush || manufacturer == 12) &&
           (version == 0 || version == 2 || version == 3 || version == 5) && (encoding == 0 || encoding == 1);
}

bool TPCXGraphic::ReadImageInfo(TStream& stream, uint32_t index) {
    TVaderezUvGraphic::ReadImageInfo(stream, index);
    uint8_t raw[TPCXHeader::Size];
    stream.ReadBuffer(raw, sizeof raw);
    header_ = TPCXHeader::Parse(raw);
    if (header_.Manufacturer != ManufacturerPaintbrush && header_.Manufacturer != ManufacturerScreenCapture)
        return false;
    // Extents whose maximum lies below the minimum describe no image.
    const int32_t width = int32_t(header_.XMax) - int32_t(header_.XMin) + 1;
    const int32_t height = int32_t(header_.YMax) - int32_t(header_.YMin) + 1;
    if (width <= 0 || height <= 0) return false;

    TImageProperties& p = ImageProperties;
    p.ImageWidth = width;
    p.ImageHeight = height;
    p.SampleCount = header_.Planes;
    p.SampleBits = header_.BitsPerPixel;
    p.PixelBits = uint8_t(unsigned(header_.BitsPerPixel) * header_.Planes);
    if (header_.BitsPerPixel == 8 && header_.Planes == 4) {
        p.ColorModel = cmRGBA;  // red, green, blue and alpha planes
        p.AlphaPresent = true;
    } else {
        p.ColorModel = p.PixelBits <= 8 ? cmIndexed : cmRGB;
    }
    p.CompressionKind = header_.Encoding == 1 ? ckRLE : ckNone;
    p.ResolutionX = float(header_.HorizontalResolution);
    p.ResolutionY = float(header_.VerticalResolution);
    return true;
}

void TPCXGraphic::LoadFromStream(TStream& stream) {
    FreeImage();
    ImageStart = uint32_t(stream.Position());
    const int64_t start = stream.Position();
    if (!ReadImageInfo(stream, 0)) RaiseInvalidImageFmt(gesInvalidImage, {HeaderFormatName});
    const TImageProperties& p = ImageProperties;
    const TPCXHeader& h = header_;
    const int64_t dataStart = start + int64_t(TPCXHeader::Size);
    stream.SetPosition(dataStart);

    ProgressBand = Rect(0, 0, p.ImageWidth, 1);
    Progress(this, psStarting, 0, false, ProgressBand, gesPreparing);

    int64_t dataSize = std::max<int64_t>(0, stream.Size() - dataStart);

    // Colour manager: errors about impossible depths or sample counts come from it unchanged.
    ColorManager.SetSourceModel(p.ColorModel);
    ColorManager.SetSourceSampleBits(p.SampleBits);
    ColorManager.SetSourceSampleCount(p.SampleCount);
    ColorManager.SetTargetModel(p.ColorModel == cmIndexed ? cmIndexed : p.ColorModel == cmRGBA ? cmBGRA : cmBGR);
    ColorManager.SetTargetSampleBits(p.PixelBits == 2 ? 4 : p.SampleBits);
    ColorManager.SetTargetSampleCount(p.SampleCount);

    // Only layouts whose rows fit the bitmap's rows are loaded; others have no bitmap format here.
    const unsigned bits = h.BitsPerPixel, planes = h.Planes;
    if (!SupportedLayout(bits, planes)) RaiseInvalidImageFmt(gesInvalidColorFormatIn, {ColorFormatName});
    const bool mergePlanes = bits == 1 && planes > 1;
    // Every plane line must hold the row's pixels.
    if (uint64_t(h.BytesPerLine) * 8 < uint64_t(p.ImageWidth) * bits)
        RaiseInvalidImageFmt(gesInvalidImage, {HeaderFormatName});

    const TPixelFormat format = mergePlanes ? pf4bit : ColorManager.QueryPixelFormat(true);
    SetPixelFormat(format);

    // The last 769 bytes of 8-bit files belong to the palette, present or not.
    if (format == pf8bit) dataSize = std::max<int64_t>(0, dataSize - TrailingPaletteBytes);

    if (format != pf24bit && format != pf32bit) {
        if (h.Version == 3 && format != pf1bit) {
            SetPalette(MakeFixedPalette());
        } else if (format == pf1bit) {
            SetPalette(ColorManager.BuildGrayPalette(false));
        } else if (format == pf4bit) {
            if (h.PaletteInfo == 2) SetPalette(ColorManager.BuildGrayPalette(false));
            else SetPalette(ColorManager.BuildColorPalette({h.ColorMap.data()}, plBytes3, 16, false));
        } else if (format == pf8bit) {
            // The trailing palette: marker byte and 768 colour bytes at the very end of the stream,
            // after the header.
            const int64_t markerAt = stream.Size() - TrailingPaletteBytes;
            bool found = false;
            if (markerAt >= dataStart) {
                stream.SetPosition(markerAt);
                uint8_t marker = 0;
                std::array<uint8_t, 768> colors{};
                if (stream.Read(&marker, 1) == 1 && marker == PaletteMarker) {
                    stream.Read(colors.data(), int64_t(colors.size()));
                    SetPalette(ColorManager.BuildColorPalette({colors.data()}, plBytes3, 256, false));
                    found = true;
                }
                stream.SetPosition(dataStart);
            }
            if (!found && h.PaletteInfo == 2) SetPalette(ColorManager.BuildGrayPalette(false));
        }
    }

    SetSize(p.ImageWidth, p.ImageHeight);

    const size_t bytesPerLine = h.BytesPerLine;
    const size_t lineSize = planes * bytesPerLine;
    const size_t height = size_t(p.ImageHeight);
    const size_t imageBytes = CheckedImageBytes(int64_t(lineSize), p.ImageHeight, 8);

    const uint32_t width = uint32_t(p.ImageWidth);
    // Colour planes without gamma need no table: they are interleaved here directly.
    const bool plainPlanes = bits == 8 && planes > 1 && !ColorManager.TargetFlags.Contains(cvApplyGamma);
    size_t row = 0;
    // Converts `count` lines into the next bitmap rows.
    auto transfer = [&](const uint8_t* line, size_t count) {
        for (size_t i = 0; i < count; ++i, ++row, line += lineSize) {
            uint8_t* target = ScanLine(int32_t(row));
            if (mergePlanes) {
                MergeBitPlanes(line, bytesPerLine, planes, width, target);
            } else if (plainPlanes && planes == 3) {
                InterleavePlanes<3>(line, bytesPerLine, width, target);
            } else if (plainPlanes) {
                InterleavePlanes<4>(line, bytesPerLine, width, target);
            } else if (planes == 3) {
                ColorManager.TranslateRow({line, line + bytesPerLine, line + 2 * bytesPerLine}, target, width, 0xFF);
            } else if (planes == 4) {
                ColorManager.TranslateRow(
                    {line, line + bytesPerLine, line + 2 * bytesPerLine, line + 3 * bytesPerLine}, target, width, 0xFF);
            } else {
                ColorManager.TranslateRow({line}, target, width, 0xFF);
            }
            Progress(this, psRunning, uint8_t(MulDiv(int32_t(row), 100, p.ImageHeight)), true, ProgressBand, "");
            OffsetRect(ProgressBand, 0, 1);
        }
    };

    // Only rows the data reaches are transferred; the others stay as the new bitmap holds them.
    if (p.CompressionKind == ckRLE) {
        // The packed data is decoded in one block, since runs may cross the ends of lines. A run
        // yields at most 63 bytes from 2 packed bytes, so the packed size bounds the rows reached,
        // and every byte wanted takes at most two packed bytes.
        const uint64_t reachable = std::min<uint64_t>(imageBytes, uint64_t(dataSize) * 32);
        const size_t rows = std::min<size_t>(height, size_t((reachable + lineSize - 1) / lineSize));
        const size_t targetLength = rows * lineSize;
        const size_t packedLength = size_t(std::min<uint64_t>(
            {uint64_t(dataSize), 2 * uint64_t(targetLength) + 2, uint64_t(std::numeric_limits<int32_t>::max())}));
        TBlock image = AllocateZeroed(targetLength);
        {
            TBlock packed = AllocateZeroed(packedLength);
            stream.ReadBuffer(packed.get(), int64_t(packedLength));
            TPCXRLEDecoder decoder;
            void* source = packed.get();
            void* target = image.get();
            decoder.DecodeBlock(source, target, int32_t(packedLength), int32_t(targetLength));
            decoder.EndDecoding();
        }
        Progress(this, psEnding, 0, false, ProgressBand, "");
        Progress(this, psStarting, 0, false, ProgressBand, gesTransfering);
        transfer(image.get(), rows);
    } else {
        // Stored lines are read a few at a time into one reused buffer; the part of a line the
        // data does not reach is zero.
        Progress(this, psEnding, 0, false, ProgressBand, "");
        Progress(this, psStarting, 0, false, ProgressBand, gesTransfering);
        uint64_t left = std::min<uint64_t>(imageBytes, uint64_t(dataSize));
        const size_t chunkLines = std::min<size_t>(height, std::max<size_t>(1, StoredChunkBytes / lineSize));
        TBlock chunk = AllocateZeroed(chunkLines * lineSize);
        while (left > 0) {
            const size_t bytes = size_t(std::min<uint64_t>(left, chunkLines * lineSize));
            stream.ReadBuffer(chunk.get(), int64_t(bytes));
            const size_t lines = (bytes + lineSize - 1) / lineSize;
            std::memset(chunk.get() + bytes, 0, lines * lineSize - bytes);
            transfer(chunk.get(), lines);
            left -= bytes;
        }
    }

    Progress(this, psEnding, 0, false, ProgressBand, "");
}
