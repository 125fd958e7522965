// Feeds the deflate decoder hostile streams cut into blocks, with exactly sized buffers.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "GraphicCompression.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const uint8_t flags = data[0];
    const size_t blockSize = size_t(data[1]) * 4 + 1;
    const size_t targetSize = size_t(data[2] | data[3] << 8) & 0x7FFF;
    data += 4;
    size -= 4;
    TLZ77Decoder decoder(flags & 1 ? 4 : 1, flags & 2);
    decoder.BeginDecoding();
    auto target = std::make_unique<uint8_t[]>(targetSize + 1);
    uint8_t* out = target.get();
    size_t outLeft = targetSize;
    for (size_t offset = 0; offset < size; offset += blockSize) {
        const size_t n = std::min(blockSize, size - offset);
        auto block = std::make_unique<uint8_t[]>(n);
        std::memcpy(block.get(), data + offset, n);
        void* source = block.get();
        void* targetPointer = out;
        decoder.DecodeBlock(source, targetPointer, int32_t(n), int32_t(outLeft));
        uint8_t* after = static_cast<uint8_t*>(targetPointer);
        if (after < out || after > out + outLeft) std::abort();
        if (static_cast<uint8_t*>(source) > block.get() + n) std::abort();
        if (decoder.InputLeft() > n || decoder.OutputLeft() > outLeft) std::abort();
        outLeft -= size_t(after - out);
        out = after;
    }
    try {
        decoder.EndDecoding();
    } catch (const EGraphicCompression&) {
    }
    return 0;
}
