#include "TargaGraphic.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "GraphicCompression.h"

using namespace GraphicStrings;

const TGraphicClass TTargaGraphic::Class{"TTargaGraphic", &TVaderezUvGraphic::Class,
                                         &CreateGraphicInstance<TTargaGraphic>, &TTargaGraphic::AcceptsStream};

namespace {

constexpr uint8_t DescriptorTopDown = 0x20;
constexpr int32_t MaxTargaSide = 65535;
constexpr int32_t EncodeChunk = 1024;  // pixels per EncodeBlock call, a multiple of the longest packet

bool IsGreyType(uint8_t imageType) { return imageType == 3 || imageType == 11; }
bool IsRawType(uint8_t imageType) { return imageType >= 1 && imageType <= 3; }
bool IsRLEType(uint8_t imageType) { return imageType >= 9 && imageType <= 11; }

// Bytes of one stored pixel for the depths the reader knows, 0 for any other.
uint32_t PixelBytes(uint8_t depth) {
    switch (depth) {
    case 8: return 1;
    case 15:
    case 16: return 2;
    case 24: return 3;
    case 32: return 4;
    default: return 0;
    }
}

bool IsKnownEntrySize(uint8_t size) { return size == 15 || size == 16 || size == 24 || size == 32; }
// Bytes of one colour map entry: whole bytes for the given bit count (2, 2, 3, 4 for the usual sizes).
uint32_t EntryBytes(uint8_t size) { return (uint32_t(size) + 7) / 8; }

uint16_t WordAt(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
void PutWord(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

// The part of a run-length packet that ran past the end of a row; it fills the next rows first.
struct TPacketCarry {
    uint32_t Count = 0;             // pixels still to be produced
    bool Run = false;               // a repeated pixel (Pixel) or literal pixels (Literal from Offset)
    std::array<uint8_t, 4> Pixel{};
    std::array<uint8_t, 128 * 4> Literal{};
    uint32_t Offset = 0;            // pixels of Literal already produced

    // Writes up to `room` carried pixels of `b` bytes to `target`; returns how many.
    uint32_t Produce(uint8_t* target, uint32_t room, uint32_t b) {
        const uint32_t n = std::min(Count, room);
        if (Run) {
            for (uint32_t i = 0; i < n; ++i) std::memcpy(target + size_t(i) * b, Pixel.data(), b);
        } else {
            std::memcpy(target, Literal.data() + size_t(Offset) * b, size_t(n) * b);
            Offset += n;
        }
        Count -= n;
        return n;
    }
};

// After the decoder produced `wanted` pixels from the packets in buffer[0, consumed), finds the last
// of those packets and keeps the pixels it holds beyond `wanted`. A packet cut short by the end of
// the data keeps only the whole pixels that were read.
void KeepPacketSurplus(const uint8_t* buffer, size_t consumed, uint32_t wanted, uint32_t b, TPacketCarry& carry) {
    size_t pos = 0, lastStart = 0;
    uint64_t produced = 0, before = 0;
    uint32_t lastCount = 0;
    while (pos < consumed) {
        const uint8_t h = buffer[pos];
        lastStart = pos;
        lastCount = uint32_t(h & 127) + 1;
        before = produced;
        produced += lastCount;
        pos += 1 + ((h & 128) ? b : size_t(lastCount) * b);
    }
    if (produced <= wanted) return;
    const uint32_t skip = uint32_t(wanted - before);  // pixels of the last packet already in the row
    const uint8_t* data = buffer + lastStart + 1;
    if (buffer[lastStart] & 128) {
        if (lastStart + 1 + b > consumed) return;  // the value itself is missing
        carry.Run = true;
        std::memcpy(carry.Pixel.data(), data, b);
        carry.Count = lastCount - skip;
    } else {
        const size_t present = (consumed - lastStart - 1) / b;  // whole pixels of the packet read
        if (present <= skip) return;
        carry.Run = false;
        carry.Count = uint32_t(std::min<size_t>(present, lastCount) - skip);
        carry.Offset = 0;
        std::memcpy(carry.Literal.data(), data + size_t(skip) * b, size_t(carry.Count) * b);
    }
}

// Restores a stream's position when the scope ends, also when an exception passes.
class TPositionKeeper {
public:
    explicit TPositionKeeper(TStream& stream) : stream_(stream), position_(stream.Position()) {}
    ~TPositionKeeper() { stream_.SetPosition(position_); }
    TPositionKeeper(const TPositionKeeper&) = delete;
    TPositionKeeper& operator=(const TPositionKeeper&) = delete;

private:
    TStream& stream_;
    int64_t position_;
};

}  // namespace

// ---------------------------------------------------------------------------
// TTargaHeader

TTargaHeader TTargaHeader::Read(TStream& stream) {
    uint8_t b[Size];
    stream.ReadBuffer(b, Size);
    TTargaHeader h;
    h.IDLength = b[0];
    h.ColorMapType = b[1];
    h.ImageType = b[2];
    h.ColorMapFirst = WordAt(b + 3);
    h.ColorMapLength = WordAt(b + 5);
    h.ColorMapEntrySize = b[7];
    h.XOrigin = WordAt(b + 8);
    h.YOrigin = WordAt(b + 10);
    h.Width = WordAt(b + 12);
    h.Height = WordAt(b + 14);
    h.PixelDepth = b[16];
    h.Descriptor = b[17];
    return h;
}

void TTargaHeader::Write(TStream& stream) const {
    uint8_t b[Size];
    b[0] = IDLength;
    b[1] = ColorMapType;
    b[2] = ImageType;
    PutWord(b + 3, ColorMapFirst);
    PutWord(b + 5, ColorMapLength);
    b[7] = ColorMapEntrySize;
    PutWord(b + 8, XOrigin);
    PutWord(b + 10, YOrigin);
    PutWord(b + 12, Width);
    PutWord(b + 14, Height);
    b[16] = PixelDepth;
    b[17] = Descriptor;
    stream.WriteBuffer(b, Size);
}

// ---------------------------------------------------------------------------
// Reading

bool TTargaGraphic::AcceptsStream(TStream& stream) {
    TPositionKeeper keeper(stream);
    if (stream.Remaining() <= TTargaHeader::Size) return false;
    const TTargaHeader h = TTargaHeader::Read(stream);
    const bool knownType = h.ImageType == 0 || IsRawType(h.ImageType) || IsRLEType(h.ImageType);
    return knownType && h.ColorMapType <= 1 && IsKnownEntrySize(h.ColorMapEntrySize) && PixelBytes(h.PixelDepth) != 0;
}

bool TTargaGraphic::ReadImageInfo(TStream& stream, uint32_t index) {
    TVaderezUvGraphic::ReadImageInfo(stream, index);
    const TTargaHeader h = TTargaHeader::Read(stream);
    TImageProperties& p = ImageProperties;
    p.ImageWidth = h.Width;
    p.ImageHeight = h.Height;
    p.SampleBits = 8;
    switch (h.PixelDepth) {
    case 8:
        p.ColorModel = IsGreyType(h.ImageType) ? cmGray : cmIndexed;
        p.SampleCount = 1;
        break;
    case 15:
    case 16:
        p.ColorModel = cmRGB;
        p.SampleBits = 5;
        p.SampleCount = 3;
        break;
    case 24:
        p.ColorModel = cmRGB;
        p.SampleCount = 3;
        break;
    case 32:
        p.ColorModel = cmRGBA;
        p.SampleCount = 4;
        break;
    default: break;  // unknown depth: no samples, the colour manager refuses it
    }
    p.PixelBits = uint8_t(p.SampleCount * p.SampleBits);
    p.CompressionKind = IsRLEType(h.ImageType) ? ckRLE : ckNone;
    return true;
}

void TTargaGraphic::LoadFromStream(TStream& stream) {
    FreeImage();
    const int64_t start = stream.Position();
    ImageStart = uint32_t(start);
    if (!ReadImageInfo(stream, 0)) RaiseInvalidImageFmt(gesInvalidImage, {gesTargaName});
    stream.SetPosition(start);
    const TImageProperties& p = ImageProperties;
    ProgressBand = Rect(0, 0, p.ImageWidth, 1);
    Progress(this, psStarting, 0, false, ProgressBand, gesPreparing);

    const TTargaHeader h = TTargaHeader::Read(stream);
    const bool topDown = (h.Descriptor & DescriptorTopDown) != 0;
    stream.Seek(h.IDLength, soCurrent);

    ColorManager.SetSourceSampleCount(p.SampleCount);  // an unknown pixel depth (0 samples) raises here
    ColorManager.SetTargetSampleCount(p.SampleCount);
    ColorManager.SetSourceModel(p.ColorModel);
    ColorManager.SourceFlags = TConversionOptions{};
    ColorManager.SetTargetModel(cmBGR);
    ColorManager.SetSourceSampleBits(p.SampleBits);
    ColorManager.SetTargetSampleBits(p.SampleBits);
    SetPixelFormat(ColorManager.QueryPixelFormat(true));

    if (h.ColorMapType == 1 || IsGreyType(h.ImageType)) {
        const int64_t mapBytes = int64_t(h.ColorMapLength) * EntryBytes(h.ColorMapEntrySize);
        if (IsGreyType(h.ImageType)) {
            SetPalette(ColorManager.BuildGrayPalette(false));
            // A colour map of a grey image is not used; the pixels start after it.
            if (h.ColorMapType == 1) stream.Seek(mapBytes, soCurrent);
        } else if (!IsKnownEntrySize(h.ColorMapEntrySize)) {
            // No colours can be taken from such a map: an image of indices cannot be shown.
            if (p.ColorModel == cmIndexed) RaiseInvalidImageFmt(gesInvalidImage, {gesTargaName});
            stream.Seek(mapBytes, soCurrent);
        } else {
            if (stream.Remaining() < mapBytes) throw EReadError();
            // Map entry k is colour first + k; only the entries that land below 256 are kept.
            const uint32_t first = h.ColorMapFirst;
            const uint32_t count = std::min<uint32_t>(first + h.ColorMapLength, 256);
            const uint32_t kept = count > first ? count - first : 0;
            const uint32_t entryBytes = EntryBytes(h.ColorMapEntrySize);
            std::vector<uint8_t> map(size_t(kept) * entryBytes);
            stream.ReadBuffer(map.data(), int64_t(map.size()));
            stream.Seek(mapBytes - int64_t(map.size()), soCurrent);
            if (entryBytes == 2) {
                std::array<uint8_t, 256 * 3> rgb{};
                for (uint32_t k = 0; k < kept; ++k) {
                    const uint16_t w = WordAt(&map[size_t(k) * 2]);
                    uint8_t* e = &rgb[size_t(first + k) * 3];
                    e[0] = uint8_t(((w >> 10) & 31) * 8);
                    e[1] = uint8_t(((w >> 5) & 31) * 8);
                    e[2] = uint8_t((w & 31) * 8);
                }
                SetPalette(ColorManager.BuildColorPalette({rgb.data()}, plBytes3, count, false));
            } else {
                std::array<uint8_t, 256 * 4> bgr{};
                std::copy(map.begin(), map.end(), bgr.begin() + ptrdiff_t(first) * entryBytes);
                SetPalette(ColorManager.BuildColorPalette({bgr.data()}, entryBytes == 3 ? plBytes3 : plBytes4,
                                                          count, true));
            }
        }
    }

    const int32_t width = p.ImageWidth, height = p.ImageHeight;
    const uint32_t b = PixelBytes(h.PixelDepth);
    const size_t rowBytes = size_t(width) * b;
    // Data that cannot hold the image is refused before the bitmap is allocated: uncompressed rows
    // must all be there; run-length data must at least hold the densest packing (one run of 128
    // pixels per 1 + b bytes). Data between that and a whole image loads with the missing rest black.
    const uint64_t pixels = uint64_t(width) * uint64_t(height);
    const uint64_t left = uint64_t(stream.Remaining());
    if ((IsRawType(h.ImageType) && left < pixels * b) || (IsRLEType(h.ImageType) && left < (pixels + 127) / 128 * (1 + b)))
        throw EReadError();
    SetSize(width, height);

    Progress(this, psEnding, 0, false, ProgressBand, "");
    Progress(this, psStarting, 0, false, ProgressBand, gesTransfering);
    auto targetRow = [&](int32_t i) { return ScanLine(topDown ? i : height - 1 - i); };
    auto rowDone = [&](int32_t i) {
        Progress(this, psRunning, uint8_t(MulDiv(i, 100, height)), true, ProgressBand, "");
        OffsetRect(ProgressBand, 0, 1);
    };

    if (IsRawType(h.ImageType)) {
        for (int32_t i = 0; i < height; ++i) {
            stream.ReadBuffer(targetRow(i), int64_t(rowBytes));
            rowDone(i);
        }
    } else if (IsRLEType(h.ImageType)) {
        TTargaRLEDecoder decoder(h.PixelDepth);
        // A row's packets take at most twice the row's bytes; a last packet running on into the
        // next row adds at most 127 pixels.
        const size_t bufferSize = 2 * rowBytes + 129 * size_t(b);
        std::vector<uint8_t> buffer(bufferSize);
        int64_t position = stream.Position();
        const int64_t end = position + stream.Remaining();
        TPacketCarry carry;
        for (int32_t i = 0; i < height; ++i) {
            uint8_t* row = targetRow(i);
            uint32_t done = carry.Count ? carry.Produce(row, uint32_t(width), b) : 0;
            if (done < uint32_t(width) && position < end) {
                const int64_t got = stream.Read(buffer.data(), std::min<int64_t>(int64_t(bufferSize), end - position));
                void* source = buffer.data();
                void* target = row + size_t(done) * b;
                const uint32_t wanted = uint32_t(width) - done;
                decoder.DecodeBlock(source, target, int32_t(got), int32_t(wanted));
                const size_t consumed = size_t(static_cast<uint8_t*>(source) - buffer.data());
                KeepPacketSurplus(buffer.data(), consumed, wanted, b, carry);
                position += int64_t(consumed);
                if (int64_t(consumed) != got) stream.SetPosition(position);
            }
            rowDone(i);
        }
    }
    Progress(this, psEnding, 0, false, ProgressBand, "");
}

// ---------------------------------------------------------------------------
// Writing

void TTargaGraphic::SaveToStream(TStream& stream) { SaveToStream(stream, true); }

void TTargaGraphic::SaveToStream(TStream& stream, bool compressed) { WriteBitmap(*this, stream, compressed, ProgressBand); }

void TTargaGraphic::SaveBitmapToStream(TBitmap& bitmap, TStream& stream, bool compressed) {
    TRect band;
    WriteBitmap(bitmap, stream, compressed, band);
}

void TTargaGraphic::WriteBitmap(TBitmap& bitmap, TStream& stream, bool compressed, TRect& band) {
    band = Rect(0, 0, bitmap.Width(), 1);
    bitmap.Progress(&bitmap, psStarting, 0, false, band, gesPreparing);
    if (bitmap.PixelFormat() == pf1bit || bitmap.PixelFormat() == pf4bit) bitmap.SetPixelFormat(pf8bit);
    const TPixelFormat format = bitmap.PixelFormat();
    const uint32_t b = uint32_t(bitmap.BitsPerPixel()) / 8;  // 15 and 16 bits: 2; the device format: 4
    if (bitmap.Empty()) return;
    const int32_t width = bitmap.Width(), height = bitmap.Height();
    if (width > MaxTargaSide || height > MaxTargaSide) RaiseInvalidImageFmt(gesTargaTooLarge, {width, height});

    TTargaHeader h;
    h.ColorMapType = b == 1 ? 1 : 0;
    h.ImageType = compressed ? (b == 1 ? 9 : 10) : (b == 1 ? 1 : 2);
    h.ColorMapLength = 256;
    h.ColorMapEntrySize = 24;
    h.Width = uint16_t(width);
    h.Height = uint16_t(height);
    h.PixelDepth = uint8_t(b * 8);
    // Rows are written from the top down, which is what this flag says, whatever the bitmap's memory
    // order and also for a single row.
    h.Descriptor = DescriptorTopDown;
    h.Write(stream);
    if (b == 1) {
        std::array<uint8_t, 256 * 3> map{};
        if (const TPalette* palette = bitmap.Palette()) {
            const int count = std::min(palette->Count(), 256);
            for (int i = 0; i < count; ++i) {
                const TPaletteEntry& e = palette->Entry(i);
                map[size_t(i) * 3] = e.peBlue;
                map[size_t(i) * 3 + 1] = e.peGreen;
                map[size_t(i) * 3 + 2] = e.peRed;
            }
        }
        stream.WriteBuffer(map.data(), int64_t(map.size()));
    }
    bitmap.Progress(&bitmap, psEnding, 0, false, band, "");
    bitmap.Progress(&bitmap, psStarting, 0, false, band, gesTransfering);

    const size_t rowBytes = size_t(width) * b;
    TTargaRLEDecoder encoder(b * 8);
    std::vector<uint8_t> packed(compressed ? encoder.MaxEncodedSize(uint32_t(width)) : 0);
    std::vector<uint8_t> converted(format == pf16bit ? rowBytes : 0);
    for (int32_t r = 0; r < height; ++r) {
        uint8_t* row = bitmap.ScanLine(r);
        if (format == pf16bit) {
            // 5-6-5 words become the 5-5-5 words of the file (green loses its lowest bit).
            const uint8_t* s = row;
            uint8_t* d = converted.data();
            for (int32_t x = 0; x < width; ++x, s += 2, d += 2) {
                const uint16_t w = WordAt(s);
                PutWord(d, uint16_t(((w >> 1) & 0x7FE0) | (w & 0x1F)));
            }
            row = converted.data();
        }
        if (compressed) {
            // The encoder's search for runs looks at every pixel left in its block, so it is given
            // the row in blocks of EncodeChunk pixels to keep its time linear in the width.
            size_t total = 0;
            for (int32_t x = 0; x < width; x += EncodeChunk) {
                const uint32_t count = uint32_t(std::min(EncodeChunk, width - x));
                uint32_t written = 0;
                encoder.EncodeBlock(row + size_t(x) * b, packed.data() + total, count, written);
                total += written;
            }
            stream.WriteBuffer(packed.data(), int64_t(total));
        } else {
            stream.WriteBuffer(row, int64_t(rowBytes));
        }
        bitmap.Progress(&bitmap, psRunning, 0, false, band, "");
        OffsetRect(band, 0, 1);
    }
    bitmap.Progress(&bitmap, psEnding, 0, false, band, "");
}
