// Feeds the Thunderscan and Photo-CD decoders hostile data with exactly sized buffers and planes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "Classes.h"
#include "GraphicCompression.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    const uint8_t selector = data[0];
    const uint32_t a = uint32_t(data[1] | data[2] << 8);
    const uint32_t b = uint32_t(data[3] | data[4] << 8);
    data += 5;
    size -= 5;
    if (selector & 1) {
        const uint32_t width = a & 0x3FF;
        const int32_t targetLength = int32_t(b & 0x1FFF);
        auto source = std::make_unique<uint8_t[]>(size ? size : 1);
        if (size) std::memcpy(source.get(), data, size);
        auto target = std::make_unique<uint8_t[]>(size_t(targetLength) + 1);
        target[0] = 0x3C;
        void* sourcePointer = source.get();
        void* targetPointer = target.get() + 1;
        TThunderDecoder(width).DecodeBlock(sourcePointer, targetPointer, int32_t(size), targetLength);
        if (target[0] != 0x3C) std::abort();
        return 0;
    }
    // Photo-CD: a small stride exercises one table, a stride above 1536 three.
    const size_t stride = (selector & 2) ? 1537 + (a & 63) : 1 + (a & 255);
    const uint32_t rows = 1 + (b & 15);
    auto luma = std::make_unique<uint8_t[]>(stride * rows);
    auto chroma1 = std::make_unique<uint8_t[]>(stride * ((rows + 1) / 2));
    auto chroma2 = std::make_unique<uint8_t[]>(stride * ((rows + 1) / 2));
    uint8_t* planes[3] = {luma.get(), chroma1.get(), chroma2.get()};
    // The decoder reads whole 2048-byte blocks: the data is padded with zeros to a whole block.
    std::vector<uint8_t> padded(data, data + size);
    padded.resize((size / 2048 + 1) * 2048);
    TMemoryStream stream(std::move(padded));
    TPCDDecoder decoder(stream);
    void* source = planes;
    void* target = nullptr;
    try {
        decoder.DecodeBlock(source, target, int32_t(stride), int32_t(rows));
    } catch (const EReadError&) {
    } catch (const EAbort&) {
    }
    return 0;
}
