#include "ConverterTestSupport.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>
#include <stdexcept>
#include <sys/wait.h>

#include "TestSupport.h"

cv::Mat CoordinateImage(int width, int height) {
    cv::Mat m(height, width, CV_8UC4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) m.at<cv::Vec4b>(y, x) = cv::Vec4b(uint8_t(x), uint8_t(y), 7, 255);
    return m;
}

cv::Mat SolidImage(int width, int height, cv::Scalar bgra) { return cv::Mat(height, width, CV_8UC4, bgra); }

TImageLoader TFakeFiles::Loader() const {
    return [this](const std::string& fileName) -> TSourceImage {
        auto it = Images.find(ExtractFileName(fileName));
        if (it == Images.end()) throw EInvalidGraphic("not a test image");
        TSourceImage copy = it->second;
        copy.Pixels = it->second.Pixels.clone();
        return copy;
    };
}

namespace {

uint32_t Le32(const std::string& b, size_t at) {
    if (at + 4 > b.size()) throw std::runtime_error("short file");
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
           uint32_t(uint8_t(b[at + 3])) << 24;
}
uint32_t Be32(const std::string& b, size_t at) {
    if (at + 4 > b.size()) throw std::runtime_error("short file");
    return uint32_t(uint8_t(b[at])) << 24 | uint32_t(uint8_t(b[at + 1])) << 16 | uint32_t(uint8_t(b[at + 2])) << 8 |
           uint32_t(uint8_t(b[at + 3]));
}

TDecoded DecodePng(const std::string& bytes) {
    TDecoded d;
    d.Kind = "png";
    d.Width = int(Be32(bytes, 16));
    d.Height = int(Be32(bytes, 20));
    int depth = uint8_t(bytes.at(24));
    d.PngColorType = uint8_t(bytes.at(25));
    int channels = d.PngColorType == 2 ? 3 : d.PngColorType == 6 ? 4 : d.PngColorType == 4 ? 2 : 1;
    d.Bits = depth * channels;
    d.PngSBit = bytes.find("sBIT") != std::string::npos;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) throw std::runtime_error(image.message);
    image.format = PNG_FORMAT_BGRA;
    d.Pixels.create(int(image.height), int(image.width), CV_8UC4);
    if (!png_image_finish_read(&image, nullptr, d.Pixels.data, 0, nullptr)) throw std::runtime_error(image.message);
    return d;
}

struct JpegErr {
    jpeg_error_mgr mgr;
    jmp_buf jump;
};

TDecoded DecodeJpeg(const std::string& bytes) {
    TDecoded d;
    d.Kind = "jpeg";
    jpeg_decompress_struct info{};
    JpegErr err{};
    info.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = [](j_common_ptr c) { longjmp(reinterpret_cast<JpegErr*>(c->err)->jump, 1); };
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&info);
        throw std::runtime_error("bad jpeg");
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    jpeg_read_header(&info, TRUE);
    d.Bits = 8 * info.num_components;
    info.out_color_space = JCS_EXT_BGRA;
    jpeg_start_decompress(&info);
    d.Width = int(info.output_width);
    d.Height = int(info.output_height);
    d.Pixels.create(d.Height, d.Width, CV_8UC4);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = d.Pixels.ptr<uint8_t>(int(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return d;
}

struct GifReader {
    const std::string* bytes;
    size_t pos;
};

TDecoded DecodeGif(const std::string& bytes) {
    TDecoded d;
    d.Kind = "gif";
    GifReader reader{&bytes, 0};
    int error = 0;
    GifFileType* gif = DGifOpen(&reader, [](GifFileType* g, GifByteType* buf, int n) -> int {
        auto* r = static_cast<GifReader*>(g->UserData);
        int k = int(std::min<size_t>(size_t(n), r->bytes->size() - r->pos));
        std::memcpy(buf, r->bytes->data() + r->pos, size_t(k));
        r->pos += size_t(k);
        return k;
    }, &error);
    if (!gif) throw std::runtime_error("bad gif");
    if (DGifSlurp(gif) != GIF_OK || gif->ImageCount < 1) {
        DGifCloseFile(gif, &error);
        throw std::runtime_error("bad gif");
    }
    d.Width = gif->SWidth;
    d.Height = gif->SHeight;
    ColorMapObject* map = gif->SColorMap ? gif->SColorMap : gif->SavedImages[0].ImageDesc.ColorMap;
    d.Bits = map->BitsPerPixel;
    d.Pixels.create(d.Height, d.Width, CV_8UC4);
    const GifByteType* raster = gif->SavedImages[0].RasterBits;
    for (int y = 0; y < d.Height; ++y)
        for (int x = 0; x < d.Width; ++x) {
            int idx = raster[size_t(y) * size_t(d.Width) + size_t(x)];
            const GifColorType& c = map->Colors[idx < map->ColorCount ? idx : 0];
            d.Pixels.at<cv::Vec4b>(y, x) = cv::Vec4b(c.Blue, c.Green, c.Red, 255);
        }
    DGifCloseFile(gif, &error);
    return d;
}

TDecoded DecodeBmp(const std::string& b) {
    TDecoded d;
    d.Kind = "bmp";
    uint32_t offBits = Le32(b, 10);
    d.Width = int(Le32(b, 18));
    int32_t height = int32_t(Le32(b, 22));
    d.Height = height < 0 ? -height : height;
    d.Bits = uint8_t(b.at(28)) | uint8_t(b.at(29)) << 8;
    d.BmpCompression = Le32(b, 30);
    uint32_t headerSize = Le32(b, 14);
    if (d.BmpCompression == 3) {
        size_t at = 14 + (headerSize >= 52 ? 40 : headerSize);
        for (int i = 0; i < 3; ++i) d.BmpMasks.push_back(Le32(b, at + size_t(i) * 4));
    }
    if (d.Bits == 16) return d;
    uint32_t colors = Le32(b, 46);
    size_t palAt = 14 + headerSize;
    size_t stride = (size_t(d.Width) * size_t(d.Bits) + 31) / 32 * 4;
    d.Pixels.create(d.Height, d.Width, CV_8UC4);
    for (int y = 0; y < d.Height; ++y) {
        size_t row = offBits + stride * size_t(height < 0 ? y : d.Height - 1 - y);
        for (int x = 0; x < d.Width; ++x) {
            cv::Vec4b px(0, 0, 0, 255);
            if (d.Bits <= 8) {
                size_t bit = size_t(x) * size_t(d.Bits);
                int byte = uint8_t(b.at(row + bit / 8));
                int idx = (byte >> (8 - d.Bits - int(bit % 8))) & ((1 << d.Bits) - 1);
                if (colors && uint32_t(idx) >= colors) throw std::runtime_error("index outside palette");
                size_t p = palAt + size_t(idx) * 4;
                px = cv::Vec4b(uint8_t(b.at(p)), uint8_t(b.at(p + 1)), uint8_t(b.at(p + 2)), 255);
            } else {
                size_t p = row + size_t(x) * size_t(d.Bits / 8);
                px = cv::Vec4b(uint8_t(b.at(p)), uint8_t(b.at(p + 1)), uint8_t(b.at(p + 2)),
                               d.Bits == 32 ? uint8_t(b.at(p + 3)) : 255);
            }
            d.Pixels.at<cv::Vec4b>(y, x) = px;
        }
    }
    return d;
}

}  // namespace

TDecoded DecodeFile(const std::string& path) {
    std::string bytes = ReadBytes(path);
    if (bytes.size() < 8) throw std::runtime_error("short or missing file " + path);
    if (bytes.compare(0, 4, "\x89PNG") == 0) return DecodePng(bytes);
    if (bytes.compare(0, 2, "\xFF\xD8") == 0) return DecodeJpeg(bytes);
    if (bytes.compare(0, 3, "GIF") == 0) return DecodeGif(bytes);
    if (bytes.compare(0, 2, "BM") == 0) return DecodeBmp(bytes);
    throw std::runtime_error("unknown file kind " + path);
}

std::string ToolPath() { return std::string(VARNEL_BIN_DIR) + "/VarnelSilent"; }

int RunTool(const std::vector<std::string>& args, std::string* output) {
    std::string cmd = "'" + ToolPath() + "'";
    for (const auto& a : args) {
        std::string q;
        for (char c : a) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
        cmd += " '" + q + "'";
    }
    cmd += " 2>&1";
    FILE* pipe = popen(cmd.c_str(), "r");
    if (!pipe) return -1;
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) text.append(buf, n);
    int status = pclose(pipe);
    if (output) *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
