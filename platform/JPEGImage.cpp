#include "JPEGImage.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

#include <jerror.h>
#include <jpeglib.h>

const TGraphicClass TJPEGImage::Class{"TJPEGImage", &TGraphic::Class, &CreateGraphicInstance<TJPEGImage>, nullptr};

namespace {

// Working memory libjpeg may take beyond the bitmap (progressive coefficient buffers).
constexpr long MaxJpegWorkMemory = 512L * 1024 * 1024;
// Progressive files with more scans than any encoder writes are refused (each scan re-reads the
// coefficients of the whole image).
constexpr int MaxScans = 1000;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    int code;
    bool tooManyScans;
    bool dataEnded;  // the data ran out, or ended with its end-of-image marker, before the image did
};

extern "C" void JpegErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    err->code = cinfo->err->msg_code;
    std::longjmp(err->jump, 1);
}

// Warnings of damaged data are not shown. Running out of data is noted: the rows decoded so far are
// kept, and the rest (which libjpeg would make up from nothing, up to a gigabyte of it for a few
// bytes of header) is not decoded.
extern "C" void JpegEmitMessage(j_common_ptr cinfo, int level) {
    if (level != -1 || !cinfo->is_decompressor) return;
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    const int code = cinfo->err->msg_code;
    if (code == JWRN_JPEG_EOF ||
        (code == JWRN_HIT_MARKER && reinterpret_cast<j_decompress_ptr>(cinfo)->unread_marker == 0xD9))
        err->dataEnded = true;
}
extern "C" void JpegOutputMessage(j_common_ptr) {}

extern "C" void JpegProgress(j_common_ptr cinfo) {
    if (cinfo->is_decompressor) {
        auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
        if (d->input_scan_number > MaxScans) {
            auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
            err->tooManyScans = true;
            std::longjmp(err->jump, 1);
        }
    }
}

struct Decompressor {
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    jpeg_progress_mgr progress{};
    bool created = false;
    ~Decompressor() {
        if (created) jpeg_destroy_decompress(&cinfo);
    }
};

// Adobe writes CMYK inverted (0 = full ink); others write it plain.
void CmykRowToBgr(const uint8_t* cmyk, uint8_t* bgr, uint32_t width, bool inverted) {
    for (uint32_t x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
        unsigned c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
        if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
        bgr[0] = uint8_t((y * k + 127) / 255);
        bgr[1] = uint8_t((m * k + 127) / 255);
        bgr[2] = uint8_t((c * k + 127) / 255);
    }
}

}  // namespace

void TJPEGImage::LoadFromStream(TStream& stream) {
    const int64_t size = stream.Remaining();
    if (size > int64_t(MaxImageBytes)) throw EInvalidGraphic("JPEG file too large");
    std::vector<uint8_t> data(static_cast<size_t>(size));
    stream.ReadBuffer(data.data(), size);

    // Everything with a destructor lives outside the part that libjpeg may leave through longjmp.
    auto d = std::make_unique<Decompressor>();
    TBitmap bitmap;
    std::vector<uint8_t> cmykRow;
    jpeg_decompress_struct& cinfo = d->cinfo;

    cinfo.err = jpeg_std_error(&d->err.pub);
    d->err.pub.error_exit = JpegErrorExit;
    d->err.pub.emit_message = JpegEmitMessage;
    d->err.pub.output_message = JpegOutputMessage;
    if (setjmp(d->err.jump)) {
        if (d->err.tooManyScans) throw EInvalidGraphic("JPEG image has too many scans");
        throw EInvalidGraphic(Format("JPEG error #%d", {d->err.code}));
    }
    jpeg_create_decompress(&cinfo);
    d->created = true;
    cinfo.mem->max_memory_to_use = MaxJpegWorkMemory;
    d->progress.progress_monitor = JpegProgress;
    cinfo.progress = &d->progress;
    jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&cinfo, TRUE);

    bool cmyk = false;
    const bool inverted = cinfo.saw_Adobe_marker;
    switch (cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE: cinfo.out_color_space = JCS_GRAYSCALE; break;
    case JCS_CMYK:
    case JCS_YCCK:
        cinfo.out_color_space = JCS_CMYK;
        cmyk = true;
        break;
    default: cinfo.out_color_space = JCS_EXT_BGR; break;
    }
    const bool gray = cinfo.out_color_space == JCS_GRAYSCALE;
    // The bitmap's size is checked (and allocated) before libjpeg starts its own work.
    bitmap.SetPixelFormat(gray ? pf8bit : pf24bit);
    if (gray) {
        TLogPalette log;
        log.palNumEntries = 256;
        for (int i = 0; i < 256; ++i) log.palPalEntry[size_t(i)] = TPaletteEntry{uint8_t(i), uint8_t(i), uint8_t(i), 0};
        bitmap.SetPalette(CreatePalette(log));
    }
    bitmap.SetSize(int32_t(cinfo.image_width), int32_t(cinfo.image_height));
    if (cmyk) cmykRow.resize(size_t(cinfo.image_width) * 4);

    jpeg_start_decompress(&cinfo);
    if (cinfo.output_width != cinfo.image_width || cinfo.output_height != cinfo.image_height)
        throw EInvalidGraphic("JPEG image is not valid");
    const JDIMENSION mcuRows = JDIMENSION(cinfo.max_v_samp_factor) * DCTSIZE;
    while (cinfo.output_scanline < cinfo.output_height) {
        uint8_t* target = bitmap.ScanLine(int32_t(cinfo.output_scanline));
        JSAMPROW row = cmyk ? cmykRow.data() : target;
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) break;
        if (cmyk) CmykRowToBgr(cmykRow.data(), target, cinfo.output_width, inverted);
        // Files of several scans are read completely by jpeg_start_decompress; only a single-scan
        // file is decoded while its rows are read, one row of MCUs at a time: the row of MCUs in
        // which the data ended is still given out.
        if (d->err.dataEnded && !jpeg_has_multiple_scans(&cinfo) && cinfo.output_scanline % mcuRows == 0) break;
    }
    const bool progressive = cinfo.progressive_mode;
    if (cinfo.output_scanline < cinfo.output_height)
        jpeg_abort_decompress(&cinfo);  // data cut short: the rows not reached stay black
    else
        jpeg_finish_decompress(&cinfo);

    image_.Swap(bitmap);
    data_ = std::move(data);
    grayscale_ = gray;
    progressive_ = progressive;
}

void TJPEGImage::SaveToStream(TStream& stream) { stream.WriteBuffer(data_.data(), int64_t(data_.size())); }

void TJPEGImage::Assign(const TGraphic& source) {
    if (&source == this) return;
    if (!source.InheritsFrom(&TJPEGImage::Class)) {
        TGraphic::Assign(source);
        return;
    }
    const auto& src = static_cast<const TJPEGImage&>(source);
    image_.Assign(src.image_);
    data_ = src.data_;
    grayscale_ = src.grayscale_;
    progressive_ = src.progressive_;
}

void TJPEGImage::AssignTo(TGraphic& dest) const {
    if (dest.InheritsFrom(&TBitmap::Class))
        dest.Assign(image_);
    else
        TGraphic::AssignTo(dest);
}
