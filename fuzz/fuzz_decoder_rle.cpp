// Feeds the run-length decoders hostile packets with exactly sized buffers, and checks that the
// Targa encoder's packets decode back to the pixels they came from.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "GraphicCompression.h"

namespace {

// Buffers of exactly the given size on the heap, so that any access past them is caught.
std::unique_ptr<uint8_t[]> Exact(const uint8_t* data, size_t size) {
    auto buffer = std::make_unique<uint8_t[]>(size ? size : 1);
    if (size) std::memcpy(buffer.get(), data, size);
    return buffer;
}

void TargaRoundTrip(uint32_t depth, const uint8_t* data, size_t size) {
    TTargaRLEDecoder codec(depth);
    const size_t b = (depth + 1) / 8;
    const uint32_t count = uint32_t(size / b);
    if (count == 0) return;
    auto pixels = Exact(data, count * b);
    std::vector<uint8_t> packed(codec.MaxEncodedSize(count));
    uint32_t written = 0;
    codec.EncodeBlock(pixels.get(), packed.data(), count, written);
    if (written > packed.size()) std::abort();
    auto exactPacked = Exact(packed.data(), written);
    auto decoded = std::make_unique<uint8_t[]>(count * b);
    void* source = exactPacked.get();
    void* target = decoded.get();
    codec.DecodeBlock(source, target, int32_t(written), int32_t(count));
    if (std::memcmp(decoded.get(), pixels.get(), count * b) != 0) std::abort();
    if (static_cast<uint8_t*>(source) != exactPacked.get() + written) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const uint8_t selector = data[0];
    const int32_t targetLength = int32_t(data[1] | data[2] << 8) & 0x1FFF;
    data += 3;
    size -= 3;
    static const uint32_t targaDepths[] = {8, 15, 16, 24, 32, 7};
    std::unique_ptr<TDecoder> decoder;
    size_t unit = 1;
    switch (selector % 9) {
        case 0: {
            const uint32_t depth = targaDepths[(selector / 9) % 6];
            decoder = std::make_unique<TTargaRLEDecoder>(depth);
            unit = depth == 7 ? 1 : (depth + 1) / 8;
            break;
        }
        case 1: decoder = std::make_unique<TPackbitsRLEDecoder>(); break;
        case 2: decoder = std::make_unique<TPCXRLEDecoder>(); break;
        case 3: decoder = std::make_unique<TSGIRLEDecoder>(8); break;
        case 4: decoder = std::make_unique<TSGIRLEDecoder>(16); break;
        case 5: decoder = std::make_unique<TCUTRLEDecoder>(); break;
        case 6: decoder = std::make_unique<TPSPRLEDecoder>(); break;
        case 7: decoder = std::make_unique<TRLADecoder>(); break;
        default:
            TargaRoundTrip(targaDepths[(selector / 9) % 5], data, size);
            return 0;
    }
    auto source = Exact(data, size);
    auto target = std::make_unique<uint8_t[]>(size_t(targetLength) * unit + 1);
    void* sourcePointer = source.get();
    void* targetPointer = target.get() + 1;  // the first byte guards against writes before the target
    target[0] = 0xA5;
    decoder->BeginDecoding();
    decoder->DecodeBlock(sourcePointer, targetPointer, int32_t(size), targetLength);
    decoder->EndDecoding();
    const uint8_t* after = static_cast<uint8_t*>(sourcePointer);
    if (after < source.get() || after > source.get() + size) std::abort();
    if (target[0] != 0xA5) std::abort();
    return 0;
}
