#include "ImagePipeline.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>

void CheckImageSize(int64_t width, int64_t height) {
    if (width < 1 || height < 1 || width > MaxTargetSide || height > MaxTargetSide ||
        width * height > MaxPipelinePixels)
        throw EOutOfResources(Format("The resulting image of %d x %d pixels is too large (at most %d pixels)",
                                     {width, height, MaxPipelinePixels}));
}

namespace {

int RoundSide(double v) { return int(std::max<int64_t>(1, Round(v))); }

}  // namespace

TTargetSize ComputeTargetSize(int width, int height, const TConverterOptions& o) {
    TTargetSize t{width, height, width, height};
    if (!o.Resize) return t;
    int64_t boxW = o.TargetWidth, boxH = o.TargetHeight;
    if (o.SizeInPercent) {
        boxW = RoundSide(double(width) * o.TargetWidth / 100.0);
        boxH = RoundSide(double(height) * o.TargetHeight / 100.0);
        CheckImageSize(boxW, boxH);
    }
    if (o.Proportional) {
        double scale = std::min(double(boxW) / width, double(boxH) / height);
        t.ScaledWidth = int(std::min<int64_t>(boxW, RoundSide(width * scale)));
        t.ScaledHeight = int(std::min<int64_t>(boxH, RoundSide(height * scale)));
        t.CanvasWidth = o.SizeMode == TSizeMode::CutExtend ? int(boxW) : t.ScaledWidth;
        t.CanvasHeight = o.SizeMode == TSizeMode::CutExtend ? int(boxH) : t.ScaledHeight;
    } else if (o.SizeMode == TSizeMode::Stretch) {
        t.ScaledWidth = t.CanvasWidth = int(boxW);
        t.ScaledHeight = t.CanvasHeight = int(boxH);
    } else {
        t.CanvasWidth = int(boxW);
        t.CanvasHeight = int(boxH);
    }
    return t;
}

cv::Scalar FillScalar(TColor color) {
    TColor c = ColorToRGB(color);
    return cv::Scalar(GetBValue(c), GetGValue(c), GetRValue(c), 255);
}

void ApplyEffects(cv::Mat& image, const std::string& letters) {
    // Colour matrices act on B, G, R, A rows; alpha passes through.
    static const cv::Matx44f sepia(0.131f, 0.534f, 0.272f, 0, 0.168f, 0.686f, 0.349f, 0, 0.189f, 0.769f, 0.393f, 0,
                                   0, 0, 0, 1);
    static const cv::Matx44f grey(0.114f, 0.587f, 0.299f, 0, 0.114f, 0.587f, 0.299f, 0, 0.114f, 0.587f, 0.299f, 0,
                                  0, 0, 0, 1);
    for (char letter : letters) {
        switch (letter) {
        case 's': cv::transform(image, image, sepia); break;
        case 'b': cv::transform(image, image, grey); break;
        case 'i': cv::bitwise_xor(image, cv::Scalar(255, 255, 255, 0), image); break;
        case 'e': {
            // Relief: the difference along the diagonal, around mid grey, per colour channel.
            static const cv::Matx33f kernel(-1, -1, 0, -1, 0, 1, 0, 1, 1);
            cv::Mat bgr, alpha;
            cv::cvtColor(image, bgr, cv::COLOR_BGRA2BGR);
            cv::extractChannel(image, alpha, 3);
            cv::filter2D(bgr, bgr, -1, kernel, cv::Point(-1, -1), 128, cv::BORDER_REPLICATE);
            cv::cvtColor(bgr, image, cv::COLOR_BGR2BGRA);
            cv::insertChannel(alpha, image, 3);
            break;
        }
        default: break;
        }
    }
}

void RotateImage(cv::Mat& image, int degrees, const cv::Scalar& fill, bool hasAlpha) {
    int d = ((degrees % 360) + 360) % 360;
    if (d == 0) return;
    if (d == 90) { cv::rotate(image, image, cv::ROTATE_90_CLOCKWISE); return; }
    if (d == 180) { cv::rotate(image, image, cv::ROTATE_180); return; }
    if (d == 270) { cv::rotate(image, image, cv::ROTATE_90_COUNTERCLOCKWISE); return; }
    double rad = d * CV_PI / 180.0;
    double c = std::fabs(std::cos(rad)), s = std::fabs(std::sin(rad));
    int64_t w = image.cols, h = image.rows;
    // Round away the float noise before taking the ceiling, so an exact fit stays exact.
    int64_t nw = std::max<int64_t>(1, int64_t(std::ceil(w * c + h * s - 1e-6)));
    int64_t nh = std::max<int64_t>(1, int64_t(std::ceil(w * s + h * c - 1e-6)));
    CheckImageSize(nw, nh);
    // OpenCV's positive angle turns counter-clockwise on screen.
    cv::Mat m = cv::getRotationMatrix2D(cv::Point2f((w - 1) / 2.0f, (h - 1) / 2.0f), -d, 1.0);
    m.at<double>(0, 2) += (nw - w) / 2.0;
    m.at<double>(1, 2) += (nh - h) / 2.0;
    cv::Mat out;
    if (hasAlpha) {
        // Interpolate premultiplied so that transparent pixels lend no colour to the edges.
        cv::Mat pre;
        cv::cvtColor(image, pre, cv::COLOR_RGBA2mRGBA);
        cv::warpAffine(pre, out, m, cv::Size(int(nw), int(nh)), cv::INTER_CUBIC, cv::BORDER_CONSTANT, fill);
        cv::cvtColor(out, out, cv::COLOR_mRGBA2RGBA);
    } else {
        cv::warpAffine(image, out, m, cv::Size(int(nw), int(nh)), cv::INTER_CUBIC, cv::BORDER_CONSTANT, fill);
    }
    image = out;
}

void ScaleImage(cv::Mat& image, int width, int height) {
    if (width == image.cols && height == image.rows) return;
    bool shrinkX = width <= image.cols, shrinkY = height <= image.rows;
    if (shrinkX && shrinkY) {
        cv::resize(image, image, cv::Size(width, height), 0, 0, cv::INTER_AREA);
    } else if (!shrinkX && !shrinkY) {
        cv::resize(image, image, cv::Size(width, height), 0, 0, cv::INTER_LANCZOS4);
    } else {
        // One side shrinks, the other grows: each axis with its own filter.
        if (shrinkX) {
            cv::resize(image, image, cv::Size(width, image.rows), 0, 0, cv::INTER_AREA);
            cv::resize(image, image, cv::Size(width, height), 0, 0, cv::INTER_LANCZOS4);
        } else {
            cv::resize(image, image, cv::Size(image.cols, height), 0, 0, cv::INTER_AREA);
            cv::resize(image, image, cv::Size(width, height), 0, 0, cv::INTER_LANCZOS4);
        }
    }
}

void ResizeImage(cv::Mat& image, const TConverterOptions& options, const cv::Scalar& fill, bool hasAlpha) {
    ResizeImage(image, ComputeTargetSize(image.cols, image.rows, options), fill, hasAlpha);
}

void ResizeImage(cv::Mat& image, const TTargetSize& t, const cv::Scalar& fill, bool hasAlpha) {
    CheckImageSize(t.ScaledWidth, t.ScaledHeight);
    CheckImageSize(t.CanvasWidth, t.CanvasHeight);
    if (t.ScaledWidth != image.cols || t.ScaledHeight != image.rows) {
        if (hasAlpha) {
            cv::cvtColor(image, image, cv::COLOR_RGBA2mRGBA);
            ScaleImage(image, t.ScaledWidth, t.ScaledHeight);
            cv::cvtColor(image, image, cv::COLOR_mRGBA2RGBA);
        } else {
            ScaleImage(image, t.ScaledWidth, t.ScaledHeight);
        }
    }
    if (t.CanvasWidth == image.cols && t.CanvasHeight == image.rows) return;
    // Cut or extend around the centre: the overlap of source and canvas is copied, the rest is fill.
    cv::Mat canvas(t.CanvasHeight, t.CanvasWidth, CV_8UC4, fill);
    int dx = (t.CanvasWidth - image.cols) / 2, dy = (t.CanvasHeight - image.rows) / 2;
    int sx = std::max(0, -dx), sy = std::max(0, -dy);
    int tx = std::max(0, dx), ty = std::max(0, dy);
    int w = std::min(image.cols - sx, t.CanvasWidth - tx), h = std::min(image.rows - sy, t.CanvasHeight - ty);
    if (w > 0 && h > 0) image(cv::Rect(sx, sy, w, h)).copyTo(canvas(cv::Rect(tx, ty, w, h)));
    image = canvas;
}

void FlattenAlpha(cv::Mat& image, const cv::Scalar& fill) {
    const int fb = int(fill[0]), fg = int(fill[1]), fr = int(fill[2]);
    for (int y = 0; y < image.rows; ++y) {
        uint8_t* p = image.ptr<uint8_t>(y);
        uint8_t* end = p + size_t(image.cols) * 4;
        for (; p != end; p += 4) {
            int a = p[3];
            if (a == 255) continue;
            int na = 255 - a;
            p[0] = uint8_t((p[0] * a + fb * na + 127) / 255);
            p[1] = uint8_t((p[1] * a + fg * na + 127) / 255);
            p[2] = uint8_t((p[2] * a + fr * na + 127) / 255);
            p[3] = 255;
        }
    }
}

void ReduceTo16Bit(cv::Mat& image, bool green6) {
    // Table per channel: 8 bits to the nearest 5 (or 6) bit level and back.
    uint8_t t5[256], t6[256];
    for (int v = 0; v < 256; ++v) {
        int q5 = (v * 31 + 127) / 255, q6 = (v * 63 + 127) / 255;
        t5[v] = uint8_t((q5 * 255 + 15) / 31);
        t6[v] = uint8_t((q6 * 255 + 31) / 63);
    }
    const uint8_t* tg = green6 ? t6 : t5;
    for (int y = 0; y < image.rows; ++y) {
        uint8_t* p = image.ptr<uint8_t>(y);
        uint8_t* end = p + size_t(image.cols) * 4;
        for (; p != end; p += 4) {
            p[0] = t5[p[0]];
            p[1] = tg[p[1]];
            p[2] = t5[p[2]];
        }
    }
}

bool IsGrey(const cv::Mat& image) {
    for (int y = 0; y < image.rows; ++y) {
        const uint8_t* p = image.ptr<uint8_t>(y);
        const uint8_t* end = p + size_t(image.cols) * 4;
        for (; p != end; p += 4)
            if (p[0] != p[1] || p[1] != p[2]) return false;
    }
    return true;
}
