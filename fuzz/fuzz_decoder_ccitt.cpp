// Feeds the CCITT fax decoders hostile bits with exactly sized buffers.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "GraphicCompression.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    const uint8_t flags = data[0];
    const uint32_t width = uint32_t(data[1] | data[2] << 8) & 0x1FFF;
    const int32_t targetLength = int32_t(data[3] | data[4] << 8) & 0x3FFF;
    data += 5;
    size -= 5;
    const bool reverse = flags & 1;
    const bool wordAlign = flags & 2;
    std::unique_ptr<TDecoder> decoder;
    if (flags & 4)
        decoder = std::make_unique<TCCITTMHDecoder>(0, reverse, wordAlign, width);
    else
        decoder = std::make_unique<TCCITTFax3Decoder>(0, reverse, false, width);
    auto source = std::make_unique<uint8_t[]>(size ? size : 1);
    if (size) std::memcpy(source.get(), data, size);
    auto target = std::make_unique<uint8_t[]>(size_t(targetLength) + 1);
    target[0] = 0x5A;
    void* sourcePointer = source.get();
    void* targetPointer = target.get() + 1;
    decoder->DecodeBlock(sourcePointer, targetPointer, int32_t(size), targetLength);
    if (target[0] != 0x5A) std::abort();
    // The source is left as it was, also when its bits are read in reverse order.
    if (size && std::memcmp(source.get(), data, size) != 0) std::abort();
    return 0;
}
