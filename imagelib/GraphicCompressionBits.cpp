// The self-contained bit-level decoders: Thunderscan 4-bit data and Photo-CD Huffman residuals.
#include <algorithm>
#include <array>
#include <cstring>

#include "GraphicCompression.h"

// --- Thunderscan ---------------------------------------------------------------------------

namespace {

// Writes the samples of one row: `count` samples so far, at most `limit`, two per byte.
struct TThunderRow {
    uint8_t* bytes;
    uint32_t limit;
    uint32_t count = 0;
    uint8_t last = 0;

    void Put(int sample) {
        last = uint8_t(sample & 15);
        if (count >= limit) return;
        if (count % 2 == 0)
            bytes[count / 2] = uint8_t(last << 4);
        else
            bytes[count / 2] |= last;
        ++count;
    }

    // A run of n samples. After an odd count the run repeats the byte it completes, both samples.
    void Run(uint32_t n) {
        if (n == 0) return;
        uint8_t pattern;
        if (count % 2 != 0) {
            if (count >= limit) return;
            bytes[count / 2] |= last;
            pattern = bytes[count / 2];
            ++count;
            --n;
        } else {
            pattern = uint8_t(last * 17);
        }
        const uint32_t m = std::min(n, limit - std::min(limit, count));
        if (m / 2 > 0) std::memset(bytes + count / 2, pattern, m / 2);
        if (m % 2 != 0) bytes[count / 2 + m / 2] = uint8_t(pattern & 0xF0);
        count += m;
        last = uint8_t(pattern & 15);
    }
};

constexpr std::array<int, 4> TwoBitDelta = {0, 1, 0, -1};
constexpr std::array<int, 8> ThreeBitDelta = {0, 1, 2, 3, 0, -3, -2, -1};

}  // namespace

void TThunderDecoder::DecodeBlock(void*& Source, void*& Target, int32_t SourceLength, int32_t TargetLength) {
    if (LineWidth_ == 0 || !Source || !Target) return;
    const uint8_t* src = static_cast<const uint8_t*>(Source);
    const uint8_t* srcEnd = src + std::max(SourceLength, 0);
    uint8_t* line = static_cast<uint8_t*>(Target);
    const uint32_t lineBytes = uint32_t((uint64_t(LineWidth_) + 1) / 2);
    uint32_t targetLeft = uint32_t(std::max(TargetLength, 0));
    while (targetLeft > 0 && src < srcEnd) {
        // The last line may be cut by the target's end.
        const uint32_t bytes = std::min(lineBytes, targetLeft);
        TThunderRow row{line, uint32_t(std::min<uint64_t>(LineWidth_, uint64_t(bytes) * 2))};
        while (src < srcEnd && row.count < row.limit) {
            const uint8_t v = *src++;
            switch (v >> 6) {
                case 0:
                    row.Run(v & 63u);
                    break;
                case 1:
                    for (int shift = 4; shift >= 0; shift -= 2) {
                        const int d = (v >> shift) & 3;
                        if (d != 2) row.Put(row.last + TwoBitDelta[size_t(d)]);
                    }
                    break;
                case 2:
                    for (int shift = 3; shift >= 0; shift -= 3) {
                        const int d = (v >> shift) & 7;
                        if (d != 4) row.Put(row.last + ThreeBitDelta[size_t(d)]);
                    }
                    break;
                default:
                    row.Put(v);
                    break;
            }
        }
        line += bytes;
        targetLeft -= bytes;
    }
}

// --- Photo-CD ------------------------------------------------------------------------------

namespace {

struct TPCDCode {
    uint8_t CodeLength;
    uint32_t CodeBits;
    int8_t Residual;
    uint32_t CodeMask;
};

// The Huffman data: bytes from the stream in blocks of 2048, and a 32-bit window of the next bits,
// most significant first.
class TPCDBits {
public:
    explicit TPCDBits(TStream& stream) : stream_(stream) {}

    uint8_t Byte() {
        if (pos_ == end_) {
            stream_.ReadBuffer(buffer_.data(), int64_t(buffer_.size()));
            pos_ = 0;
            end_ = buffer_.size();
        }
        return buffer_[pos_++];
    }

    void StartWindow() {
        window_ = 0;
        valid_ = 0;
        Refill();
    }
    uint32_t Window() const { return window_; }
    void Consume(unsigned n) {
        window_ = n >= 32 ? 0 : window_ << n;
        valid_ -= int(n);
        Refill();
    }

private:
    void Refill() {
        while (valid_ <= 24) {
            window_ |= uint32_t(Byte()) << (24 - valid_);
            valid_ += 8;
        }
    }

    TStream& stream_;
    std::array<uint8_t, 2048> buffer_{};
    size_t pos_ = 0;
    size_t end_ = 0;
    uint32_t window_ = 0;
    int valid_ = 0;
};

// Reads one code table; false when a code is longer than 16 bits.
bool ReadPCDTable(TPCDBits& bits, std::vector<TPCDCode>& table) {
    const size_t count = size_t(bits.Byte()) + 1;
    table.resize(count);
    for (TPCDCode& entry : table) {
        const unsigned length = unsigned(bits.Byte()) + 1;
        const uint32_t code = uint32_t(bits.Byte()) << 8;
        const uint32_t codeLow = bits.Byte();
        entry.Residual = int8_t(bits.Byte());
        if (length > 16) return false;
        entry.CodeLength = uint8_t(length);
        entry.CodeBits = (code | codeLow) << 16;
        entry.CodeMask = ~uint32_t(0) << (32 - length);
    }
    return true;
}

bool AtRowHeader(uint32_t window) { return (window >> 8) == 0xFFFFFE; }

void Synchronise(TPCDBits& bits) {
    while ((bits.Window() & 0x00FFF000) != 0x00FFF000) bits.Consume(8);
    while (!AtRowHeader(bits.Window())) bits.Consume(1);
}

}  // namespace

void TPCDDecoder::DecodeBlock(void*& Source, void*& Target, int32_t SourceLength, int32_t TargetLength) {
    if (!Source || SourceLength <= 0 || TargetLength <= 0) return;
    uint8_t* const* planes = static_cast<uint8_t* const*>(Source);
    const size_t stride = size_t(SourceLength);
    const uint32_t rows = uint32_t(TargetLength);
    const size_t planeRows[3] = {rows, (size_t(rows) + 1) / 2, (size_t(rows) + 1) / 2};

    TPCDBits bits(ImageStream_);
    const int tableCount = stride <= 1536 ? 1 : 3;
    std::vector<TPCDCode> tables[3];
    for (int i = 0; i < tableCount; ++i)
        if (!ReadPCDTable(bits, tables[i])) return;

    bits.StartWindow();
    Synchronise(bits);
    const std::vector<TPCDCode>* table = &tables[0];
    uint8_t* pos = nullptr;  // the next pixel; residuals go nowhere while pos is at end
    uint8_t* end = nullptr;
    for (;;) {
        const uint32_t w = bits.Window();
        if (AtRowHeader(w)) {
            bits.Consume(16);
            const uint32_t row = (bits.Window() >> 9) & 0x1FFF;
            if (row == rows) return;
            bits.Consume(8);
            const uint32_t type = bits.Window() >> 30;
            bits.Consume(16);
            if (type == 1) Abort();
            const size_t plane = type == 0 ? 0 : type - 1;
            const size_t planeRow = plane == 0 ? row : row / 2;
            pos = end = nullptr;
            if (plane == 0 || tableCount == 3) {
                table = &tables[plane];
                if (planes[plane] && planeRow < planeRows[plane]) {
                    pos = planes[plane] + planeRow * stride;
                    end = planes[plane] + planeRows[plane] * stride;
                }
            } else {
                table = &tables[0];  // chroma rows without chroma tables are passed over
            }
            continue;
        }
        const TPCDCode* match = nullptr;
        for (const TPCDCode& entry : *table)
            if ((w & entry.CodeMask) == entry.CodeBits) {
                match = &entry;
                break;
            }
        if (!match) {
            Synchronise(bits);
            continue;
        }
        if (pos < end) {
            *pos = uint8_t(std::clamp(int(*pos) + match->Residual, 0, 255));
            ++pos;
        }
        bits.Consume(match->CodeLength);
    }
}
