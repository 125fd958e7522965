// Helpers of the converter tests: images made in code, decoders of the written files, the tool.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "Converter.h"

// A BGRA image whose pixel (x, y) has blue x, green y, red 7, alpha 255 (unique per pixel while
// both sides stay below 256), so moved pixels can be traced.
cv::Mat CoordinateImage(int width, int height);
// A BGRA image of one colour.
cv::Mat SolidImage(int width, int height, cv::Scalar bgra);

// A loader serving images made in code by file name; an unknown name raises EInvalidGraphic.
struct TFakeFiles {
    std::map<std::string, TSourceImage> Images;
    TImageLoader Loader() const;
};

// A decoded output file: its stored form and its pixels as BGRA.
struct TDecoded {
    std::string Kind;        // "png", "jpeg", "gif", "bmp"
    int Width = 0, Height = 0;
    int Bits = 0;            // PNG: bit depth x channels (palette: index bits); JPEG: 8 x components;
                             // GIF: bits of the colour table; BMP: biBitCount
    int PngColorType = -1;   // PNG colour type
    bool PngSBit = false;    // PNG: an sBIT chunk is present
    uint32_t BmpCompression = 0;
    std::vector<uint32_t> BmpMasks;   // BMP bit fields, when present
    cv::Mat Pixels;          // CV_8UC4 BGRA (empty for BMP at 15 and 16 bits)
};

// Decodes PNG, JPEG, GIF or BMP bytes (test-side decoders, independent of the tool's code).
TDecoded DecodeFile(const std::string& path);

// Runs the tool program with the arguments (each quoted for the shell); returns its exit code and
// fills `output` with stdout and stderr when given.
int RunTool(const std::vector<std::string>& args, std::string* output = nullptr);
std::string ToolPath();
