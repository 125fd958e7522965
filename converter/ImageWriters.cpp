#include "ImageWriters.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gif_lib.h>
#include <jpeglib.h>
#include <libimagequant.h>
#include <memory>
#include <new>
#include <opencv2/imgproc.hpp>
#include <png.h>

#include "ConverterOptions.h"
#include "Dialogs.h"

TOutputType OutputTypeOf(const std::string& fileName) {
    std::string ext = LowerCase(ExtractFileExt(fileName));
    if (ext == ".bmp") return TOutputType::Bmp;
    if (ext == ".jpg" || ext == ".jpeg") return TOutputType::Jpeg;
    if (ext == ".gif") return TOutputType::Gif;
    if (ext == ".png") return TOutputType::Png;
    if (ext == ".tga") return TOutputType::Tga;
    throw EBadOptions(Format("Unknown output type \"%s\" of \"%s\"; expected .bmp, .jpg, .jpeg, .gif, .png or .tga",
                             {ext, fileName}));
}

// ---------------------------------------------------------------------------
// Palettes.

namespace {

struct LiqAttrDeleter { void operator()(liq_attr* p) const { liq_attr_destroy(p); } };
struct LiqImageDeleter { void operator()(liq_image* p) const { liq_image_destroy(p); } };
struct LiqResultDeleter { void operator()(liq_result* p) const { liq_result_destroy(p); } };

}  // namespace

namespace {

// The image's own colours when there are at most maxColors of them (alpha ignored): then the palette
// is exact and no pixel changes. Gives up at the first colour too many.
bool ExactPalette(const cv::Mat& image, int maxColors, TIndexedImage& out) {
    // Open addressing over colour keys; 1024 slots keep the table sparse for 256 colours.
    constexpr uint32_t slots = 1024, empty = 0xFFFFFFFFu;
    uint32_t keys[slots];
    uint8_t values[slots];
    std::fill(std::begin(keys), std::end(keys), empty);
    std::vector<TPaletteEntry> palette;
    std::vector<uint8_t> indices(size_t(image.cols) * size_t(image.rows));
    uint32_t lastKey = empty;
    uint8_t lastIndex = 0;
    for (int y = 0; y < image.rows; ++y) {
        const uint8_t* p = image.ptr<uint8_t>(y);
        uint8_t* dst = indices.data() + size_t(y) * size_t(image.cols);
        for (int x = 0; x < image.cols; ++x, p += 4) {
            const uint32_t key = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
            if (key != lastKey) {
                uint32_t slot = (key * 2654435761u) >> 22;
                while (keys[slot] != empty && keys[slot] != key) slot = (slot + 1) & (slots - 1);
                if (keys[slot] == empty) {
                    if (int(palette.size()) == maxColors) return false;
                    keys[slot] = key;
                    values[slot] = uint8_t(palette.size());
                    palette.push_back({p[2], p[1], p[0], 0});
                }
                lastKey = key;
                lastIndex = values[slot];
            }
            dst[x] = lastIndex;
        }
    }
    out.Width = image.cols;
    out.Height = image.rows;
    out.Indices = std::move(indices);
    out.Palette = std::move(palette);
    return true;
}

}  // namespace

TIndexedImage QuantizeImage(const cv::Mat& image, int maxColors) {
    CV_Assert(image.type() == CV_8UC4);
    maxColors = std::clamp(maxColors, 2, 256);
    TIndexedImage exact;
    if (ExactPalette(image, maxColors, exact)) return exact;
    cv::Mat rgba;
    cv::cvtColor(image, rgba, cv::COLOR_BGRA2RGBA);
    // Alpha is not part of the palette: every pixel counts as opaque.
    cv::Mat alpha(rgba.size(), CV_8UC1, cv::Scalar(255));
    cv::insertChannel(alpha, rgba, 3);

    std::unique_ptr<liq_attr, LiqAttrDeleter> attr(liq_attr_create());
    if (!attr) throw std::bad_alloc();
    liq_set_max_colors(attr.get(), maxColors);
    std::unique_ptr<liq_image, LiqImageDeleter> img(
        liq_image_create_rgba(attr.get(), rgba.ptr(), rgba.cols, rgba.rows, 0));
    if (!img) throw EOutOfResources("Cannot reduce the colours of the image");
    liq_result* raw = nullptr;
    if (liq_image_quantize(img.get(), attr.get(), &raw) != LIQ_OK || !raw)
        throw EOutOfResources("Cannot reduce the colours of the image");
    std::unique_ptr<liq_result, LiqResultDeleter> result(raw);
    liq_set_dithering_level(result.get(), 1.0f);

    TIndexedImage out;
    out.Width = image.cols;
    out.Height = image.rows;
    out.Indices.resize(size_t(image.cols) * size_t(image.rows));
    if (liq_write_remapped_image(result.get(), img.get(), out.Indices.data(), out.Indices.size()) != LIQ_OK)
        throw EOutOfResources("Cannot reduce the colours of the image");
    const liq_palette* pal = liq_get_palette(result.get());
    unsigned count = std::min<unsigned>(pal->count, 256);
    for (unsigned i = 0; i < count; ++i) out.Palette.push_back({pal->entries[i].r, pal->entries[i].g, pal->entries[i].b, 0});
    if (out.Palette.empty()) out.Palette.push_back({});
    return out;
}

// ---------------------------------------------------------------------------
// PNG. libpng reports errors by longjmp: the frames it jumps over hold only trivial objects.

namespace {

struct PngState {
    std::vector<uint8_t>* Out = nullptr;
    char Message[256] = {};
};

void PngError(png_structp png, png_const_charp message) {
    auto* state = static_cast<PngState*>(png_get_error_ptr(png));
    std::snprintf(state->Message, sizeof state->Message, "%s", message ? message : "");
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

void PngWrite(png_structp png, png_bytep data, png_size_t length) {
    auto* state = static_cast<PngState*>(png_get_io_ptr(png));
    bool ok = true;
    try {
        state->Out->insert(state->Out->end(), data, data + length);
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    if (!ok) png_error(png, "out of memory");
}

void PngFlush(png_structp) {}

struct PngJob {
    int Width, Height, Bits;
    const cv::Mat* Image;
    const TIndexedImage* Indexed;
};

// Returns false after a libpng error (message in the state).
bool RunPng(png_structp png, png_infop info, const PngJob& job) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_compression_level(png, 4);
    if (job.Indexed) {
        png_set_IHDR(png, info, png_uint_32(job.Width), png_uint_32(job.Height), job.Bits, PNG_COLOR_TYPE_PALETTE,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_color colors[256];
        int count = int(std::min<size_t>(job.Indexed->Palette.size(), size_t(1) << job.Bits));
        for (int i = 0; i < count; ++i) {
            colors[i].red = job.Indexed->Palette[size_t(i)].peRed;
            colors[i].green = job.Indexed->Palette[size_t(i)].peGreen;
            colors[i].blue = job.Indexed->Palette[size_t(i)].peBlue;
        }
        png_set_PLTE(png, info, colors, count);
        png_set_filter(png, 0, PNG_FILTER_NONE);
        png_write_info(png, info);
        png_set_packing(png);
        for (int y = 0; y < job.Height; ++y)
            png_write_row(png, const_cast<png_bytep>(job.Indexed->Indices.data() + size_t(y) * size_t(job.Width)));
    } else {
        bool alpha = job.Bits == 32;
        png_set_IHDR(png, info, png_uint_32(job.Width), png_uint_32(job.Height), 8,
                     alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        if (job.Bits == 15 || job.Bits == 16) {
            png_color_8 sig{};
            sig.red = sig.blue = 5;
            sig.green = job.Bits == 16 ? 6 : 5;
            png_set_sBIT(png, info, &sig);
        }
        png_write_info(png, info);
        png_set_bgr(png);
        if (!alpha) png_set_filler(png, 0, PNG_FILLER_AFTER);
        for (int y = 0; y < job.Height; ++y) png_write_row(png, const_cast<png_bytep>(job.Image->ptr<uint8_t>(y)));
    }
    png_write_end(png, info);
    return true;
}

}  // namespace

std::vector<uint8_t> EncodePng(const cv::Mat& image, int bits) {
    CV_Assert(image.type() == CV_8UC4);
    TIndexedImage indexed;
    bool palette = bits == 1 || bits == 4 || bits == 8;
    if (palette) indexed = QuantizeImage(image, 1 << bits);
    std::vector<uint8_t> out;
    PngState state;
    state.Out = &out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, PngError, PngWarning);
    if (!png) throw std::bad_alloc();
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        throw std::bad_alloc();
    }
    png_set_write_fn(png, &state, PngWrite, PngFlush);
    PngJob job{image.cols, image.rows, bits, &image, palette ? &indexed : nullptr};
    bool ok = RunPng(png, info, job);
    png_destroy_write_struct(&png, &info);
    if (!ok) throw EWriteError(Format("PNG encoder error: %s", {state.Message}));
    return out;
}

// ---------------------------------------------------------------------------
// JPEG. The error manager leaves by longjmp, over frames that hold only trivial objects.

namespace {

struct JpegError {
    jpeg_error_mgr Manager;
    std::jmp_buf Jump;
};

void JpegErrorExit(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->Jump, 1); }

void JpegOutputMessage(j_common_ptr cinfo) {
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    MessageDlg(text, mtWarning, {mbOK});
}

struct JpegJob {
    jpeg_compress_struct* Info;
    JpegError* Error;
    const cv::Mat* Image;
    bool Grey;
    unsigned char** Buffer;
    unsigned long* Size;
    uint8_t* GreyRow;
};

bool RunJpeg(const JpegJob& job) {
    if (setjmp(job.Error->Jump)) return false;
    jpeg_create_compress(job.Info);
    jpeg_mem_dest(job.Info, job.Buffer, job.Size);
    job.Info->image_width = JDIMENSION(job.Image->cols);
    job.Info->image_height = JDIMENSION(job.Image->rows);
    job.Info->input_components = job.Grey ? 1 : 4;
    job.Info->in_color_space = job.Grey ? JCS_GRAYSCALE : JCS_EXT_BGRX;
    jpeg_set_defaults(job.Info);
    jpeg_set_quality(job.Info, 90, TRUE);
    jpeg_start_compress(job.Info, TRUE);
    while (job.Info->next_scanline < job.Info->image_height) {
        const uint8_t* src = job.Image->ptr<uint8_t>(int(job.Info->next_scanline));
        JSAMPROW row;
        if (job.Grey) {
            for (int x = 0; x < job.Image->cols; ++x) job.GreyRow[x] = src[size_t(x) * 4];
            row = job.GreyRow;
        } else {
            row = const_cast<JSAMPROW>(src);
        }
        jpeg_write_scanlines(job.Info, &row, 1);
    }
    jpeg_finish_compress(job.Info);
    return true;
}

}  // namespace

std::vector<uint8_t> EncodeJpeg(const cv::Mat& image, bool grey) {
    CV_Assert(image.type() == CV_8UC4);
    if (image.cols > JPEG_MAX_DIMENSION || image.rows > JPEG_MAX_DIMENSION)
        throw EOutOfResources(Format("JPEG images are at most %d pixels wide and high", {JPEG_MAX_DIMENSION}));
    jpeg_compress_struct info{};
    JpegError error{};
    info.err = jpeg_std_error(&error.Manager);
    error.Manager.error_exit = JpegErrorExit;
    error.Manager.output_message = JpegOutputMessage;
    std::vector<uint8_t> greyRow(grey ? size_t(image.cols) : 0);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    JpegJob job{&info, &error, &image, grey, &buffer, &size, greyRow.data()};
    bool ok = RunJpeg(job);
    char message[JMSG_LENGTH_MAX] = {};
    if (!ok) (*error.Manager.format_message)(reinterpret_cast<j_common_ptr>(&info), message);
    jpeg_destroy_compress(&info);
    std::unique_ptr<unsigned char, decltype(&std::free)> owned(buffer, &std::free);
    if (!ok) throw EWriteError(Format("JPEG encoder error: %s", {message}));
    return std::vector<uint8_t>(buffer, buffer + size);
}

// ---------------------------------------------------------------------------
// GIF.

namespace {

int GifWrite(GifFileType* gif, const GifByteType* data, int length) {
    auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
    try {
        out->insert(out->end(), data, data + length);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return length;
}

struct GifMapDeleter { void operator()(ColorMapObject* p) const { GifFreeMapObject(p); } };

}  // namespace

std::vector<uint8_t> EncodeGif(const cv::Mat& image, int bits) {
    CV_Assert(image.type() == CV_8UC4);
    if (image.cols > 65535 || image.rows > 65535) throw EOutOfResources("GIF images are at most 65535 pixels wide and high");
    int maxColors = bits == 1 ? 2 : bits == 4 ? 16 : 256;
    TIndexedImage indexed = QuantizeImage(image, maxColors);
    int mapSize = 2;
    while (mapSize < int(indexed.Palette.size())) mapSize *= 2;
    std::vector<GifColorType> colors(size_t(mapSize), GifColorType{0, 0, 0});
    for (size_t i = 0; i < indexed.Palette.size(); ++i)
        colors[i] = {indexed.Palette[i].peRed, indexed.Palette[i].peGreen, indexed.Palette[i].peBlue};
    std::unique_ptr<ColorMapObject, GifMapDeleter> map(GifMakeMapObject(mapSize, colors.data()));
    if (!map) throw std::bad_alloc();

    std::vector<uint8_t> out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, GifWrite, &error);
    if (!gif) throw EWriteError(Format("GIF encoder error: %s", {GifErrorString(error)}));
    bool ok = EGifPutScreenDesc(gif, image.cols, image.rows, map->BitsPerPixel, 0, map.get()) == GIF_OK &&
              EGifPutImageDesc(gif, 0, 0, image.cols, image.rows, false, nullptr) == GIF_OK;
    for (int y = 0; ok && y < image.rows; ++y)
        ok = EGifPutLine(gif, indexed.Indices.data() + size_t(y) * size_t(image.cols), image.cols) == GIF_OK;
    if (!ok) error = gif->Error;
    int closeError = 0;
    if (EGifCloseFile(gif, &closeError) != GIF_OK && ok) {
        ok = false;
        error = closeError;
    }
    if (!ok) throw EWriteError(Format("GIF encoder error: %s", {GifErrorString(error)}));
    return out;
}
