// The row converters of the colour manager. Each converter looks at the depths and flags once per
// row and then runs a loop specialised for them, so the per-pixel work is table lookups, integer
// arithmetic and pointer steps. Words are read and written through memcpy: rows handed in by the
// readers need not be aligned (a PNG row follows its filter byte, for instance).
#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "GraphicColor.h"

namespace {

// ---------------------------------------------------------------------------
// Sample helpers

inline uint16_t SwapWord(uint16_t w) { return uint16_t((w >> 8) | (w << 8)); }
// 16 -> 8 bits: w * 255 div 65535, which equals w div 257.
// (With w = 256 h + l, w div 257 = h - 1 when l < h, else h: no multiplication needed.)
inline uint8_t NarrowWord(uint16_t w) {
    const unsigned h = w >> 8, l = w & 0xFFu;
    return uint8_t(h - (l < h ? 1u : 0u));
}
// 8 -> 16 bits: b * 65535 div 255, which equals b * 257.
inline uint16_t WidenByte(uint8_t b) { return uint16_t(uint32_t(b) * 257u); }
inline uint8_t ClampByte(int32_t v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }
inline uint8_t ClampByte64(int64_t v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }
// A floating-point result rounded (halves to even) into 0..65535; not-a-number gives 0 (luma
// weights of zero make the chroma factors infinite).
inline uint16_t RoundToWord(double v) {
    if (!(v > 0)) return 0;
    if (v >= 65535) return 65535;
    return uint16_t(Round(v));
}

template <typename T>
inline T Load(const uint8_t* p) {
    if constexpr (sizeof(T) == 1) {
        return *p;
    } else {
        T v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
}

template <typename T>
inline void Store(uint8_t* p, T v) {
    if constexpr (sizeof(T) == 1) {
        *p = v;
    } else {
        std::memcpy(p, &v, sizeof v);
    }
}

// Runs fn(sourcePixel, targetPixel) for every produced pixel of a row: bit 7 of the mask stands
// for pixel 0, bit 0 for pixel 7, and so on in groups of eight. The target index counts every
// pixel, the source index only produced ones.
template <typename Fn>
inline void ForEachProduced(uint32_t count, uint8_t mask, Fn&& fn) {
    if (mask == 0xFF) {
        for (size_t i = 0; i < count; ++i) fn(i, i);
        return;
    }
    if (mask == 0) return;
    size_t j = 0;
    for (size_t i = 0; i < count; ++i) {
        if (mask & (0x80u >> (i & 7u))) {
            fn(j, i);
            ++j;
        }
    }
}

// One sample of the RGB family, by depths, swapping and gamma.
template <typename SrcT, typename DstT, bool Swap, bool Gamma>
struct SampleOp {
    const uint8_t* lut;
    DstT operator()(SrcT v) const {
        if constexpr (sizeof(SrcT) == 1 && sizeof(DstT) == 1) {
            return Gamma ? lut[v] : v;
        } else if constexpr (sizeof(SrcT) == 1) {
            const uint16_t w = WidenByte(Gamma ? lut[v] : v);
            return Swap ? SwapWord(w) : w;
        } else if constexpr (sizeof(DstT) == 1) {
            const uint8_t b = NarrowWord(Swap ? SwapWord(v) : v);
            return Gamma ? lut[b] : b;
        } else {
            return Swap ? SwapWord(v) : v;
        }
    }
};

// Source and target of one row of the colour converters: channel k of source pixel j is at
// src[k] + j * srcStep samples; target pixel i starts at dst + i * dstStep samples.
struct RowLayout {
    const uint8_t* src[4] = {};
    size_t srcStep = 0;
    uint8_t* dst = nullptr;
    size_t dstStep = 0;
};

// Sets the source pointers of an interleaved (one pointer) or planar row of `channels` channels.
template <typename SrcT>
RowLayout MakeLayout(TSourceList sources, void* target, size_t channels, size_t interleavedStep, size_t dstStep) {
    RowLayout row;
    const auto* first = static_cast<const uint8_t*>(sources[0]);
    if (sources.size() > 1) {
        for (size_t k = 0; k < channels; ++k) row.src[k] = static_cast<const uint8_t*>(sources[k]);
        row.srcStep = 1;
    } else {
        for (size_t k = 0; k < channels; ++k) row.src[k] = first ? first + k * sizeof(SrcT) : nullptr;
        row.srcStep = interleavedStep;
    }
    row.dst = static_cast<uint8_t*>(target);
    row.dstStep = dstStep;
    return row;
}

// ---------------------------------------------------------------------------
// RGB family

template <typename SrcT, typename DstT, bool SwapOrder, bool CopyAlpha, typename ColorOp, typename AlphaOp>
void RunRGB(const RowLayout& row, uint32_t count, uint8_t mask, ColorOp color, AlphaOp alpha) {
    constexpr size_t sb = sizeof(SrcT), db = sizeof(DstT);
    constexpr size_t to0 = SwapOrder ? 2 : 0, to2 = SwapOrder ? 0 : 2;
    const uint8_t *s0 = row.src[0], *s1 = row.src[1], *s2 = row.src[2], *s3 = row.src[3];
    const size_t ss = row.srcStep * sb, ds = row.dstStep * db;
    uint8_t* dst = row.dst;
    ForEachProduced(count, mask, [&](size_t j, size_t i) {
        const size_t so = j * ss;
        uint8_t* d = dst + i * ds;
        Store<DstT>(d + to0 * db, color(Load<SrcT>(s0 + so)));
        Store<DstT>(d + 1 * db, color(Load<SrcT>(s1 + so)));
        Store<DstT>(d + to2 * db, color(Load<SrcT>(s2 + so)));
        if constexpr (CopyAlpha) Store<DstT>(d + 3 * db, alpha(Load<SrcT>(s3 + so)));
    });
}

// 8-bit interleaved rows without gamma under a full mask: fixed steps let the compiler unroll and
// vectorise the byte moves.
template <size_t SrcStep, size_t DstStep, bool SwapOrder, bool CopyAlpha>
void RunBytesFixed(const uint8_t* s, uint8_t* d, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t c0 = s[0], c1 = s[1], c2 = s[2];
        d[0] = SwapOrder ? c2 : c0;
        d[1] = c1;
        d[2] = SwapOrder ? c0 : c2;
        if constexpr (CopyAlpha) d[3] = s[3];
        s += SrcStep;
        d += DstStep;
    }
}

#if defined(__x86_64__) || defined(__i386__)
// Byte shuffles of whole pixels, 16 bytes at a time. Each step reads and writes 16 bytes but
// consumes only the whole pixels among them (12 or 16 bytes); the loop runs only while 16 bytes
// are left in both rows, and the bytes beyond the consumed ones are written back unchanged, so even
// a row converted in place is not disturbed. Returns the number of pixels done.
template <size_t PixelBytes>
__attribute__((target("ssse3"))) uint32_t ShuffleSSSE3(const uint8_t* s, uint8_t* d, uint32_t count) {
    constexpr size_t consumed = PixelBytes == 3 ? 12 : 16;
    constexpr size_t pixelsPerStep = consumed / PixelBytes;
    const __m128i order = PixelBytes == 3
                              ? _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 12, 13, 14, 15)
                              : _mm_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15);
    uint32_t i = 0;
    while (size_t(count - i) * PixelBytes >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + size_t(i) * PixelBytes));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + size_t(i) * PixelBytes), _mm_shuffle_epi8(v, order));
        i += uint32_t(pixelsPerStep);
    }
    return i;
}

bool HaveSSSE3() {
    static const bool have = __builtin_cpu_supports("ssse3");
    return have;
}
#endif

// Exchanges the first and third byte of every pixel of a row of 3- or 4-byte pixels.
template <size_t PixelBytes>
void SwapFirstAndThird(const uint8_t* s, uint8_t* d, uint32_t count) {
    uint32_t done = 0;
#if defined(__x86_64__) || defined(__i386__)
    if (HaveSSSE3()) done = ShuffleSSSE3<PixelBytes>(s, d, count);
#endif
    s += size_t(done) * PixelBytes;
    d += size_t(done) * PixelBytes;
    RunBytesFixed<PixelBytes, PixelBytes, true, PixelBytes == 4>(s, d, count - done);
}

template <bool SwapOrder>
bool TryFastBytes(const uint8_t* s, uint8_t* d, uint32_t count, size_t srcStep, size_t dstStep, bool copyAlpha) {
    if (srcStep == 3 && dstStep == 3) {
        if (!SwapOrder) std::memmove(d, s, size_t(count) * 3);
        else SwapFirstAndThird<3>(s, d, count);
    } else if (srcStep == 4 && dstStep == 4 && copyAlpha) {
        if (!SwapOrder) std::memmove(d, s, size_t(count) * 4);
        else SwapFirstAndThird<4>(s, d, count);
    } else if (srcStep == 4 && dstStep == 3) {
        RunBytesFixed<4, 3, SwapOrder, false>(s, d, count);
    } else if (srcStep == 3 && dstStep == 4) {
        RunBytesFixed<3, 4, SwapOrder, false>(s, d, count);
    } else {
        return false;
    }
    return true;
}

template <typename SrcT, typename DstT, bool SwapOrder>
void DispatchRGB(const RowLayout& row, uint32_t count, uint8_t mask, bool copyAlpha, bool swap, bool gamma,
                 const uint8_t* lut) {
    auto run = [&]<bool Swap, bool Gamma>() {
        // No gamma on 16 -> 16 rows and none on alpha.
        constexpr bool colorGamma = Gamma && !(sizeof(SrcT) == 2 && sizeof(DstT) == 2);
        SampleOp<SrcT, DstT, Swap, colorGamma> color{lut};
        SampleOp<SrcT, DstT, Swap, false> alpha{lut};
        if (copyAlpha) RunRGB<SrcT, DstT, SwapOrder, true>(row, count, mask, color, alpha);
        else RunRGB<SrcT, DstT, SwapOrder, false>(row, count, mask, color, alpha);
    };
    if constexpr (sizeof(SrcT) == 1 && sizeof(DstT) == 1) swap = false;  // nothing to swap in bytes
    if (swap) {
        if (gamma) run.template operator()<true, true>(); else run.template operator()<true, false>();
    } else {
        if (gamma) run.template operator()<false, true>(); else run.template operator()<false, false>();
    }
}

// ---------------------------------------------------------------------------
// CMYK

template <typename SrcT, typename DstT, bool Swap>
inline DstT CMYKSample(SrcT x, SrcT k) {
    if constexpr (sizeof(SrcT) == 1) {
        const int32_t v = int32_t(x) - int32_t(uint32_t(x) * k / 255u) + int32_t(k);
        const uint8_t b = ClampByte(255 - v);
        if constexpr (sizeof(DstT) == 1) return b; else return WidenByte(b);
    } else {
        const uint32_t xv = Swap ? SwapWord(x) : x, kv = Swap ? SwapWord(k) : k;
        const uint16_t s = uint16_t(xv - xv * kv / 65535u + kv);
        if constexpr (sizeof(DstT) == 1) return ClampByte(255 - int32_t(NarrowWord(s)));
        else return uint16_t(65535u - s);
    }
}

template <typename SrcT, typename DstT, bool Swap, bool BlueFirst>
void RunCMYK(const RowLayout& row, uint32_t count, uint8_t mask) {
    constexpr size_t sb = sizeof(SrcT), db = sizeof(DstT);
    constexpr size_t toC = BlueFirst ? 2 : 0, toY = BlueFirst ? 0 : 2;
    const size_t ss = row.srcStep * sb, ds = row.dstStep * db;
    ForEachProduced(count, mask, [&](size_t j, size_t i) {
        const size_t so = j * ss;
        const SrcT k = Load<SrcT>(row.src[3] + so);
        uint8_t* d = row.dst + i * ds;
        Store<DstT>(d + toC * db, CMYKSample<SrcT, DstT, Swap>(Load<SrcT>(row.src[0] + so), k));
        Store<DstT>(d + 1 * db, CMYKSample<SrcT, DstT, Swap>(Load<SrcT>(row.src[1] + so), k));
        Store<DstT>(d + toY * db, CMYKSample<SrcT, DstT, Swap>(Load<SrcT>(row.src[2] + so), k));
    });
}

// ---------------------------------------------------------------------------
// CIE L*a*b*

struct LabColour {
    long double blue, green, red;  // 0..1 nominal
};

inline LabColour LabToColour(long double l, long double a, long double b) {
    long double x, y, z;
    if (l < 7.9996L) {
        y = l / 903.3L;
        x = y + a / 3893.5L;
        z = y - b / 1557.4L;
    } else {
        const long double f = (l + 16) / 116;
        const long double fx = f + a / 500, fz = f - b / 200;
        x = fx * fx * fx;
        y = f * f * f;
        z = fz * fz * fz;
    }
    return {0.099L * x - 0.198L * y + 1.099L * z, -0.952L * x + 1.893L * y + 0.059L * z,
            2.998L * x - 1.458L * y - 0.541L * z};
}

inline uint8_t LabByte(long double v) { return ClampByte64(Round(double(v * 255))); }
inline uint16_t LabWord(long double v) { return RoundToWord(double(v * 65535)); }

// ---------------------------------------------------------------------------
// Packed indices and grey levels

// Scales v from the range 0..from to 0..to, truncating.
inline uint32_t ScaleIndex(uint32_t v, uint32_t to, uint32_t from) { return v * to / from; }

inline bool PackableDepth(unsigned bits) { return bits == 1 || bits == 2 || bits == 4 || bits == 8; }
inline unsigned Log2Depth(unsigned bits) { return bits == 1 ? 0 : bits == 2 ? 1 : bits == 4 ? 2 : 3; }

// Reads the packed samples of s bits (1, 2, 4 or 8) of a row, most significant bits first.
struct PackedReader {
    const uint8_t* src;
    unsigned bits, perByteShift, mask;
    PackedReader(const void* p, unsigned s)
        : src(static_cast<const uint8_t*>(p)), bits(s), perByteShift(3 - Log2Depth(s)), mask((1u << s) - 1) {}
    uint32_t operator()(size_t j) const {
        const size_t slot = j & ((size_t(1) << perByteShift) - 1);
        return (src[j >> perByteShift] >> (8 - bits - slot * bits)) & mask;
    }
};

// Writes packed samples of t bits into a row, keeping the other pixels' bits of each byte.
struct PackedWriter {
    uint8_t* dst;
    unsigned bits, perByteShift, mask;
    PackedWriter(void* p, unsigned t)
        : dst(static_cast<uint8_t*>(p)), bits(t), perByteShift(3 - Log2Depth(t)), mask((1u << t) - 1) {}
    void operator()(size_t i, uint32_t v) const {
        const size_t slot = i & ((size_t(1) << perByteShift) - 1);
        const unsigned shift = unsigned(8 - bits - slot * bits);
        uint8_t& b = dst[i >> perByteShift];
        b = uint8_t(((v & mask) << shift) | (b & ~(mask << shift)));
    }
};

}  // namespace

// ---------------------------------------------------------------------------
// The converters

void TColorManager::RowKeepOrder(TSourceList Sources, void* Target, uint32_t PixelCount, uint8_t PixelMask) {
    RowRGBFamily(Sources, Target, PixelCount, PixelMask, false);
}

void TColorManager::RowSwapOrder(TSourceList Sources, void* Target, uint32_t PixelCount, uint8_t PixelMask) {
    RowRGBFamily(Sources, Target, PixelCount, PixelMask, true);
}

void TColorManager::RowRGBFamily(TSourceList Sources, void* Target, uint32_t PixelCount, uint8_t PixelMask,
                                 bool swapOrder) {
    const unsigned sBits = sourceBPS_, tBits = targetBPS_;
    if ((sBits != 8 && sBits != 16) || (tBits != 8 && tBits != 16) || PixelCount == 0) return;
    const bool sourceAlpha = SourceFlags.Contains(cvAlpha), targetAlpha = TargetFlags.Contains(cvAlpha);
    const bool copyAlpha = sourceAlpha && targetAlpha;
    const bool swap = SourceFlags.Contains(cvNeedByteSwap);
    const bool gamma = TargetFlags.Contains(cvApplyGamma);
    const size_t dstStep = targetAlpha ? 4 : 3;
    const size_t srcStep = sourceAlpha ? 4 : 3;
    const size_t channels = copyAlpha ? 4 : 3;
    const uint8_t* lut = gammaLookup_.data();

    if (sBits == 8 && tBits == 8) {
        const RowLayout row = MakeLayout<uint8_t>(Sources, Target, channels, srcStep, dstStep);
        if (Sources.size() == 1 && PixelMask == 0xFF && !gamma) {
            const auto* s = static_cast<const uint8_t*>(Sources[0]);
            auto* d = static_cast<uint8_t*>(Target);
            if (swapOrder ? TryFastBytes<true>(s, d, PixelCount, srcStep, dstStep, copyAlpha)
                          : TryFastBytes<false>(s, d, PixelCount, srcStep, dstStep, copyAlpha))
                return;
        }
        if (swapOrder) DispatchRGB<uint8_t, uint8_t, true>(row, PixelCount, PixelMask, copyAlpha, swap, gamma, lut);
        else DispatchRGB<uint8_t, uint8_t, false>(row, PixelCount, PixelMask, copyAlpha, swap, gamma, lut);
    } else if (sBits == 8) {
        const RowLayout row = MakeLayout<uint8_t>(Sources, Target, channels, srcStep, dstStep);
        if (swapOrder) DispatchRGB<uint8_t, uint16_t, true>(row, PixelCount, PixelMask, copyAlpha, swap, gamma, lut);
        else DispatchRGB<uint8_t, uint16_t, false>(row, PixelCount, PixelMask, copyAlpha, swap, gamma, lut);
    } else if (tBits == 8) {
        const RowLayout row = MakeLayout<uint16_t>(Sources, Target, channels, srcStep, dstStep);
        if (swapOrder) DispatchRGB<uint16_t, uint8_t, true>(row, PixelCount, PixelMask, copyAlpha, swap, gamma, lut);
        else DispatchRGB<uint16_t, uint8_t, false>(row, PixelCount, PixelMask, copyAlpha, swap, gamma, lut);
    } else {
        const RowLayout row = MakeLayout<uint16_t>(Sources, Target, channels, srcStep, dstStep);
        if (swapOrder) DispatchRGB<uint16_t, uint16_t, true>(row, PixelCount, PixelMask, copyAlpha, swap, gamma, lut);
        else DispatchRGB<uint16_t, uint16_t, false>(row, PixelCount, PixelMask, copyAlpha, swap, gamma, lut);
    }
}

void TColorManager::RowCMYKToBGR(TSourceList Sources, void* Target, uint32_t PixelCount, uint8_t PixelMask) {
    RowCMYK(Sources, Target, PixelCount, PixelMask, true);
}

void TColorManager::RowCMYKToRGB(TSourceList Sources, void* Target, uint32_t PixelCount, uint8_t PixelMask) {
    RowCMYK(Sources, Target, PixelCount, PixelMask, false);
}

// 16-bit CMYK samples are swapped when the source flags ask for it, like every other 16-bit
// source: big-endian files would otherwise show scrambled colours.
void TColorManager::RowCMYK(TSourceList Sources, void* Target, uint32_t PixelCount, uint8_t PixelMask,
                            bool blueFirst) {
    const unsigned sBits = sourceBPS_, tBits = targetBPS_;
    if ((sBits != 8 && sBits != 16) || (tBits != 8 && tBits != 16) || PixelCount == 0) return;
    const size_t dstStep = TargetFlags.Contains(cvAlpha) ? 4 : 3;
    const bool swap = SourceFlags.Contains(cvNeedByteSwap);
    auto run = [&]<typename SrcT, typename DstT>() {
        const RowLayout row = MakeLayout<SrcT>(Sources, Target, 4, 4, dstStep);
        if (blueFirst) {
            if (swap) RunCMYK<SrcT, DstT, true, true>(row, PixelCount, PixelMask);
            else RunCMYK<SrcT, DstT, false, true>(row, PixelCount, PixelMask);
        } else {
            if (swap) RunCMYK<SrcT, DstT, true, false>(row, PixelCount, PixelMask);
            else RunCMYK<SrcT, DstT, false, false>(row, PixelCount, PixelMask);
        }
    };
    if (sBits == 8 && tBits == 8) run.template operator()<uint8_t, uint8_t>();
    else if (sBits == 8) run.template operator()<uint8_t, uint16_t>();
    else if (tBits == 8) run.template operator()<uint16_t, uint8_t>();
    else run.template operator()<uint16_t, uint16_t>();
}

void TColorManager::RowLabToBGR(TSourceList Sources, void* Target, uint32_t PixelCount, uint8_t PixelMask) {
    RowLab(Sources, Target, PixelCount, PixelMask, true);
}

void TColorManager::RowLabToRGB(TSourceList Sources, void* Target, uint32_t PixelCount, uint8_t PixelMask) {
    RowLab(Sources, Target, PixelCount, PixelMask, false);
}

// 8-bit samples: L* as stored (or divided by 2.55 with cvLabByteRange), a* and b* signed bytes
// (or offset by 128 with cvLabChromaOffset).
// 16-bit samples (swapped first under cvNeedByteSwap) use the 16-bit encodings of the files that
// carry them: L* spans the whole word, 0..65535 for 0..100; a* and b* are signed words in units of
// 1/256 (or, with cvLabChromaOffset, unsigned words offset by 32768). A 16-bit target receives the
// full 16-bit result.
void TColorManager::RowLab(TSourceList Sources, void* Target, uint32_t PixelCount, uint8_t PixelMask,
                           bool blueFirst) {
    const unsigned sBits = sourceBPS_, tBits = targetBPS_;
    if ((sBits != 8 && sBits != 16) || (tBits != 8 && tBits != 16) || PixelCount == 0) return;
    const size_t dstStep = TargetFlags.Contains(cvAlpha) ? 4 : 3;
    const bool byteRange = SourceFlags.Contains(cvLabByteRange);
    const bool chromaOffset = SourceFlags.Contains(cvLabChromaOffset);
    const bool swap = SourceFlags.Contains(cvNeedByteSwap);
    const size_t toBlue = blueFirst ? 0 : 2, toRed = blueFirst ? 2 : 0;

    auto run = [&]<typename SrcT, typename DstT>() {
        constexpr size_t sb = sizeof(SrcT), db = sizeof(DstT);
        const RowLayout row = MakeLayout<SrcT>(Sources, Target, 3, 3, dstStep);
        const size_t ss = row.srcStep * sb, ds = row.dstStep * db;
        ForEachProduced(PixelCount, PixelMask, [&](size_t j, size_t i) {
            const size_t so = j * ss;
            long double l, a, b;
            if constexpr (sb == 1) {
                const uint8_t l8 = row.src[0][so], a8 = row.src[1][so], b8 = row.src[2][so];
                l = byteRange ? l8 / 2.55L : l8;
                a = chromaOffset ? int(a8) - 128 : int8_t(a8);
                b = chromaOffset ? int(b8) - 128 : int8_t(b8);
            } else {
                uint16_t lw = Load<uint16_t>(row.src[0] + so), aw = Load<uint16_t>(row.src[1] + so),
                         bw = Load<uint16_t>(row.src[2] + so);
                if (swap) {
                    lw = SwapWord(lw);
                    aw = SwapWord(aw);
                    bw = SwapWord(bw);
                }
                l = lw * 100.0L / 65535.0L;
                a = (chromaOffset ? int(aw) - 32768 : int(int16_t(aw))) / 256.0L;
                b = (chromaOffset ? int(bw) - 32768 : int(int16_t(bw))) / 256.0L;
            }
            const LabColour c = LabToColour(l, a, b);
            uint8_t* d = row.dst + i * ds;
            if constexpr (db == 1) {
                d[toBlue] = LabByte(c.blue);
                d[1] = LabByte(c.green);
                d[toRed] = LabByte(c.red);
            } else if constexpr (sb == 1) {
                Store<uint16_t>(d + toBlue * 2, WidenByte(LabByte(c.blue)));
                Store<uint16_t>(d + 2, WidenByte(LabByte(c.green)));
                Store<uint16_t>(d + toRed * 2, WidenByte(LabByte(c.red)));
            } else {
                Store<uint16_t>(d + toBlue * 2, LabWord(c.blue));
                Store<uint16_t>(d + 2, LabWord(c.green));
                Store<uint16_t>(d + toRed * 2, LabWord(c.red));
            }
        });
    };
    if (sBits == 8 && tBits == 8) run.template operator()<uint8_t, uint8_t>();
    else if (sBits == 8) run.template operator()<uint8_t, uint16_t>();
    else if (tBits == 8) run.template operator()<uint16_t, uint8_t>();
    else run.template operator()<uint16_t, uint16_t>();
}

void TColorManager::RowChromaToBGR(TSourceList Sources, void* Target, uint32_t PixelCount, uint8_t PixelMask) {
    RowChroma(Sources, Target, PixelCount, PixelMask, true);
}

void TColorManager::RowChromaToRGB(TSourceList Sources, void* Target, uint32_t PixelCount, uint8_t PixelMask) {
    RowChroma(Sources, Target, PixelCount, PixelMask, false);
}

// 16-bit sources are swapped under cvNeedByteSwap. With 16 bits on both sides Photo YCC uses its
// fixed 16-bit formula and YCbCr the luma-weight factors around the centre 32768; both results are
// clamped to 0..65535.
void TColorManager::RowChroma(TSourceList Sources, void* Target, uint32_t PixelCount, uint8_t PixelMask,
                              bool blueFirst) {
    const unsigned sBits = sourceBPS_, tBits = targetBPS_;
    if ((sBits != 8 && sBits != 16) || (tBits != 8 && tBits != 16) || PixelCount == 0) return;
    const size_t dstStep = TargetFlags.Contains(cvAlpha) ? 4 : 3;
    const bool swap = SourceFlags.Contains(cvNeedByteSwap);
    const size_t toBlue = blueFirst ? 0 : 2, toRed = blueFirst ? 2 : 0;
    const int32_t* crRed = crRedTable_.data();
    const int32_t* cbBlue = cbBlueTable_.data();
    const int32_t* crGreen = crGreenTable_.data();
    const int32_t* cbGreen = cbGreenTable_.data();

    auto run = [&]<typename SrcT, typename DstT>() {
        constexpr size_t sb = sizeof(SrcT), db = sizeof(DstT);
        const RowLayout row = MakeLayout<SrcT>(Sources, Target, 3, 3, dstStep);
        const uint8_t *s0 = row.src[0], *s1 = row.src[1], *s2 = row.src[2];
        const size_t ss = row.srcStep * sb, ds = row.dstStep * db;
        uint8_t* dst = row.dst;
        if constexpr (sb == 2 && db == 2) {
            const bool photo = sourceModel_ == cmPhotoYCC;
            const float f1 = chromaFactors_[0], f2 = chromaFactors_[1], f3 = chromaFactors_[2], f4 = chromaFactors_[3];
            ForEachProduced(PixelCount, PixelMask, [&](size_t j, size_t i) {
                const size_t so = j * ss;
                uint16_t yw = Load<uint16_t>(s0 + so), cbw = Load<uint16_t>(s1 + so), crw = Load<uint16_t>(s2 + so);
                if (swap) {
                    yw = SwapWord(yw);
                    cbw = SwapWord(cbw);
                    crw = SwapWord(crw);
                }
                double blue, green, red;
                if (photo) {
                    const float y = float(yw) * 1.3584f, c1 = float(int32_t(cbw) - 40092),
                                c2 = float(int32_t(crw) - 35209);
                    blue = double(c1) * 2.2179 + double(y);
                    green = double(y) - double(c2) * 0.9271435 - double(c1) * 0.4302726;
                    red = double(c2) * 1.8215 + double(y);
                } else {
                    const double y = yw, cb = int32_t(cbw) - 32768, cr = int32_t(crw) - 32768;
                    blue = y + cb * double(f3);
                    green = y - cr * double(f2) - cb * double(f4);
                    red = y + cr * double(f1);
                }
                uint8_t* d = dst + i * ds;
                Store<uint16_t>(d + toBlue * 2, RoundToWord(blue));
                Store<uint16_t>(d + 2, RoundToWord(green));
                Store<uint16_t>(d + toRed * 2, RoundToWord(red));
            });
        } else {
            ForEachProduced(PixelCount, PixelMask, [&](size_t j, size_t i) {
                const size_t so = j * ss;
                uint8_t y, cb, cr;
                if constexpr (sb == 1) {
                    y = s0[so];
                    cb = s1[so];
                    cr = s2[so];
                } else {
                    uint16_t yw = Load<uint16_t>(s0 + so), cbw = Load<uint16_t>(s1 + so),
                             crw = Load<uint16_t>(s2 + so);
                    if (swap) {
                        yw = SwapWord(yw);
                        cbw = SwapWord(cbw);
                        crw = SwapWord(crw);
                    }
                    y = NarrowWord(yw);
                    cb = NarrowWord(cbw);
                    cr = NarrowWord(crw);
                }
                const uint8_t blue = ClampByte(y + cbBlue[cb]);
                const uint8_t green = ClampByte(y + cbGreen[cb] + crGreen[cr]);
                const uint8_t red = ClampByte(y + crRed[cr]);
                uint8_t* d = dst + i * ds;
                if constexpr (db == 1) {
                    d[toBlue] = blue;
                    d[1] = green;
                    d[toRed] = red;
                } else {
                    Store<uint16_t>(d + toBlue * 2, WidenByte(blue));
                    Store<uint16_t>(d + 2, WidenByte(green));
                    Store<uint16_t>(d + toRed * 2, WidenByte(red));
                }
            });
        }
    };
    if (sBits == 8 && tBits == 8) run.template operator()<uint8_t, uint8_t>();
    else if (sBits == 8) run.template operator()<uint8_t, uint16_t>();
    else if (tBits == 8) run.template operator()<uint16_t, uint8_t>();
    else run.template operator()<uint16_t, uint16_t>();
}

void TColorManager::RowGrayWide(TSourceList Sources, void* Target, uint32_t PixelCount, uint8_t PixelMask) {
    const unsigned sBits = sourceBPS_, tBits = targetBPS_;
    if ((sBits != 8 && sBits != 16) || (tBits != 8 && tBits != 16) || PixelCount == 0) return;
    const size_t step = SourceFlags.Contains(cvAlpha) ? 2 : 1;
    const bool swap = SourceFlags.Contains(cvNeedByteSwap);
    const auto* src = static_cast<const uint8_t*>(Sources[0]);
    auto* dst = static_cast<uint8_t*>(Target);

    if (sBits == 8 && tBits == 8) {
        if (step == 1 && PixelMask == 0xFF) {
            std::memmove(dst, src, PixelCount);
            return;
        }
        ForEachProduced(PixelCount, PixelMask, [&](size_t j, size_t i) { dst[i] = src[j * step]; });
    } else if (sBits == 8) {
        ForEachProduced(PixelCount, PixelMask,
                        [&](size_t j, size_t i) { Store<uint16_t>(dst + 2 * i, WidenByte(src[j * step])); });
    } else if (tBits == 8) {
        auto narrow = [&]<bool Swap>() {
            ForEachProduced(PixelCount, PixelMask, [&](size_t j, size_t i) {
                const uint16_t w = Load<uint16_t>(src + 2 * j * step);
                dst[i] = NarrowWord(Swap ? SwapWord(w) : w);
            });
        };
        if (swap) narrow.template operator()<true>(); else narrow.template operator()<false>();
    } else {
        ForEachProduced(PixelCount, PixelMask, [&](size_t j, size_t i) {
            const uint16_t w = Load<uint16_t>(src + 2 * j * step);
            Store<uint16_t>(dst + 2 * i, swap ? SwapWord(w) : w);
        });
    }
}

// Depths that do not divide a byte (3, 5, 6, 7 and 9 to 15) have no packing: such rows are left
// untouched, as the colour converters leave rows of depths they do not handle.
void TColorManager::RowPackedBits(TSourceList Sources, void* Target, uint32_t PixelCount, uint8_t PixelMask) {
    const unsigned s = sourceBPS_, t = targetBPS_;
    if (!PackableDepth(s) || !PackableDepth(t) || PixelCount == 0) return;
    if (s == t && PixelMask == 0xFF) {
        std::memmove(Target, Sources[0], (size_t(s) * PixelCount + 7) / 8);
        return;
    }
    const uint32_t sMax = (1u << s) - 1, tMax = (1u << t) - 1;
    uint8_t scale[256];
    for (uint32_t v = 0; v <= sMax; ++v) scale[v] = uint8_t(ScaleIndex(v, tMax, sMax));

    const PackedReader read(Sources[0], s);
    if (t == 8 && PixelMask == 0xFF) {
        // Unpacking a whole row into bytes: one source byte gives 8 / s pixels.
        const auto* src = static_cast<const uint8_t*>(Sources[0]);
        auto* dst = static_cast<uint8_t*>(Target);
        const unsigned perByte = 8 / s;
        const size_t whole = PixelCount / perByte;
        for (size_t k = 0; k < whole; ++k) {
            const unsigned byte = src[k];
            for (unsigned p = 0; p < perByte; ++p) dst[k * perByte + p] = scale[(byte >> (8 - s - p * s)) & sMax];
        }
        for (size_t i = whole * perByte; i < PixelCount; ++i) dst[i] = scale[read(i)];
        return;
    }
    const PackedWriter write(Target, t);
    ForEachProduced(PixelCount, PixelMask, [&](size_t j, size_t i) { write(i, scale[read(j)]); });
}

void TColorManager::RowIndexWords(TSourceList Sources, void* Target, uint32_t PixelCount, uint8_t PixelMask) {
    if (PixelCount == 0) return;
    const auto* src = static_cast<const uint8_t*>(Sources[0]);
    auto* dst = static_cast<uint8_t*>(Target);
    if (SourceFlags.Contains(cvNeedByteSwap)) {
        ForEachProduced(PixelCount, PixelMask,
                        [&](size_t j, size_t i) { Store<uint16_t>(dst + 2 * i, SwapWord(Load<uint16_t>(src + 2 * j))); });
    } else if (PixelMask == 0xFF) {
        std::memmove(dst, src, size_t(PixelCount) * 2);
    } else {
        ForEachProduced(PixelCount, PixelMask, [&](size_t j, size_t i) { std::memcpy(dst + 2 * i, src + 2 * j, 2); });
    }
}

void TColorManager::RowIndexNarrow(TSourceList Sources, void* Target, uint32_t PixelCount, uint8_t PixelMask) {
    const unsigned t = targetBPS_;
    if (!PackableDepth(t) || PixelCount == 0) return;
    const uint32_t tMax = (1u << t) - 1;
    const bool swap = SourceFlags.Contains(cvNeedByteSwap);
    const auto* src = static_cast<const uint8_t*>(Sources[0]);
    const PackedWriter write(Target, t);
    ForEachProduced(PixelCount, PixelMask, [&](size_t j, size_t i) {
        uint16_t w = Load<uint16_t>(src + 2 * j);
        if (swap) w = SwapWord(w);
        write(i, ScaleIndex(w, tMax, 65535));
    });
}

void TColorManager::RowIndexWiden(TSourceList Sources, void* Target, uint32_t PixelCount, uint8_t PixelMask) {
    const unsigned s = sourceBPS_;
    if (!PackableDepth(s) || PixelCount == 0) return;
    const uint32_t sMax = (1u << s) - 1;
    const bool swap = SourceFlags.Contains(cvNeedByteSwap);
    uint16_t scale[256];
    for (uint32_t v = 0; v <= sMax; ++v) {
        const auto w = uint16_t(ScaleIndex(v, 65535, sMax));
        scale[v] = swap ? SwapWord(w) : w;
    }
    const PackedReader read(Sources[0], s);
    auto* dst = static_cast<uint8_t*>(Target);
    ForEachProduced(PixelCount, PixelMask, [&](size_t j, size_t i) { Store<uint16_t>(dst + 2 * i, scale[read(j)]); });
}
