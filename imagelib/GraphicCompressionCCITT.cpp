// CCITT one-dimensional fax decoders (Group 3 with EOL codes, and modified Huffman).
#include <algorithm>
#include <array>
#include <cstring>

#include "GraphicCompression.h"

namespace {

// One code of the T.4 tables: its bits, right-aligned, and its length.
struct TFaxCode {
    uint16_t Code;
    uint8_t Length;
};

// Terminating codes, run lengths 0 to 63.
constexpr std::array<TFaxCode, 64> WhiteTerminating = {{
    {0x35, 8}, {0x07, 6}, {0x07, 4}, {0x08, 4}, {0x0B, 4}, {0x0C, 4}, {0x0E, 4}, {0x0F, 4},
    {0x13, 5}, {0x14, 5}, {0x07, 5}, {0x08, 5}, {0x08, 6}, {0x03, 6}, {0x34, 6}, {0x35, 6},
    {0x2A, 6}, {0x2B, 6}, {0x27, 7}, {0x0C, 7}, {0x08, 7}, {0x17, 7}, {0x03, 7}, {0x04, 7},
    {0x28, 7}, {0x2B, 7}, {0x13, 7}, {0x24, 7}, {0x18, 7}, {0x02, 8}, {0x03, 8}, {0x1A, 8},
    {0x1B, 8}, {0x12, 8}, {0x13, 8}, {0x14, 8}, {0x15, 8}, {0x16, 8}, {0x17, 8}, {0x28, 8},
    {0x29, 8}, {0x2A, 8}, {0x2B, 8}, {0x2C, 8}, {0x2D, 8}, {0x04, 8}, {0x05, 8}, {0x0A, 8},
    {0x0B, 8}, {0x52, 8}, {0x53, 8}, {0x54, 8}, {0x55, 8}, {0x24, 8}, {0x25, 8}, {0x58, 8},
    {0x59, 8}, {0x5A, 8}, {0x5B, 8}, {0x4A, 8}, {0x4B, 8}, {0x32, 8}, {0x33, 8}, {0x34, 8},
}};

constexpr std::array<TFaxCode, 64> BlackTerminating = {{
    {0x37, 10}, {0x02, 3}, {0x03, 2}, {0x02, 2}, {0x03, 3}, {0x03, 4}, {0x02, 4}, {0x03, 5},
    {0x05, 6}, {0x04, 6}, {0x04, 7}, {0x05, 7}, {0x07, 7}, {0x04, 8}, {0x07, 8}, {0x18, 9},
    {0x17, 10}, {0x18, 10}, {0x08, 10}, {0x67, 11}, {0x68, 11}, {0x6C, 11}, {0x37, 11}, {0x28, 11},
    {0x17, 11}, {0x18, 11}, {0xCA, 12}, {0xCB, 12}, {0xCC, 12}, {0xCD, 12}, {0x68, 12}, {0x69, 12},
    {0x6A, 12}, {0x6B, 12}, {0xD2, 12}, {0xD3, 12}, {0xD4, 12}, {0xD5, 12}, {0xD6, 12}, {0xD7, 12},
    {0x6C, 12}, {0x6D, 12}, {0xDA, 12}, {0xDB, 12}, {0x54, 12}, {0x55, 12}, {0x56, 12}, {0x57, 12},
    {0x64, 12}, {0x65, 12}, {0x52, 12}, {0x53, 12}, {0x24, 12}, {0x37, 12}, {0x38, 12}, {0x27, 12},
    {0x28, 12}, {0x58, 12}, {0x59, 12}, {0x2B, 12}, {0x2C, 12}, {0x5A, 12}, {0x66, 12}, {0x67, 12},
}};

// Make-up codes 64 to 1728, then the extended make-up codes 1792 to 2560 common to both colours.
constexpr std::array<TFaxCode, 40> WhiteMakeUp = {{
    {0x1B, 5}, {0x12, 5}, {0x17, 6}, {0x37, 7}, {0x36, 8}, {0x37, 8}, {0x64, 8}, {0x65, 8},
    {0x68, 8}, {0x67, 8}, {0xCC, 9}, {0xCD, 9}, {0xD2, 9}, {0xD3, 9}, {0xD4, 9}, {0xD5, 9},
    {0xD6, 9}, {0xD7, 9}, {0xD8, 9}, {0xD9, 9}, {0xDA, 9}, {0xDB, 9}, {0x98, 9}, {0x99, 9},
    {0x9A, 9}, {0x18, 6}, {0x9B, 9},
    {0x08, 11}, {0x0C, 11}, {0x0D, 11}, {0x12, 12}, {0x13, 12}, {0x14, 12}, {0x15, 12}, {0x16, 12},
    {0x17, 12}, {0x1C, 12}, {0x1D, 12}, {0x1E, 12}, {0x1F, 12},
}};

constexpr std::array<TFaxCode, 40> BlackMakeUp = {{
    {0x0F, 10}, {0xC8, 12}, {0xC9, 12}, {0x5B, 12}, {0x33, 12}, {0x34, 12}, {0x35, 12}, {0x6C, 13},
    {0x6D, 13}, {0x4A, 13}, {0x4B, 13}, {0x4C, 13}, {0x4D, 13}, {0x72, 13}, {0x73, 13}, {0x74, 13},
    {0x75, 13}, {0x76, 13}, {0x77, 13}, {0x52, 13}, {0x53, 13}, {0x54, 13}, {0x55, 13}, {0x5A, 13},
    {0x5B, 13}, {0x64, 13}, {0x65, 13},
    {0x08, 11}, {0x0C, 11}, {0x0D, 11}, {0x12, 12}, {0x13, 12}, {0x14, 12}, {0x15, 12}, {0x16, 12},
    {0x17, 12}, {0x1C, 12}, {0x1D, 12}, {0x1E, 12}, {0x1F, 12},
}};

constexpr int32_t RunEOL = -1;
constexpr int32_t RunInvalid = -2;

void AddCode(TStateArray& tree, uint32_t code, uint8_t length, int32_t value) {
    size_t node = 0;
    for (int bit = length - 1; bit >= 0; --bit) {
        const bool one = (code >> bit) & 1;
        int32_t child = one ? tree[node].OneChild : tree[node].ZeroChild;
        if (child == 0) {
            child = int32_t(tree.size());
            tree.emplace_back();
            (one ? tree[node].OneChild : tree[node].ZeroChild) = child;
        }
        node = size_t(child);
    }
    tree[node].RunValue = value;
}

TStateArray BuildTree(const std::array<TFaxCode, 64>& terminating, const std::array<TFaxCode, 40>& makeUp) {
    TStateArray tree(1);
    for (size_t i = 0; i < terminating.size(); ++i) AddCode(tree, terminating[i].Code, terminating[i].Length, int32_t(i));
    for (size_t k = 0; k < makeUp.size(); ++k) AddCode(tree, makeUp[k].Code, makeUp[k].Length, int32_t(k + 1) * 64);
    AddCode(tree, 0x001, 12, RunEOL);
    AddCode(tree, 0x001, 9, RunInvalid);
    AddCode(tree, 0x001, 10, RunInvalid);
    AddCode(tree, 0x001, 11, RunInvalid);
    AddCode(tree, 0x000, 12, RunInvalid);
    return tree;
}

constexpr std::array<uint8_t, 256> MakeReversedBytes() {
    std::array<uint8_t, 256> table{};
    for (unsigned v = 0; v < 256; ++v) {
        unsigned r = 0;
        for (unsigned bit = 0; bit < 8; ++bit)
            if (v & (1u << bit)) r |= 0x80u >> bit;
        table[v] = uint8_t(r);
    }
    return table;
}
constexpr std::array<uint8_t, 256> ReversedBytes = MakeReversedBytes();

}  // namespace

TCCITTDecoder::TCCITTDecoder(int32_t FaxOptions, bool ReverseBits, bool WordAlignRows, uint32_t RowWidth)
    : FaxOptions_(FaxOptions),
      ReverseBits_(ReverseBits),
      WhiteTree_(BuildTree(WhiteTerminating, WhiteMakeUp)),
      BlackTree_(BuildTree(BlackTerminating, BlackMakeUp)),
      RowWidth_(RowWidth),
      WordAlignRows_(WordAlignRows) {}

void TCCITTDecoder::StartBlock(void* Source, void* Target, int32_t SourceLength, int32_t TargetLength) {
    const uint32_t targetLength = TargetLength > 0 && Target ? uint32_t(TargetLength) : 0;
    if (targetLength > 0) std::memset(Target, 0, targetLength);
    ReadStart_ = ReadPointer_ = static_cast<const uint8_t*>(Source);
    BytesAhead_ = SourceLength > 0 && Source ? uint32_t(SourceLength) : 0;
    BitCount_ = 0;
    ReadMask_ = 0;
    CurrentByte_ = 0;
    RowStart_ = WritePointer_ = static_cast<uint8_t*>(Target);
    TargetEnd_ = WritePointer_ + targetLength;
    PixelsLeft_ = RowWidth_;
    FreeBits_ = 8;
    CurrentWhite_ = true;
}

bool TCCITTDecoder::PeekBit() {
    if (BitCount_ == 0) {
        const uint8_t byte = *ReadPointer_++;
        CurrentByte_ = ReverseBits_ ? ReversedBytes[byte] : byte;
        --BytesAhead_;
        ReadMask_ = 128;
        BitCount_ = 8;
    }
    return (CurrentByte_ & ReadMask_) != 0;
}

bool TCCITTDecoder::NextBit() {
    const bool bit = PeekBit();
    ReadMask_ >>= 1;
    --BitCount_;
    return bit;
}

int32_t TCCITTDecoder::DecodeRun(const TStateArray& tree) {
    // Make-up codes accumulate until a terminating code (or anything else below 64) follows.
    int64_t sum = 0;
    size_t node = 0;
    while (BitsLeft()) {
        const bool bit = PeekBit();
        const int32_t child = bit ? tree[node].OneChild : tree[node].ZeroChild;
        if (child != 0) {
            NextBit();
            node = size_t(child);
            continue;
        }
        const int32_t value = tree[node].RunValue;
        if (value < 64) {
            sum += value;
            break;
        }
        sum = std::min<int64_t>(sum + value, INT32_MAX);
        node = size_t(bit ? tree[0].OneChild : tree[0].ZeroChild);
        NextBit();
    }
    return int32_t(sum);
}

void TCCITTDecoder::PutRun(uint32_t n) {
    // The run covers the pixels [from, to) of the row that starts at RowStart_; black runs set
    // their bits, white runs only move over the cleared target.
    const size_t rowBytes = size_t((uint64_t(RowWidth_) + 7) / 8);
    const uint32_t from = RowWidth_ - PixelsLeft_;
    n = std::min(n, PixelsLeft_);
    PixelsLeft_ -= n;
    const size_t rowRoom = std::min<size_t>(rowBytes, size_t(TargetEnd_ - RowStart_));
    const uint32_t to = uint32_t(std::min<size_t>(size_t(from) + n, rowRoom * 8));
    if (!CurrentWhite_ && to > from) {
        uint32_t first = from / 8;
        const uint32_t last = (to - 1) / 8;
        const uint8_t headMask = uint8_t(0xFF >> (from % 8));
        const uint8_t tailMask = uint8_t(0xFF << (7 - (to - 1) % 8));
        if (first == last) {
            RowStart_[first] |= uint8_t(headMask & tailMask);
        } else {
            RowStart_[first] |= headMask;
            ++first;
            if (last > first) std::memset(RowStart_ + first, 0xFF, last - first);
            RowStart_[last] |= tailMask;
        }
    }
    const uint32_t end = from + n;
    WritePointer_ = RowStart_ + std::min<size_t>(end / 8, rowRoom);
    FreeBits_ = uint8_t(8 - end % 8);
}

void TCCITTDecoder::EndRow() {
    // The next row starts a whole row further on, also after a row that ended early.
    const size_t rowBytes = size_t((uint64_t(RowWidth_) + 7) / 8);
    RowStart_ += std::min<size_t>(rowBytes, size_t(TargetEnd_ - RowStart_));
    WritePointer_ = RowStart_;
    CurrentWhite_ = false;
    FreeBits_ = 8;
    PixelsLeft_ = RowWidth_;
}

// --- Group 3 -------------------------------------------------------------------------------

void TCCITTFax3Decoder::SkipToLineStart(int eolCount) {
    if (eolCount == 0) {
        int zeros = 0;
        while (zeros < 11 && BitsLeft()) zeros = NextBit() ? 0 : zeros + 1;
    }
    while (BitsLeft())
        if (NextBit()) break;
}

void TCCITTFax3Decoder::DecodeBlock(void*& Source, void*& Target, int32_t SourceLength, int32_t TargetLength) {
    StartBlock(Source, Target, SourceLength, TargetLength);
    if (RowWidth_ == 0) return;
    int eolCount = 0;
    while (BitsLeft() && !TargetFull()) {
        SkipToLineStart(eolCount);
        eolCount = 0;
        CurrentWhite_ = true;
        while (BitsLeft()) {
            const int32_t run = CurrentWhite_ ? DecodeWhiteRun() : DecodeBlackRun();
            if (run >= 0) {
                PutRun(uint32_t(run));
                if (PixelsLeft_ == 0) break;
                CurrentWhite_ = !CurrentWhite_;
            } else {
                if (run == RunEOL) ++eolCount;
                break;
            }
        }
        EndRow();
    }
}

// --- Modified Huffman ----------------------------------------------------------------------

void TCCITTMHDecoder::DecodeBlock(void*& Source, void*& Target, int32_t SourceLength, int32_t TargetLength) {
    StartBlock(Source, Target, SourceLength, TargetLength);
    if (RowWidth_ == 0) return;
    while (BitsLeft() && !TargetFull()) {
        const int32_t run = CurrentWhite_ ? DecodeWhiteRun() : DecodeBlackRun();
        if (run > 0) {
            PutRun(uint32_t(run));
            if (PixelsLeft_ == 0) {
                EndRow();
                // The next row's codes start on a fresh byte (a fetched but unread byte is kept),
                // and for word-aligned data on an even offset of the packed data.
                if (BitCount_ < 8) BitCount_ = 0;
                if (WordAlignRows_) {
                    const size_t next = size_t(ReadPointer_ - ReadStart_) - (BitCount_ == 8 ? 1 : 0);
                    if (next % 2 != 0) {
                        if (BitCount_ == 8) {
                            BitCount_ = 0;
                        } else if (BytesAhead_ > 0) {
                            ++ReadPointer_;
                            --BytesAhead_;
                        }
                    }
                }
            }
        }
        CurrentWhite_ = !CurrentWhite_;
    }
}
