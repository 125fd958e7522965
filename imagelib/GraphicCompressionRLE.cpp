// The run-length decoders and the Targa encoder.
#include <algorithm>
#include <cstring>

#include "GraphicCompression.h"

namespace {

// A bounded reader over the packed bytes.
struct TSourceCursor {
    const uint8_t* pos;
    const uint8_t* end;

    TSourceCursor(const void* source, int32_t length)
        : pos(static_cast<const uint8_t*>(source)), end(pos + (length > 0 && source ? length : 0)) {}
    size_t Left() const { return size_t(end - pos); }
    bool Empty() const { return pos >= end; }
    uint8_t Byte() { return *pos++; }
};

// A bounded writer over the target.
struct TTargetCursor {
    uint8_t* pos;
    uint8_t* end;

    TTargetCursor(void* target, int64_t length)
        : pos(static_cast<uint8_t*>(target)), end(pos + (length > 0 && target ? length : 0)) {}
    size_t Left() const { return size_t(end - pos); }
    bool Full() const { return pos >= end; }
};

size_t Clamp(size_t n, size_t limit) { return n < limit ? n : limit; }

// Block moves and fills that accept an empty range at a null pointer.
void CopyBytes(uint8_t* target, const uint8_t* source, size_t n) {
    if (n > 0) std::memcpy(target, source, n);
}
void FillBytes(uint8_t* target, uint8_t value, size_t n) {
    if (n > 0) std::memset(target, value, n);
}

// Bytes of one Targa pixel for a decoded depth; 0 for an unknown depth.
uint32_t TargaPixelBytes(uint32_t depth) {
    switch (depth) {
        case 8: return 1;
        case 15:
        case 16: return 2;
        case 24: return 3;
        case 32: return 4;
        default: return 0;
    }
}

// n copies of the b-byte pixel `value` at `target`.
void FillPixels(uint8_t* target, const uint8_t* value, uint32_t b, size_t n) {
    switch (b) {
        case 1:
            FillBytes(target, value[0], n);
            break;
        case 4: {
            uint32_t word;
            std::memcpy(&word, value, 4);
            for (size_t i = 0; i < n; ++i) std::memcpy(target + 4 * i, &word, 4);
            break;
        }
        default:
            for (size_t i = 0; i < n; ++i) std::memcpy(target + b * i, value, b);
            break;
    }
}

}  // namespace

// --- Targa ---------------------------------------------------------------------------------

void TTargaRLEDecoder::DecodeBlock(void*& Source, void*& Target, int32_t SourceLength, int32_t TargetLength) {
    const uint32_t b = TargaPixelBytes(PixelDepth_);
    if (b == 0) return;
    TSourceCursor src(Source, SourceLength);
    TTargetCursor dst(Target, int64_t(TargetLength > 0 ? TargetLength : 0) * b);
    while (!dst.Full() && !src.Empty()) {
        const uint8_t h = src.Byte();
        const size_t n = size_t(h & 127) + 1;
        const size_t room = dst.Left() / b;
        if (h & 128) {
            if (src.Left() < b) {
                src.pos = src.end;
                break;
            }
            FillPixels(dst.pos, src.pos, b, Clamp(n, room));
            src.pos += b;
            dst.pos += Clamp(n, room) * b;
        } else {
            const size_t available = src.Left() / b;
            const size_t count = Clamp(Clamp(n, room), available);
            CopyBytes(dst.pos, src.pos, count * b);
            dst.pos += count * b;
            if (n > available) {
                src.pos = src.end;
                break;
            }
            src.pos += n * b;
        }
    }
    Source = const_cast<uint8_t*>(src.pos);
}

size_t TTargaRLEDecoder::MaxEncodedSize(uint32_t Count) const {
    // A one-pixel literal costs a header byte per pixel; runs and longer literals cost less.
    const size_t b = (PixelDepth_ + 1) / 8;
    return size_t(Count) * (b + 1);
}

void TTargaRLEDecoder::EncodeBlock(void* Source, void* Target, uint32_t Count, uint32_t& WrittenBytes) {
    const size_t b = (PixelDepth_ + 1) / 8;
    WrittenBytes = 0;
    if (b == 0) return;
    const uint8_t* src = static_cast<const uint8_t*>(Source);
    uint8_t* dst = static_cast<uint8_t*>(Target);
    auto same = [b](const uint8_t* x, const uint8_t* y) { return std::memcmp(x, y, b) == 0; };
    size_t remaining = Count;
    while (remaining > 0) {
        // d: pixels before the first pair of equal neighbours; s: pixels equal to the first. A
        // packet holds at most 128 pixels, so neither scan looks further than that.
        size_t d;
        if (remaining == 1) {
            d = 1;
        } else {
            d = 0;
            while (d < 128 && d + 1 < remaining && !same(src + d * b, src + (d + 1) * b)) ++d;
            if (d + 1 == remaining) d = remaining;
        }
        size_t s = 1;
        while (s < 128 && s < remaining && same(src, src + s * b)) ++s;
        d = std::min<size_t>(d, 128);
        s = std::min<size_t>(s, 128);
        if (d > 0) {
            *dst++ = uint8_t(d - 1);
            std::memcpy(dst, src, d * b);
            dst += d * b;
            src += d * b;
            remaining -= d;
            WrittenBytes += uint32_t(d * b + 1);
        }
        if (s > 1) {
            *dst++ = uint8_t((s - 1) | 128);
            std::memcpy(dst, src + (s - 1) * b, b);
            dst += b;
            src += s * b;
            remaining -= s;
            WrittenBytes += uint32_t(b + 1);
        }
    }
}

// --- PackBits ------------------------------------------------------------------------------

void TPackbitsRLEDecoder::DecodeBlock(void*& Source, void*& Target, int32_t SourceLength, int32_t TargetLength) {
    TSourceCursor src(Source, SourceLength);
    TTargetCursor dst(Target, TargetLength);
    while (!dst.Full() && !src.Empty()) {
        const int8_t c = int8_t(src.Byte());
        if (c >= 0) {
            const size_t n = Clamp(Clamp(size_t(c) + 1, dst.Left()), src.Left());
            CopyBytes(dst.pos, src.pos, n);
            dst.pos += n;
            src.pos += n;
        } else if (c != -128) {
            if (src.Empty()) break;
            const size_t n = Clamp(size_t(1 - c), dst.Left());
            FillBytes(dst.pos, src.Byte(), n);
            dst.pos += n;
        }
    }
}

// --- PCX -----------------------------------------------------------------------------------

void TPCXRLEDecoder::DecodeBlock(void*& Source, void*& Target, int32_t SourceLength, int32_t TargetLength) {
    TSourceCursor src(Source, SourceLength);
    TTargetCursor dst(Target, TargetLength);
    while (!dst.Full() && !src.Empty()) {
        const uint8_t v = src.Byte();
        if (v >= 192) {
            if (src.Empty()) break;
            const size_t n = Clamp(v & 63u, dst.Left());
            FillBytes(dst.pos, src.Byte(), n);
            dst.pos += n;
        } else {
            *dst.pos++ = v;
        }
    }
}

// --- SGI -----------------------------------------------------------------------------------

void TSGIRLEDecoder::DecodeBlock(void*& Source, void*& Target, int32_t SourceLength, int32_t TargetLength) {
    TSourceCursor src(Source, SourceLength);
    TTargetCursor dst(Target, TargetLength);
    if (SampleDepth_ == 16) {
        while (src.Left() >= 2) {
            const uint16_t value = uint16_t(src.pos[0] << 8 | src.pos[1]);
            src.pos += 2;
            const size_t n = value & 127u;
            if (n == 0) break;
            const size_t room = dst.Left() / 2;
            if (value & 128) {
                const size_t available = src.Left() / 2;
                const size_t count = Clamp(Clamp(n, room), available);
                CopyBytes(dst.pos, src.pos, count * 2);
                dst.pos += count * 2;
                src.pos += count * 2;
                if (count < n) break;
            } else {
                if (src.Left() < 2) break;
                const size_t count = Clamp(n, room);
                FillPixels(dst.pos, src.pos, 2, count);
                dst.pos += count * 2;
                src.pos += 2;
                if (count < n) break;
            }
        }
        return;
    }
    while (!src.Empty()) {
        const uint8_t c = src.Byte();
        const size_t n = c & 127u;
        if (n == 0) break;
        if (c & 128) {
            const size_t count = Clamp(Clamp(n, dst.Left()), src.Left());
            CopyBytes(dst.pos, src.pos, count);
            dst.pos += count;
            src.pos += count;
            if (count < n) break;
        } else {
            if (src.Empty()) break;
            const size_t count = Clamp(n, dst.Left());
            FillBytes(dst.pos, src.Byte(), count);
            dst.pos += count;
            if (count < n) break;
        }
    }
}

// --- Dr. Halo CUT --------------------------------------------------------------------------

void TCUTRLEDecoder::DecodeBlock(void*& Source, void*& Target, int32_t SourceLength, int32_t TargetLength) {
    TSourceCursor src(Source, SourceLength);
    TTargetCursor dst(Target, TargetLength);
    // The row's byte count is not needed: the row ends at its 0 count.
    src.pos += Clamp(2, src.Left());
    while (!src.Empty()) {
        const uint8_t c = src.Byte();
        if (c == 0) break;
        const size_t n = c & 127u;
        if (c & 128) {
            if (src.Empty()) break;
            const uint8_t value = src.Byte();
            const size_t count = Clamp(n, dst.Left());
            FillBytes(dst.pos, value, count);
            dst.pos += count;
        } else {
            const size_t taken = Clamp(n, src.Left());
            const size_t count = Clamp(taken, dst.Left());
            CopyBytes(dst.pos, src.pos, count);
            dst.pos += count;
            src.pos += taken;
        }
    }
    Source = const_cast<uint8_t*>(src.pos);
}

// --- Paint Shop Pro ------------------------------------------------------------------------

void TPSPRLEDecoder::DecodeBlock(void*& Source, void*& Target, int32_t SourceLength, int32_t TargetLength) {
    TSourceCursor src(Source, SourceLength);
    TTargetCursor dst(Target, TargetLength);
    while (!src.Empty() && !dst.Full()) {
        const uint8_t c = src.Byte();
        if (c < 128) {
            const size_t count = Clamp(Clamp(c, dst.Left()), src.Left());
            CopyBytes(dst.pos, src.pos, count);
            dst.pos += count;
            src.pos += count;
            if (count < c) break;
        } else {
            if (src.Empty()) break;
            const size_t n = size_t(c) - 128;
            const size_t count = Clamp(n, dst.Left());
            FillBytes(dst.pos, src.Byte(), count);
            dst.pos += count;
        }
    }
}

// --- Wavefront RLA -------------------------------------------------------------------------

void TRLADecoder::DecodeBlock(void*& Source, void*& Target, int32_t SourceLength, int32_t TargetLength) {
    TSourceCursor src(Source, SourceLength);
    TTargetCursor dst(Target, TargetLength);
    while (!src.Empty() && !dst.Full()) {
        const int8_t c = int8_t(src.Byte());
        if (c >= 0) {
            if (src.Empty()) break;
            const size_t count = Clamp(size_t(c) + 1, dst.Left());
            FillBytes(dst.pos, src.Byte(), count);
            dst.pos += count;
        } else {
            const size_t n = size_t(-int(c));
            const size_t count = Clamp(Clamp(n, dst.Left()), src.Left());
            CopyBytes(dst.pos, src.pos, count);
            dst.pos += count;
            src.pos += count;
            if (count < n) break;
        }
    }
}
