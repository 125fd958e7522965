#include "PNGGraphic.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#include <smmintrin.h>
#endif

#include <zlib.h>

using namespace GraphicStrings;

const TGraphicClass TPNGGraphic::Class{"TPNGGraphic", &TVaderezUvGraphic::Class, &CreateGraphicInstance<TPNGGraphic>,
                                       &TPNGGraphic::AcceptsStream};

namespace {

// Bytes the row buffers hold beyond the longest row, so that the filters may read whole words.
constexpr size_t RowPadding = 8;

const uint8_t Signature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

constexpr uint32_t Tag(const char* t) {
    return uint32_t(uint8_t(t[0])) << 24 | uint32_t(uint8_t(t[1])) << 16 | uint32_t(uint8_t(t[2])) << 8 |
           uint32_t(uint8_t(t[3]));
}
constexpr uint32_t CaseMask = 0xDFDFDFDF;  // bit 5 of every type byte cleared

uint32_t BigEndian32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
uint16_t BigEndian16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }

[[noreturn]] void RaisePNG(const char* message) { RaiseInvalidImageFmt(message, {gesPNGFormatName}); }

// Adam7: first column, column step, first row, row step, pixel mask.
struct TPass {
    uint32_t Column, ColumnStep, Row, RowStep;
    uint8_t Mask;
};
constexpr TPass Adam7[7] = {{0, 8, 0, 8, 0x80}, {4, 8, 0, 8, 0x08}, {0, 4, 4, 8, 0x88}, {2, 4, 0, 4, 0x22},
                            {0, 2, 2, 4, 0xAA}, {1, 2, 0, 2, 0x55}, {0, 1, 1, 2, 0xFF}};

// Bytes of a stored row of `pixels` pixels, without the filter byte.
uint64_t StoredRowBytes(uint64_t pixels, uint32_t bitDepth, uint32_t sampleFactor) {
    return (pixels * bitDepth + 7) / 8 * sampleFactor;
}

// Row times 100 divided by the height as MulDiv rounds, kept within 0..100.
uint8_t PercentOf(int64_t row, int64_t height) {
    return uint8_t(std::clamp<int32_t>(MulDiv(int32_t(std::min<int64_t>(row, INT32_MAX)), 100, int32_t(height)), 0, 100));
}

// --- Row filters -------------------------------------------------------------------------------
// Every byte of the row gets a prediction added from the byte `stride` positions to its left (a),
// the byte above (b) and the byte above that left one (c); bytes of the first pixel have a = c = 0.

inline uint8_t PaethPredictor(int a, int b, int c) {
    const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    return uint8_t(pa <= pb && pa <= pc ? a : (pb <= pc ? b : c));
}

void UnfilterSub(uint8_t* row, size_t length, uint32_t stride) {
    for (size_t i = stride; i < length; ++i) row[i] = uint8_t(row[i] + row[i - stride]);
}

void UnfilterUp(uint8_t* row, size_t length, const uint8_t* prior) {
    size_t i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= length; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(prior + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row + i), _mm_add_epi8(x, b));
    }
#endif
    for (; i < length; ++i) row[i] = uint8_t(row[i] + prior[i]);
}

void UnfilterAverageBytes(uint8_t* row, size_t length, uint32_t stride, const uint8_t* prior) {
    const size_t first = std::min<size_t>(stride, length);
    for (size_t i = 0; i < first; ++i) row[i] = uint8_t(row[i] + (prior[i] >> 1));
    for (size_t i = first; i < length; ++i) row[i] = uint8_t(row[i] + ((row[i - stride] + prior[i]) >> 1));
}

void UnfilterPaethBytes(uint8_t* row, size_t length, uint32_t stride, const uint8_t* prior) {
    const size_t first = std::min<size_t>(stride, length);
    for (size_t i = 0; i < first; ++i) row[i] = uint8_t(row[i] + prior[i]);
    for (size_t i = first; i < length; ++i)
        row[i] = uint8_t(row[i] + PaethPredictor(row[i - stride], prior[i], prior[i - stride]));
}

#if defined(__SSE2__)
// Whole pixels of S bytes (3, 4, 6 or 8) at a time, in 16-bit lanes. A pixel is loaded with one
// 4- or 8-byte read, so the row and the prior row must stay readable for RowPadding bytes past
// their length; only the S bytes of the pixel are stored. The last pixel of a row may be incomplete
// only when the row is damaged; the byte loops above finish such a tail.
template <unsigned S>
inline __m128i LoadPixel(const uint8_t* p) {
    if constexpr (S <= 4) {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(v)), _mm_setzero_si128());
    } else {
        uint64_t v;
        std::memcpy(&v, p, 8);
        return _mm_unpacklo_epi8(_mm_cvtsi64_si128(int64_t(v)), _mm_setzero_si128());
    }
}
template <unsigned S>
inline void StorePixel(uint8_t* p, __m128i v) {
    const __m128i packed = _mm_packus_epi16(v, v);
    if constexpr (S == 4) {
        const uint32_t bytes = uint32_t(_mm_cvtsi128_si32(packed));
        std::memcpy(p, &bytes, 4);
    } else if constexpr (S == 3) {  // a word and a byte, straight from the register
        const uint32_t bytes = uint32_t(_mm_cvtsi128_si32(packed));
        const uint16_t first = uint16_t(bytes);
        std::memcpy(p, &first, 2);
        p[2] = uint8_t(bytes >> 16);
    } else if constexpr (S == 8) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), packed);
    } else {
        const uint64_t bytes = uint64_t(_mm_cvtsi128_si64(packed));
        const uint32_t first = uint32_t(bytes);
        const uint16_t last = uint16_t(bytes >> 32);
        std::memcpy(p, &first, 4);
        std::memcpy(p + 4, &last, 2);
    }
}
inline __m128i Abs16(__m128i x) { return _mm_max_epi16(x, _mm_sub_epi16(_mm_setzero_si128(), x)); }

// Paeth in 16-bit lanes. pa = |b - c| does not depend on the pixel to the left, so the chain
// from one pixel to the next is: pb = |a - c|, pc = |(b - c) + (a - c)|, the two comparisons
// (pb > pc picks c over b; pa > min(pb, pc) picks that over a), the add and the mask.
template <unsigned S>
inline size_t UnfilterPaethPixelsSSE2(uint8_t* row, size_t length, const uint8_t* prior) {
    const __m128i low = _mm_set1_epi16(0xFF);
    __m128i a = _mm_setzero_si128(), c = _mm_setzero_si128();
    size_t i = 0;
    for (; i + S <= length; i += S) {
        const __m128i b = LoadPixel<S>(prior + i);
        const __m128i x = LoadPixel<S>(row + i);
        const __m128i paSigned = _mm_sub_epi16(b, c), pbSigned = _mm_sub_epi16(a, c);
        const __m128i pa = Abs16(paSigned), pb = Abs16(pbSigned);
        const __m128i pc = Abs16(_mm_add_epi16(paSigned, pbSigned));
        const __m128i takeC = _mm_cmpgt_epi16(pb, pc);
        const __m128i bOrC = _mm_or_si128(_mm_and_si128(takeC, c), _mm_andnot_si128(takeC, b));
        const __m128i notA = _mm_cmpgt_epi16(pa, _mm_min_epi16(pb, pc));
        const __m128i predicted = _mm_or_si128(_mm_and_si128(notA, bOrC), _mm_andnot_si128(notA, a));
        a = _mm_and_si128(_mm_add_epi16(x, predicted), low);
        c = b;
        StorePixel<S>(row + i, a);
    }
    return i;
}

template <unsigned S>
__attribute__((target("sse4.1"))) size_t UnfilterPaethPixelsSSE41(uint8_t* row, size_t length, const uint8_t* prior) {
    const __m128i low = _mm_set1_epi16(0xFF);
    __m128i a = _mm_setzero_si128(), c = _mm_setzero_si128();
    size_t i = 0;
    for (; i + S <= length; i += S) {
        const __m128i b = LoadPixel<S>(prior + i);
        const __m128i x = LoadPixel<S>(row + i);
        const __m128i paSigned = _mm_sub_epi16(b, c), pbSigned = _mm_sub_epi16(a, c);
        const __m128i pa = _mm_abs_epi16(paSigned), pb = _mm_abs_epi16(pbSigned);
        const __m128i pc = _mm_abs_epi16(_mm_add_epi16(paSigned, pbSigned));
        const __m128i bOrC = _mm_blendv_epi8(b, c, _mm_cmpgt_epi16(pb, pc));
        const __m128i predicted = _mm_blendv_epi8(a, bOrC, _mm_cmpgt_epi16(pa, _mm_min_epi16(pb, pc)));
        a = _mm_and_si128(_mm_add_epi16(x, predicted), low);
        c = b;
        StorePixel<S>(row + i, a);
    }
    return i;
}

bool HaveSSE41() {
    static const bool have = __builtin_cpu_supports("sse4.1");
    return have;
}

template <unsigned S>
size_t UnfilterPaethPixels(uint8_t* row, size_t length, const uint8_t* prior) {
    return HaveSSE41() ? UnfilterPaethPixelsSSE41<S>(row, length, prior) : UnfilterPaethPixelsSSE2<S>(row, length, prior);
}

template <unsigned S>
size_t UnfilterAveragePixels(uint8_t* row, size_t length, const uint8_t* prior) {
    __m128i a = _mm_setzero_si128();
    size_t i = 0;
    for (; i + S <= length; i += S) {
        const __m128i b = LoadPixel<S>(prior + i);
        const __m128i x = LoadPixel<S>(row + i);
        a = _mm_and_si128(_mm_add_epi16(x, _mm_srli_epi16(_mm_add_epi16(a, b), 1)), _mm_set1_epi16(0xFF));
        StorePixel<S>(row + i, a);
    }
    return i;
}

template <unsigned S>
size_t UnfilterSubPixels(uint8_t* row, size_t length) {
    __m128i a = _mm_setzero_si128();
    size_t i = 0;
    for (; i + S <= length; i += S) {
        a = _mm_and_si128(_mm_add_epi16(LoadPixel<S>(row + i), a), _mm_set1_epi16(0xFF));
        StorePixel<S>(row + i, a);
    }
    return i;
}

// Runs the pixel kernel for strides 3, 4, 6 and 8; returns the bytes done (0 for other strides).
template <template <unsigned> class Kernel, typename... Args>
size_t ByStride(uint32_t stride, Args... args) {
    switch (stride) {
        case 3: return Kernel<3>::Run(args...);
        case 4: return Kernel<4>::Run(args...);
        case 6: return Kernel<6>::Run(args...);
        case 8: return Kernel<8>::Run(args...);
        default: return 0;
    }
}
template <unsigned S>
struct PaethKernel {
    static size_t Run(uint8_t* row, size_t length, const uint8_t* prior) { return UnfilterPaethPixels<S>(row, length, prior); }
};
template <unsigned S>
struct AverageKernel {
    static size_t Run(uint8_t* row, size_t length, const uint8_t* prior) { return UnfilterAveragePixels<S>(row, length, prior); }
};
template <unsigned S>
struct SubKernel {
    static size_t Run(uint8_t* row, size_t length) { return UnfilterSubPixels<S>(row, length); }
};
#endif

// Finishes a row from byte `done` on (an incomplete last pixel, or every byte for strides the pixel
// kernels do not cover).
void FinishAverage(uint8_t* row, size_t length, uint32_t stride, const uint8_t* prior, size_t done) {
    if (done == 0) return UnfilterAverageBytes(row, length, stride, prior);
    for (size_t i = done; i < length; ++i) row[i] = uint8_t(row[i] + ((row[i - stride] + prior[i]) >> 1));
}
void FinishPaeth(uint8_t* row, size_t length, uint32_t stride, const uint8_t* prior, size_t done) {
    if (done == 0) return UnfilterPaethBytes(row, length, stride, prior);
    for (size_t i = done; i < length; ++i)
        row[i] = uint8_t(row[i] + PaethPredictor(row[i - stride], prior[i], prior[i - stride]));
}

}  // namespace

TPNGGraphic::TPNGGraphic() = default;
TPNGGraphic::~TPNGGraphic() = default;

bool TPNGGraphic::AcceptsStream(TStream& stream) {
    if (stream.Remaining() <= 8) return false;
    const int64_t start = stream.Position();
    uint8_t bytes[8];
    const int64_t got = stream.Read(bytes, 8);
    stream.SetPosition(start);
    return got == 8 && std::memcmp(bytes, Signature, 8) == 0;
}

// --- Chunks ------------------------------------------------------------------------------------

void TPNGGraphic::NextChunkHeader() {
    uint8_t header[8];
    SourceStream->ReadBuffer(header, 8);
    RunningCrc = uint32_t(crc32(0, header + 4, 4));
    ChunkLength = BigEndian32(header);
    ChunkTag = BigEndian32(header + 4);
}

void TPNGGraphic::LoadChunkData() {
    // A length beyond the bytes left would fail at the read anyway; it must not allocate first.
    if (int64_t(ChunkLength) + 4 > SourceStream->Remaining()) throw EReadError();
    ChunkData.resize(ChunkLength);
    if (ChunkLength) SourceStream->ReadBuffer(ChunkData.data(), ChunkLength);
    uint8_t stored[4];
    SourceStream->ReadBuffer(stored, 4);
    RunningCrc = uint32_t(crc32(RunningCrc, ChunkData.data(), uInt(ChunkLength)));
    if (RunningCrc != BigEndian32(stored)) RaisePNG(gesCRCError);
}

void TPNGGraphic::SkipChunk() { SourceStream->Seek(int64_t(ChunkLength) + 4, soCurrent); }

bool TPNGGraphic::ChunkTypeIs(const char* type) const { return (ChunkTag & CaseMask) == (Tag(type) & CaseMask); }

// --- Header ------------------------------------------------------------------------------------

bool TPNGGraphic::ReadImageInfo(TStream& stream, uint32_t index) {
    TVaderezUvGraphic::ReadImageInfo(stream, index);
    SourceStream = &stream;
    uint8_t signature[8];
    if (stream.Read(signature, 8) != 8 || std::memcmp(signature, Signature, 8) != 0) return false;
    NextChunkHeader();
    if (!ChunkTypeIs("IHDR") || ChunkLength < 13) return false;
    TImageProperties& p = ImageProperties;
    p.Flags.Include(ifBigEndian);
    LoadChunkData();
    const uint32_t width = BigEndian32(ChunkData.data()), height = BigEndian32(ChunkData.data() + 4);
    if (width == 0 || height == 0 || width > uint32_t(INT32_MAX) || height > uint32_t(INT32_MAX)) return false;
    const uint8_t bitDepth = ChunkData[8], colorType = ChunkData[9];
    p.ImageWidth = int32_t(width);
    p.ImageHeight = int32_t(height);
    switch (colorType) {
        case 0: p.ColorModel = cmGray; p.SampleCount = 1; break;
        case 2: p.ColorModel = cmRGB; p.SampleCount = 3; break;
        case 3: p.ColorModel = cmIndexed; p.SampleCount = 1; break;
        case 4: p.ColorModel = cmGrayAlpha; p.SampleCount = 1; break;
        case 6: p.ColorModel = cmRGBA; p.SampleCount = 4; break;
        default: p.ColorModel = cmUnknown; p.SampleCount = 1; break;
    }
    p.SampleBits = bitDepth;
    p.PixelBits = uint8_t(p.SampleCount * p.SampleBits);
    p.CompressionKind = ChunkData[10] == 0 ? ckDeflate : ckUnknown;
    p.FilterMethod = ChunkData[11];
    p.IsInterlaced = ChunkData[12] != 0;
    p.AlphaPresent = p.ColorModel == cmGrayAlpha || p.ColorModel == cmRGBA || p.ColorModel == cmBGRA;
    for (;;) {
        NextChunkHeader();
        if (ChunkTypeIs("gAMA")) {
            LoadChunkData();
            if (ChunkLength >= 4) p.GammaValue = float(BigEndian32(ChunkData.data())) / 100000.0f;
            return true;
        }
        SkipChunk();
        if (ChunkTypeIs("IEND")) return true;
    }
}

uint32_t TPNGGraphic::ConfigureColorDepth(uint8_t colorType, uint8_t bitDepth) {
    TColorManager& cm = ColorManager;
    auto depthIn = [bitDepth](std::initializer_list<uint8_t> depths) {
        return std::find(depths.begin(), depths.end(), bitDepth) != depths.end();
    };
    uint32_t stride = 1;
    switch (colorType) {
        case 0:
            if (!depthIn({1, 2, 4, 8, 16})) RaisePNG(gesInvalidColorFormatIn);
            cm.SetSourceModel(cmGray);
            cm.SetTargetModel(cmGray);
            cm.SetSourceSampleCount(1);
            cm.SetTargetSampleCount(1);
            cm.SetSourceSampleBits(bitDepth);
            cm.SetTargetSampleBits(bitDepth == 2 ? 4 : bitDepth == 16 ? 8 : bitDepth);
            SetPixelFormat(cm.QueryPixelFormat(true));
            PendingPalette = cm.BuildGrayPalette(false);
            stride = (bitDepth + 7u) / 8u;
            break;
        case 2:
            if (!depthIn({8, 16})) RaisePNG(gesInvalidColorFormatIn);
            cm.SetSourceModel(cmRGB);
            cm.SetTargetModel(cmBGR);
            cm.SetSourceSampleCount(3);
            cm.SetTargetSampleCount(3);
            cm.SetSourceSampleBits(bitDepth);
            cm.SetTargetSampleBits(8);
            SetPixelFormat(pf24bit);
            stride = 3u * bitDepth / 8u;
            break;
        case 3:
            if (!depthIn({1, 2, 4, 8})) RaisePNG(gesInvalidColorFormatIn);
            cm.SetSourceModel(cmIndexed);
            cm.SetTargetModel(cmIndexed);
            cm.SetSourceSampleCount(1);
            cm.SetTargetSampleCount(1);
            cm.SetSourceSampleBits(bitDepth);
            cm.SetTargetSampleBits(bitDepth == 2 ? 4 : bitDepth);
            SetPixelFormat(cm.QueryPixelFormat(true));
            stride = 1;
            break;
        case 4:
            if (!depthIn({8, 16})) RaisePNG(gesInvalidColorFormatIn);
            cm.SetSourceModel(cmGrayAlpha);
            cm.SetTargetModel(cmIndexed);
            cm.SetSourceSampleCount(1);
            cm.SetTargetSampleCount(1);
            cm.SetSourceSampleBits(bitDepth);
            cm.SetTargetSampleBits(8);
            SetPixelFormat(pf8bit);
            PendingPalette = cm.BuildGrayPalette(false);
            stride = 2u * bitDepth / 8u;
            break;
        case 6:
            if (!depthIn({8, 16})) RaisePNG(gesInvalidColorFormatIn);
            cm.SetSourceModel(cmRGBA);
            cm.SetTargetModel(cmBGRA);
            cm.SetSourceSampleCount(4);
            cm.SetTargetSampleCount(4);
            cm.SetSourceSampleBits(bitDepth);
            cm.SetTargetSampleBits(8);
            SetPixelFormat(pf32bit);
            stride = 4u * bitDepth / 8u;
            break;
        default:
            RaisePNG(gesInvalidColorFormatIn);
    }
    colorConfigured_ = true;
    return stride;
}

// --- Background and transparency ---------------------------------------------------------------
// The colour a bKGD or tRNS value stands for is the colour such a pixel shows in the bitmap: grey
// values of 1, 2 and 4 bits are masked to their depth and scaled to 8 bits, 16-bit values reduced
// by division by 257, others (8 bits, and depths the image will be refused for) take their low
// byte; the gamma correction of the pixels applies to them too.

uint8_t TPNGGraphic::SampleLevel(uint16_t value, uint8_t bitDepth, bool grey) const {
    uint32_t level;
    if (bitDepth == 16) {
        level = value / 257u;
    } else if (grey && (bitDepth == 1 || bitDepth == 2 || bitDepth == 4)) {
        const uint32_t maximum = (1u << bitDepth) - 1;
        level = (value & maximum) * 255u / maximum;
    } else {
        level = value & 0xFFu;
    }
    if (ColorManager.TargetFlags.Contains(cvApplyGamma)) level = ColorManager.GammaLookup()[level];
    return uint8_t(level);
}

void TPNGGraphic::ApplyBackgroundChunk(const TIHDRChunk& header) {
    LoadChunkData();
    const uint8_t* d = ChunkData.data();
    switch (header.ColorType) {
        case 0:
        case 4:
            if (ChunkLength >= 2) {
                const uint8_t l = SampleLevel(BigEndian16(d), header.BitDepth, true);
                FillColor = RGB(l, l, l);
            }
            break;
        case 2:
        case 6:
            if (ChunkLength >= 6)
                FillColor = RGB(SampleLevel(BigEndian16(d), header.BitDepth, false),
                                SampleLevel(BigEndian16(d + 2), header.BitDepth, false),
                                SampleLevel(BigEndian16(d + 4), header.BitDepth, false));
            break;
        case 3:
            // The palette entry's colour; indices of 2-bit images are spread over 16 entries.
            if (ChunkLength >= 1 && PendingPalette) {
                const int entry = header.BitDepth == 2 ? d[0] * 5 : d[0];
                if (entry < PendingPalette->Count()) {
                    const TPaletteEntry& e = PendingPalette->Entry(entry);
                    FillColor = RGB(e.peRed, e.peGreen, e.peBlue);
                }
            }
            break;
        default:
            break;
    }
}

void TPNGGraphic::ApplyTransparencyChunk(const TIHDRChunk& header) {
    LoadChunkData();
    const uint8_t* d = ChunkData.data();
    if (header.ColorType == 0 && ChunkLength >= 2) {
        const uint8_t l = SampleLevel(BigEndian16(d), header.BitDepth, true);
        KeyColor = RGB(l, l, l);
    } else if (header.ColorType == 2 && ChunkLength >= 6) {
        KeyColor = RGB(SampleLevel(BigEndian16(d), header.BitDepth, false),
                       SampleLevel(BigEndian16(d + 2), header.BitDepth, false),
                       SampleLevel(BigEndian16(d + 4), header.BitDepth, false));
    }
}

// --- Image data --------------------------------------------------------------------------------

void TPNGGraphic::UnfilterRow(uint8_t filterType, uint8_t* row, size_t length, uint32_t stride, const uint8_t* prior) {
    switch (filterType) {
        case 1: {
#if defined(__SSE2__)
            const size_t done = ByStride<SubKernel>(stride, row, length);
            UnfilterSub(row + (done ? done - stride : 0), length - (done ? done - stride : 0), stride);
#else
            UnfilterSub(row, length, stride);
#endif
            break;
        }
        case 2:
            UnfilterUp(row, length, prior);
            break;
        case 3: {
            size_t done = 0;
#if defined(__SSE2__)
            done = ByStride<AverageKernel>(stride, row, length, prior);
#endif
            FinishAverage(row, length, stride, prior, done);
            break;
        }
        case 4: {
            size_t done = 0;
#if defined(__SSE2__)
            done = ByStride<PaethKernel>(stride, row, length, prior);
#endif
            FinishPaeth(row, length, stride, prior, done);
            break;
        }
        default:
            break;  // 0 and unknown filter types: the row as stored
    }
}

uint32_t TPNGGraphic::DecompressRow(uint8_t* buffer, uint32_t count) {
    uint8_t* target = buffer;
    uint32_t missing = count;
    while (missing > 0) {
        if (Decompressor->InputLeft() == 0) {
            ChunkDataSize = 0;
            while (ChunkDataSize == 0) {
                if (!ChunkTypeIs("IDAT")) {  // the data ran out; the rest keeps its bytes
                    dataEnded_ = true;
                    return count - missing;
                }
                LoadChunkData();
                ChunkReadPos = 0;
                ChunkDataSize = ChunkLength;
                NextChunkHeader();
            }
        } else {
            ChunkReadPos = ChunkDataSize - Decompressor->InputLeft();
        }
        void* source = ChunkData.data() + ChunkReadPos;
        void* out = target;
        Decompressor->DecodeBlock(source, out, int32_t(ChunkDataSize - ChunkReadPos), int32_t(missing));
        const uint32_t produced = uint32_t(static_cast<uint8_t*>(out) - target);
        target += produced;
        missing -= produced;
        ChunkReadPos = uint32_t(static_cast<uint8_t*>(source) - ChunkData.data());
        const int32_t result = Decompressor->LastResult();
        if (result == Z_STREAM_END) {
            if (missing > 0 || Decompressor->InputLeft() > 0) RaisePNG(gesExtraCompressedData);
            return count;
        }
        if (result != Z_OK) RaisePNG(gesCompressionError);
    }
    return count;
}

void TPNGGraphic::DecodeImageData(const TIHDRChunk& header) {
    Progress(this, psStarting, 0, false, ProgressBand, gesTransfering);
    if (!colorConfigured_) PixelStride = ConfigureColorDepth(header.ColorType, header.BitDepth);
    const uint32_t sampleFactor = header.BitDepth == 16 ? PixelStride / 2 : PixelStride;
    if (PendingPalette) SetPalette(std::move(PendingPalette));
    SetSize(int32_t(header.Width), int32_t(header.Height));
    // Every pixel of a plain image is written by its row, so the background fill is needed at
    // once only where it can be seen: by a progress handler while rows come in, and in the passes
    // of an interlaced image. Otherwise only the rows that get no data are filled, at the end.
    dataEnded_ = false;
    if (OnProgress || header.Interlace == 1) FillRows(0, Height());
    if (KeyColor != clNone) {
        SetTransparentColor(KeyColor);
        SetTransparent(true);
    }
    DecodeRows(header, sampleFactor);
    while (ChunkTypeIs("IDAT")) {
        LoadChunkData();
        NextChunkHeader();
    }
}

void TPNGGraphic::DecodeRows(const TIHDRChunk& header, uint32_t sampleFactor) {
    const uint32_t width = header.Width, height = header.Height, depth = header.BitDepth;
    // Checked like any image-sized buffer; a row of 16-bit samples is larger than the bitmap's row.
    const size_t rowSize = CheckedImageBytes(width, 1, int64_t(depth) * sampleFactor) + 1;
    std::vector<uint8_t> current(rowSize + RowPadding), prior(rowSize + RowPadding);
    const uint32_t stride = PixelStride;

    // Decodes one row; false when the image data had run out before the row got any byte. A row
    // that got some of its bytes is converted with the rest of its buffer as it was.
    auto decodeRow = [&](uint32_t row, uint32_t size, uint8_t mask) {
        if (DecompressRow(current.data(), size) == 0 && dataEnded_) return false;
        UnfilterRow(current[0], current.data() + 1, size - 1, stride, prior.data() + 1);
        ColorManager.TranslateRow({current.data() + 1}, ScanLine(int32_t(row)), width, mask);
        current.swap(prior);
        return true;
    };
    static const std::string noText;

    if (header.Interlace == 1) {
        for (const TPass& pass : Adam7) {
            if (width <= pass.Column) continue;
            const uint64_t passPixels = (uint64_t(width) + pass.ColumnStep - pass.Column - 1) / pass.ColumnStep;
            const uint32_t size = uint32_t(StoredRowBytes(passPixels, depth, sampleFactor) + 1);
            std::fill(prior.begin(), prior.begin() + size, uint8_t(0));
            const bool last = pass.Mask == 0xFF;
            for (uint64_t row = pass.Row; row < height; row += pass.RowStep) {
                const bool decoded = decodeRow(uint32_t(row), size, pass.Mask);
                if (decoded && last) {
                    Progress(this, psRunning, PercentOf(int64_t(row) + pass.RowStep, height), true, ProgressBand, noText);
                    OffsetRect(ProgressBand, 0, 1);
                }
                if (dataEnded_) return;  // the pixels not reached keep the background filled at the start
            }
        }
    } else {
        for (uint32_t row = 0; row < height; ++row) {
            if (!decodeRow(row, uint32_t(rowSize), 0xFF)) {
                if (!OnProgress) FillRows(int32_t(row), int32_t(height));
                return;
            }
            Progress(this, psRunning, PercentOf(row, height), true, ProgressBand, noText);
            OffsetRect(ProgressBand, 0, 1);
            if (dataEnded_) {
                if (!OnProgress) FillRows(int32_t(row) + 1, int32_t(height));
                return;
            }
        }
    }
}

void TPNGGraphic::FillRows(int32_t first, int32_t end) {
    TCanvas& canvas = Canvas();
    canvas.Lock();
    canvas.Brush.Color = FillColor;
    canvas.FillRect(Rect(0, first, Width(), end));
    canvas.Unlock();
}

// --- Loading -----------------------------------------------------------------------------------

void TPNGGraphic::LoadFromStream(TStream& stream) {
    FreeImage();
    ImageStart = uint32_t(stream.Position());
    const int64_t start = stream.Position();
    Decompressor.reset();
    colorConfigured_ = false;
    // A load replaces everything of the previous one, the gamma correction and transparency too.
    ColorManager.TargetFlags = TConversionOptions{};
    ColorManager.SetSourceSampleBits(8);  // the depths the gamma table is built for
    ColorManager.SetTargetSampleBits(8);
    SetTransparent(false);
    SetTransparentColor(clDefault);
    SourceStream = &stream;
    if (!ReadImageInfo(stream, 0)) RaiseInvalidImageFmt(gesInvalidImage, {gesPNGFormatName});
    stream.SetPosition(start + 8);
    ProgressBand = Rect(0, 0, ImageProperties.ImageWidth, 1);
    Progress(this, psStarting, 0, false, ProgressBand, gesPreparing);

    PendingPalette.reset();
    FillColor = clWhite;
    KeyColor = clNone;
    NextChunkHeader();
    ChunkData.clear();
    ColorManager.SourceFlags = TConversionOptions{cvNeedByteSwap};

    // Releases the per-load state on every exit; the decoder's destructor ends zlib's stream.
    struct Cleanup {
        TPNGGraphic& self;
        ~Cleanup() {
            self.Decompressor.reset();
            std::vector<uint8_t>().swap(self.ChunkData);
            self.PendingPalette.reset();
            self.ChunkDataSize = self.ChunkReadPos = 0;
            self.SourceStream = nullptr;  // the caller's stream may go away after the load
        }
    } cleanup{*this};

    try {
        LoadChunks();
    } catch (...) {
        Decompressor.reset();
        Progress(this, psEnding, 0, false, ProgressBand, "");
        throw;
    }
    if (Decompressor) {
        Decompressor->EndDecoding();
        Decompressor.reset();
    }
    Progress(this, psEnding, 0, false, ProgressBand, "");
}

void TPNGGraphic::LoadChunks() {
    LoadChunkData();
    if (ChunkLength < 13) RaiseInvalidImageFmt(gesInvalidImage, {gesPNGFormatName});
    TIHDRChunk header;
    header.Width = BigEndian32(ChunkData.data());
    header.Height = BigEndian32(ChunkData.data() + 4);
    header.BitDepth = ChunkData[8];
    header.ColorType = ChunkData[9];
    header.Compression = ChunkData[10];
    header.Filter = ChunkData[11];
    header.Interlace = ChunkData[12];
    if (ImageProperties.CompressionKind != ckDeflate)
        RaiseInvalidImageFmt(gesNotSupported, {gesPNGCompressionScheme, gesPNGFormatName});

    Decompressor = std::make_unique<TLZ77Decoder>(Z_PARTIAL_FLUSH, false);
    Decompressor->BeginDecoding();

    bool decoded = false;
    for (;;) {
        NextChunkHeader();
        if (ChunkTypeIs("IDAT")) {
            if (decoded) {
                // Image data again after other chunks: checked, not decoded a second time.
                LoadChunkData();
                continue;
            }
            Progress(this, psEnding, 0, false, ProgressBand, "");
            DecodeImageData(header);
            decoded = true;
            // The chunk after the image data is handled like any other chunk below.
        } else if (ChunkTypeIs("PLTE")) {
            if (ChunkLength % 3 != 0) RaisePNG(gesInvalidPalette);
            LoadChunkData();
            if (header.ColorType == 3) {
                PixelStride = ConfigureColorDepth(3, header.BitDepth);
                const void* data = ChunkData.data();
                PendingPalette = ColorManager.BuildColorPalette({data}, plBytes3, ChunkLength / 3, false);
            }
            continue;
        } else if (ChunkTypeIs("gAMA")) {
            LoadChunkData();
            if (ChunkLength >= 4) {
                const float gamma = float(BigEndian32(ChunkData.data())) / 100000.0f;
                ColorManager.DefineGamma(gamma, 2.2f);
                ColorManager.TargetFlags.Include(cvApplyGamma);
                ImageProperties.Flags.Include(ifUseGamma);
            }
            continue;
        } else if (ChunkTypeIs("bKGD")) {
            ApplyBackgroundChunk(header);
            continue;
        } else if (ChunkTypeIs("tRNS")) {
            ApplyTransparencyChunk(header);
            continue;
        }
        SkipChunk();
        if (ChunkTypeIs("IEND")) break;
        if ((ChunkTag >> 24) & 0x20) continue;  // ancillary
        RaiseInvalidImage(gesPNGUnknownCriticalChunk);
    }
}
