// Encoders of the converter tool: BGRA images (cv::Mat, CV_8UC4) to file bytes in memory.
#pragma once

#include <cstdint>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "GraphicsTypes.h"

enum class TOutputType : unsigned char { Bmp, Jpeg, Gif, Png, Tga };

// The output type named by a file's extension (.bmp, .jpg, .jpeg, .gif, .png, .tga; any letter
// case). Raises EBadOptions for any other extension.
TOutputType OutputTypeOf(const std::string& fileName);

// An image reduced to a palette of at most 256 colours.
struct TIndexedImage {
    int Width = 0;
    int Height = 0;
    std::vector<uint8_t> Indices;         // Width x Height, one byte per pixel, top row first
    std::vector<TPaletteEntry> Palette;   // at least one entry
};

// Reduces an image's colours (alpha ignored) to at most maxColors (2 to 256): exactly when the image
// has no more colours than that, else with error diffusion.
TIndexedImage QuantizeImage(const cv::Mat& image, int maxColors);

// PNG: bits 1, 4, 8 give a palette image of that depth; 24 RGB; 32 RGBA; 15 and 16 RGB whose
// significant bits (sBIT) are 5-5-5 or 5-6-5 (the image must already be reduced to them).
std::vector<uint8_t> EncodePng(const cv::Mat& image, int bits);
// JPEG (baseline, quality 90): 8-bit grey or 24-bit colour; alpha is ignored.
std::vector<uint8_t> EncodeJpeg(const cv::Mat& image, bool grey);
// GIF (87a): a palette of 2 (bits 1), 16 (bits 4) or 256 (bits 8) colours at most.
std::vector<uint8_t> EncodeGif(const cv::Mat& image, int bits);

// Through the picture layer (PictureIO.cpp). BMP: bits 1, 4, 8 (palette), 15 (5-5-5 words),
// 16 (5-6-5 bit fields), 24, 32 (with alpha), written by the platform bitmap. Targa: bits 8
// (colour map), 15 (5-5-5), 24, 32 (with alpha), written run-length encoded by the library's Targa
// class. For 15 and 16 the image must already be reduced to those levels.
std::vector<uint8_t> EncodeBitmap(const cv::Mat& image, int bits);
std::vector<uint8_t> EncodeTarga(const cv::Mat& image, int bits);
