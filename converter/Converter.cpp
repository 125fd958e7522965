#include "Converter.h"

#include <cstdio>
#include <new>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <sys/stat.h>

#include "Classes.h"
#include "Dialogs.h"

int OutputBits(TOutputType type, int requestedBits, const TSourceImage& source) {
    int bits = requestedBits;
    if (bits == 0) bits = source.HasAlpha ? 32 : source.Bits == 32 ? 24 : source.Bits;
    switch (type) {
    case TOutputType::Jpeg:
        // JPEG stores 8-bit grey or 24-bit colour; lower depths reduce the colours first.
        return bits == 32 ? 24 : bits;
    case TOutputType::Gif:
        return bits == 1 || bits == 4 ? bits : 8;
    case TOutputType::Tga:
        // Targa stores colour maps at 8 bits and 16-bit pixels as 5-5-5.
        return bits == 1 || bits == 4 ? 8 : bits == 16 ? 15 : bits;
    default:
        return bits;
    }
}

namespace {

// The source as a top-down BGRA image of its own.
cv::Mat ToBGRA(const TSourceImage& source) {
    cv::Mat image;
    if (source.Pixels.type() == CV_8UC3) cv::cvtColor(source.Pixels, image, cv::COLOR_BGR2BGRA);
    else if (source.Owner) image = source.Pixels.clone();   // a view of memory that is not ours
    else image = source.Pixels;
    if (source.BottomUp) cv::flip(image, image, 0);
    return image;
}

}  // namespace

std::vector<uint8_t> ConvertImage(TSourceImage source, const TConverterOptions& options, TOutputType type) {
    CV_Assert((source.Pixels.type() == CV_8UC4 || source.Pixels.type() == CV_8UC3) && !source.Pixels.empty());
    const int bits = OutputBits(type, options.BitDepth, source);
    const cv::Scalar fill = FillScalar(options.FillColor);
    // Transparency survives only into 32-bit output; otherwise it is flattened over the fill colour
    // first, so every later step works on opaque pixels.
    const bool keepAlpha = source.HasAlpha && bits == 32 && type != TOutputType::Jpeg && type != TOutputType::Gif;
    const int turn = options.Rotate ? ((options.RotationDegrees % 360) + 360) % 360 : 0;
    const bool quarterTurn = turn % 90 == 0, sideways = turn == 90 || turn == 270;

    // The size is planned on the turned image; an arbitrary angle settles it only after rotating.
    TTargetSize target{};
    if (quarterTurn) {
        const int w = sideways ? source.Pixels.rows : source.Pixels.cols;
        const int h = sideways ? source.Pixels.cols : source.Pixels.rows;
        target = ComputeTargetSize(w, h, options);
        CheckImageSize(target.ScaledWidth, target.ScaledHeight);
        CheckImageSize(target.CanvasWidth, target.CanvasHeight);
        // Shrinking an opaque image comes first when nothing before it depends on the pixels'
        // neighbours (the colour effects are per pixel): the large image is never copied.
        if (!source.HasAlpha && options.Effects.find('e') == std::string::npos && target.ScaledWidth < w &&
            target.ScaledHeight < h) {
            ScaleImage(source.Pixels, sideways ? target.ScaledHeight : target.ScaledWidth,
                       sideways ? target.ScaledWidth : target.ScaledHeight);
            source.Owner.reset();
        }
    }
    cv::Mat image = ToBGRA(source);
    source.Pixels.release();
    source.Owner.reset();

    if (source.HasAlpha && !keepAlpha) FlattenAlpha(image, fill);
    ApplyEffects(image, options.Effects);
    if (options.Rotate) RotateImage(image, options.RotationDegrees, fill, keepAlpha);
    if (!quarterTurn) target = ComputeTargetSize(image.cols, image.rows, options);
    ResizeImage(image, target, fill, keepAlpha);
    if (bits == 15 || bits == 16) ReduceTo16Bit(image, bits == 16);

    switch (type) {
    case TOutputType::Png: return EncodePng(image, bits);
    case TOutputType::Jpeg: {
        if (bits == 1 || bits == 4 || bits == 8) {
            // The colours of the palette depth, stored in JPEG's colour form.
            TIndexedImage indexed = QuantizeImage(image, 1 << bits);
            for (int y = 0; y < image.rows; ++y) {
                uint8_t* p = image.ptr<uint8_t>(y);
                const uint8_t* idx = indexed.Indices.data() + size_t(y) * size_t(image.cols);
                for (int x = 0; x < image.cols; ++x, p += 4) {
                    const TPaletteEntry& e = indexed.Palette[idx[x] < indexed.Palette.size() ? idx[x] : 0];
                    p[0] = e.peBlue;
                    p[1] = e.peGreen;
                    p[2] = e.peRed;
                }
            }
        }
        // An image of nothing but grey is stored as grey, unless 24 or 32 bits were asked for.
        bool grey = options.BitDepth != 24 && options.BitDepth != 32 && IsGrey(image);
        return EncodeJpeg(image, grey);
    }
    case TOutputType::Gif: return EncodeGif(image, bits);
    case TOutputType::Bmp: return EncodeBitmap(image, bits);
    case TOutputType::Tga: return EncodeTarga(image, bits);
    }
    return {};
}

namespace {

void Report(const std::string& text) { MessageDlg(text, mtError, {mbOK}); }

// Device and inode of an existing file.
bool FileIdentity(const std::string& path, dev_t& dev, ino_t& ino) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return false;
    dev = st.st_dev;
    ino = st.st_ino;
    return true;
}

}  // namespace

int RunConverter(const std::vector<std::string>& args, const TImageLoader& loader) {
    TConverterOptions options;
    TOutputType type;
    try {
        options = ParseCommandLine(args);
        if (options.Help) {
            std::fputs(UsageText().c_str(), stdout);
            std::fflush(stdout);
            return ecSuccess;
        }
        type = OutputTypeOf(options.OutputFile);
    } catch (const EBadOptions& e) {
        Report(e.Message());
        return ecBadOptions;
    }

    const std::string& in = options.InputFile;
    const std::string& out = options.OutputFile;
    dev_t inDev{}, outDev{};
    ino_t inIno{}, outIno{};
    if (DirectoryExists(in) || !FileIdentity(in, inDev, inIno)) {
        Report(Format("Cannot read \"%s\": the file does not exist", {in}));
        return ecInputFailed;
    }
    const bool outExists = FileIdentity(out, outDev, outIno);
    const bool sameFile = outExists && inDev == outDev && inIno == outIno;
    if (DirectoryExists(out)) {
        Report(Format("Cannot write \"%s\": it is a folder", {out}));
        return ecWriteFailed;
    }
    if (outExists && !options.Overwrite) {
        Report(Format("The output file \"%s\" already exists; use -ow to overwrite it", {out}));
        return ecOutputExists;
    }
    std::string folder = ExtractFilePath(out);
    if (!folder.empty() && !DirectoryExists(folder)) {
        Report(Format("Cannot write \"%s\": the folder does not exist", {out}));
        return ecWriteFailed;
    }

    TSourceImage source;
    try {
        source = loader(in);
        if (source.Pixels.empty() || (source.Pixels.type() != CV_8UC4 && source.Pixels.type() != CV_8UC3))
            throw EInvalidGraphic(Format("The image in \"%s\" is empty", {in}));
    } catch (const std::bad_alloc&) {
        Report(Format("Cannot read \"%s\": out of memory", {in}));
        return ecInputFailed;
    } catch (const std::exception& e) {
        Report(Format("Cannot read \"%s\": %s", {in, e.what()}));
        return ecInputFailed;
    }

    std::vector<uint8_t> bytes;
    try {
        bytes = ConvertImage(std::move(source), options, type);
    } catch (const std::bad_alloc&) {
        Report(Format("Cannot convert \"%s\": out of memory", {in}));
        return ecProcessFailed;
    } catch (const std::exception& e) {
        Report(Format("Cannot convert \"%s\": %s", {in, e.what()}));
        return ecProcessFailed;
    }

    try {
        // Written beside the target under a temporary name and renamed into place: the target is
        // either untouched or complete, also when the process is killed.
        WriteFileAtomically(out, bytes.data(), bytes.size());
    } catch (const std::exception& e) {
        Report(e.what());
        return ecWriteFailed;
    }

    if (options.DeleteInput && !sameFile) {
        // The output is complete and in place; only now may the input go.
        if (!DeleteFile(in)) {
            Report(Format("Converted, but cannot delete \"%s\": %s", {in, SysErrorMessage(errno)}));
            return ecDeleteFailed;
        }
    }
    return ecSuccess;
}
