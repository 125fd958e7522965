// Small helpers for the colour manager tests: byte rows from words and one-call conversions.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "GraphicColor.h"

using Bytes = std::vector<uint8_t>;

// Words in host order.
inline Bytes Words(std::initializer_list<uint16_t> words) {
    Bytes out(words.size() * 2);
    size_t k = 0;
    for (uint16_t w : words) std::memcpy(out.data() + 2 * k++, &w, 2);
    return out;
}

// Words stored most significant byte first, as big-endian files hold them.
inline Bytes BigEndianWords(std::initializer_list<uint16_t> words) {
    Bytes out;
    for (uint16_t w : words) {
        out.push_back(uint8_t(w >> 8));
        out.push_back(uint8_t(w));
    }
    return out;
}

inline std::vector<uint16_t> ToWords(const Bytes& bytes) {
    std::vector<uint16_t> out(bytes.size() / 2);
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
    return out;
}

// A copy of `data` that starts at an odd address, so 16-bit paths prove they need no alignment.
class Unaligned {
public:
    explicit Unaligned(const Bytes& data) : storage_(data.size() + 1) {
        std::memcpy(storage_.data() + 1, data.data(), data.size());
    }
    const void* Get() const { return storage_.data() + 1; }

private:
    Bytes storage_;
};

// Converts one row into a target of `targetBytes` bytes pre-filled with `fill`.
inline Bytes Convert(TColorManager& manager, std::initializer_list<const void*> sources, size_t targetBytes,
                     uint32_t pixelCount, uint8_t pixelMask = 255, uint8_t fill = 0xEE) {
    Bytes target(targetBytes, fill);
    manager.TranslateRow(sources, target.data(), pixelCount, pixelMask);
    return target;
}

inline void Configure(TColorManager& m, TColorModel source, TColorModel target, uint8_t sourceBits = 8,
                      uint8_t targetBits = 8) {
    m.SetSourceModel(source);
    m.SetTargetModel(target);
    m.SetSourceSampleBits(sourceBits);
    m.SetTargetSampleBits(targetBits);
}
