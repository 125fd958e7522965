#include "Metafile.h"

#include <algorithm>
#include <cstring>

const TGraphicClass TMetafile::Class{"TMetafile", &TGraphic::Class, &CreateGraphicInstance<TMetafile>, nullptr};

namespace {

constexpr const char* SInvalidMetafile = "Metafile is not valid";
constexpr uint32_t PlaceableKey = 0x9AC6CDD7u;
constexpr uint32_t EmfSignature = 0x464D4520u;  // " EMF"
constexpr int32_t HundredthMMPerInch = 2540;
constexpr int32_t ScreenLogPixels = 96;

[[noreturn]] void InvalidMetafile() { throw EInvalidGraphic(SInvalidMetafile); }

inline uint16_t Word(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline int16_t SWord(const uint8_t* p) { return int16_t(Word(p)); }
inline uint32_t Long(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline int32_t SLong(const uint8_t* p) { return int32_t(Long(p)); }

// a * b / c rounded to nearest (halves away from zero) in 64 bits; the result must fit 0..2^31-1.
int32_t ScaleSize(int64_t a, int64_t b, int64_t c) {
    if (c <= 0 || a < 0 || b < 0) InvalidMetafile();
    const int64_t value = (a * b + c / 2) / c;
    if (value > INT32_MAX) InvalidMetafile();
    return int32_t(value);
}

// Reads `count` bytes of the stream into `data` after the `prefix` bytes already there.
void ReadRest(TStream& stream, std::vector<uint8_t>& data, int64_t total) {
    const size_t have = data.size();
    if (total < int64_t(have) || total - int64_t(have) > stream.Remaining()) InvalidMetafile();
    data.resize(size_t(total));
    stream.ReadBuffer(data.data() + have, total - int64_t(have));
}

}  // namespace

void TMetafile::LoadFromStream(TStream& stream) {
    const int64_t start = stream.Position();
    uint8_t head[4];
    stream.ReadBuffer(head, 4);
    stream.SetPosition(start);
    if (Long(head) == 1)
        LoadEnhanced(stream, start);
    else
        LoadWindows(stream, start);
}

void TMetafile::LoadEnhanced(TStream& stream, int64_t) {
    std::vector<uint8_t> data(88);
    stream.ReadBuffer(data.data(), 88);
    const uint8_t* h = data.data();
    const uint32_t headerSize = Long(h + 4);
    const uint32_t bytes = Long(h + 48);
    if (Long(h + 40) != EmfSignature || headerSize < 88 || bytes < headerSize) InvalidMetafile();
    const int32_t boundsLeft = SLong(h + 8), boundsTop = SLong(h + 12), boundsRight = SLong(h + 16),
                  boundsBottom = SLong(h + 20);
    const int32_t frameLeft = SLong(h + 24), frameTop = SLong(h + 28), frameRight = SLong(h + 32),
                  frameBottom = SLong(h + 36);
    const int32_t deviceX = SLong(h + 72), deviceY = SLong(h + 76), mmX = SLong(h + 80), mmY = SLong(h + 84);
    ReadRest(stream, data, bytes);

    const int64_t frameWidth = int64_t(frameRight) - frameLeft, frameHeight = int64_t(frameBottom) - frameTop;
    int32_t width, height;
    if (deviceX > 0 && deviceY > 0 && mmX > 0 && mmY > 0) {
        width = ScaleSize(frameWidth, deviceX, int64_t(mmX) * 100);
        height = ScaleSize(frameHeight, deviceY, int64_t(mmY) * 100);
    } else {
        // No reference device: the bounds, inclusive, in device pixels.
        width = ScaleSize(int64_t(boundsRight) - boundsLeft + 1, 1, 1);
        height = ScaleSize(int64_t(boundsBottom) - boundsTop + 1, 1, 1);
    }
    if (frameWidth < 0 || frameHeight < 0 || frameWidth > INT32_MAX || frameHeight > INT32_MAX) InvalidMetafile();
    data_ = std::move(data);
    width_ = width;
    height_ = height;
    mmWidth_ = int32_t(frameWidth);
    mmHeight_ = int32_t(frameHeight);
    inch_ = 0;
    enhanced_ = true;
}

void TMetafile::LoadWindows(TStream& stream, int64_t) {
    std::vector<uint8_t> data(18);
    stream.ReadBuffer(data.data(), 4);
    size_t metaStart = 0;
    int32_t inch = 0, boxWidth = 0, boxHeight = 0;
    if (Long(data.data()) == PlaceableKey) {
        data.resize(22 + 18);
        stream.ReadBuffer(data.data() + 4, 22 + 18 - 4);
        const uint8_t* p = data.data();
        uint16_t checksum = 0;
        for (int i = 0; i < 10; ++i) checksum ^= Word(p + 2 * i);
        if (checksum != Word(p + 20)) InvalidMetafile();
        inch = Word(p + 14);
        boxWidth = int32_t(SWord(p + 10)) - SWord(p + 6);
        boxHeight = int32_t(SWord(p + 12)) - SWord(p + 8);
        if (inch == 0 || boxWidth < 0 || boxHeight < 0) InvalidMetafile();
        metaStart = 22;
    } else {
        stream.ReadBuffer(data.data() + 4, 14);
    }
    const uint8_t* m = data.data() + metaStart;
    const uint16_t type = Word(m), headerWords = Word(m + 2), version = Word(m + 4);
    const uint64_t sizeBytes = uint64_t(Long(m + 6)) * 2;
    if ((type != 1 && type != 2) || headerWords != 9 || (version != 0x0100 && version != 0x0300) || sizeBytes < 18)
        InvalidMetafile();
    // Writers disagree on whether the size counts the placeable header: take what the stream holds
    // up to the size given.
    const int64_t available = int64_t(data.size()) + stream.Remaining();
    ReadRest(stream, data, std::min<int64_t>(int64_t(metaStart + std::min<uint64_t>(sizeBytes, INT32_MAX)), available));

    int32_t width = 0, height = 0, mmWidth = 0, mmHeight = 0;
    if (inch != 0) {
        mmWidth = ScaleSize(boxWidth, HundredthMMPerInch, inch);
        mmHeight = ScaleSize(boxHeight, HundredthMMPerInch, inch);
        width = ScaleSize(mmWidth, ScreenLogPixels, HundredthMMPerInch);
        height = ScaleSize(mmHeight, ScreenLogPixels, HundredthMMPerInch);
    } else {
        // No placeable header: the extent of the first SetWindowExt record, in pixels.
        size_t pos = metaStart + 18;
        const size_t end = data.size();
        while (pos + 6 <= end) {
            const uint64_t recordBytes = uint64_t(Long(data.data() + pos)) * 2;
            const uint16_t function = Word(data.data() + pos + 4);
            if (recordBytes < 6 || recordBytes > end - pos) InvalidMetafile();
            if (function == 0) break;  // end of the metafile
            if (function == 0x020C && recordBytes >= 10) {
                height = std::max<int32_t>(SWord(data.data() + pos + 6), 0);
                width = std::max<int32_t>(SWord(data.data() + pos + 8), 0);
                break;
            }
            pos += size_t(recordBytes);
        }
        mmWidth = ScaleSize(width, HundredthMMPerInch, ScreenLogPixels);
        mmHeight = ScaleSize(height, HundredthMMPerInch, ScreenLogPixels);
    }
    data_ = std::move(data);
    width_ = width;
    height_ = height;
    mmWidth_ = mmWidth;
    mmHeight_ = mmHeight;
    inch_ = inch;
    enhanced_ = false;
}

void TMetafile::SaveToStream(TStream& stream) { stream.WriteBuffer(data_.data(), int64_t(data_.size())); }

void TMetafile::Assign(const TGraphic& source) {
    if (&source == this) return;
    if (!source.InheritsFrom(&TMetafile::Class)) {
        TGraphic::Assign(source);
        return;
    }
    const auto& src = static_cast<const TMetafile&>(source);
    data_ = src.data_;
    width_ = src.width_;
    height_ = src.height_;
    mmWidth_ = src.mmWidth_;
    mmHeight_ = src.mmHeight_;
    inch_ = src.inch_;
    enhanced_ = src.enhanced_;
}
