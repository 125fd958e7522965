// The converter's image pipeline over 8-bit BGRA images (cv::Mat of type CV_8UC4).
#pragma once

#include <memory>
#include <opencv2/core.hpp>
#include <string>

#include "ConverterOptions.h"

// A decoded input image.
struct TSourceImage {
    // CV_8UC4 blue, green, red, alpha (alpha 255 everywhere unless HasAlpha), or CV_8UC3 blue,
    // green, red: a 24-bit source may be a view of the decoder's memory, kept alive by Owner.
    cv::Mat Pixels;
    bool BottomUp = false;             // Pixels holds the bottom row first
    std::shared_ptr<const void> Owner;
    int Bits = 24;                     // the source's bits per pixel (1, 4, 8, 15, 16, 24 or 32)
    bool HasAlpha = false;             // whether the alpha channel carries transparency
};

// Largest image the tool builds, in pixels (4 bytes each).
constexpr int64_t MaxPipelinePixels = int64_t(1) << 27;

// An image too large to build (EOutOfResources).
void CheckImageSize(int64_t width, int64_t height);

// The size a -s / -x request gives a source of width x height (exact for every mode):
// the scaled size and the canvas size (equal unless cut / extend applies).
struct TTargetSize {
    int ScaledWidth, ScaledHeight;
    int CanvasWidth, CanvasHeight;
};
TTargetSize ComputeTargetSize(int width, int height, const TConverterOptions& options);

// Colour as B, G, R, 255 of a platform colour value (system colours resolved).
cv::Scalar FillScalar(TColor color);

// Effects in the order the letters appear; alpha is left alone.
void ApplyEffects(cv::Mat& image, const std::string& letters);
// Clockwise rotation by any whole number of degrees; multiples of 90 are lossless, other angles grow
// the canvas to hold the whole image and paint the uncovered corners in `fill`.
void RotateImage(cv::Mat& image, int degrees, const cv::Scalar& fill, bool hasAlpha);
// Scaling and canvas change as ComputeTargetSize says. Shrinking uses the area filter, enlarging
// Lanczos; an image with transparency is scaled premultiplied so edges keep their colour.
void ResizeImage(cv::Mat& image, const TTargetSize& target, const cv::Scalar& fill, bool hasAlpha);
void ResizeImage(cv::Mat& image, const TConverterOptions& options, const cv::Scalar& fill, bool hasAlpha);
// Scales an image of any channel count to width x height: area filter for shrinking, Lanczos for
// enlarging, each axis with its own when one shrinks and the other grows.
void ScaleImage(cv::Mat& image, int width, int height);
// Composes the image over the fill colour; alpha becomes 255.
void FlattenAlpha(cv::Mat& image, const cv::Scalar& fill);
// Rounds every colour to 5 bits per channel (6 for green when green6) and back to 8 bits.
void ReduceTo16Bit(cv::Mat& image, bool green6);
// Whether every pixel has equal red, green and blue.
bool IsGrey(const cv::Mat& image);
