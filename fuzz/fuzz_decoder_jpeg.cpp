// Feeds the TIFF JPEG strip decoder hostile strips: raw bytes, or a small strip made here with
// libjpeg and then damaged, checked against fuzzed image properties.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <jpeglib.h>

#include "Dialogs.h"
#include "GraphicCompression.h"

namespace {

// Warnings go nowhere while fuzzing.
class TSilentHandler : public TMessageHandler {
public:
    int MessageDlg(const std::string&, TMsgDlgType, TMsgDlgButtons, const std::string&) override { return mrOk; }
};

// A small JPEG strip of the given shape with pixels from `seed`.
std::vector<uint8_t> MakeStrip(int width, int height, int components, int h, int v, bool ycc, const uint8_t* seed,
                               size_t seedSize) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&info, &out, &outSize);
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = components;
    info.in_color_space = components == 3 ? JCS_RGB : components == 1 ? JCS_GRAYSCALE : JCS_CMYK;
    jpeg_set_defaults(&info);
    if (components == 3) jpeg_set_colorspace(&info, ycc ? JCS_YCbCr : JCS_RGB);
    info.comp_info[0].h_samp_factor = h;
    info.comp_info[0].v_samp_factor = v;
    for (int i = 1; i < info.num_components; ++i) info.comp_info[i].h_samp_factor = info.comp_info[i].v_samp_factor = 1;
    jpeg_start_compress(&info, TRUE);
    std::vector<uint8_t> row(size_t(width) * size_t(components));
    for (int y = 0; y < height; ++y) {
        for (size_t x = 0; x < row.size(); ++x) row[x] = seedSize ? seed[(x + size_t(y) * 7) % seedSize] : uint8_t(x);
        JSAMPROW line = row.data();
        jpeg_write_scanlines(&info, &line, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<uint8_t> strip(out, out + outSize);
    std::free(out);
    return strip;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TSilentHandler handler;
    SetMessageHandler(&handler);
    if (size < 8) return 0;
    const uint8_t mode = data[0];
    const int width = 1 + data[1] % 40;
    const int height = 1 + data[2] % 40;
    const int components = (data[3] & 3) == 0 ? 1 : (data[3] & 3) == 3 ? 4 : 3;
    const int h = 1 + (data[3] >> 2) % 2;
    const int v = 1 + (data[3] >> 3) % 2;
    const bool ycc = data[3] & 0x20;
    const uint32_t rowBytesDelta = data[4] % 4;  // row sizes other than the decoded one
    const uint32_t damageAt = uint32_t(data[5] | data[6] << 8);
    const uint8_t damage = data[7];
    data += 8;
    size -= 8;

    TImageProperties properties;
    properties.ImageWidth = width;
    properties.ImageHeight = height;
    properties.SampleCount = uint8_t(components);
    properties.SampleBits = 8;
    properties.PlaneLayout = 1;
    properties.ColorModel = ycc ? cmYCbCr : cmRGB;
    properties.RowBytes = uint32_t(width * components) + rowBytesDelta;
    properties.ChromaSubsampling.SetLength(2);
    properties.ChromaSubsampling[0] = uint8_t(components == 3 ? h : 1);
    properties.ChromaSubsampling[1] = uint8_t(components == 3 ? v : 1);

    std::vector<uint8_t> strip;
    if (mode & 1) {
        strip.assign(data, data + size);
    } else {
        strip = MakeStrip(width, height, components, components == 3 ? h : 1, components == 3 ? v : 1, ycc, data, size);
        if (mode & 2 && !strip.empty()) strip[damageAt % strip.size()] ^= damage;
        if (mode & 4 && !strip.empty()) strip.resize(damageAt % strip.size());
    }
    auto packed = std::make_unique<uint8_t[]>(strip.size() + 1);
    if (!strip.empty()) std::memcpy(packed.get(), strip.data(), strip.size());
    const size_t targetSize = size_t(properties.RowBytes) * size_t(height) - ((mode & 8) ? 1 : 0);
    auto target = std::make_unique<uint8_t[]>(targetSize + 1);
    TTIFFJPEGDecoder decoder(properties);
    try {
        decoder.BeginDecoding();
        void* source = packed.get();
        void* targetPointer = target.get();
        decoder.DecodeBlock(source, targetPointer, int32_t(strip.size()), int32_t(targetSize));
        decoder.EndDecoding();
    } catch (const EGraphicCompression&) {
    } catch (const EInvalidGraphic&) {
    }
    return 0;
}
