// The converter's bridge to the picture layer: decoding the input, BMP and Targa output.
#include "Converter.h"

TSourceImage LoadSourceImage(const std::string& fileName) {
    std::string ext = LowerCase(ExtractFileExt(fileName));
    if (ext == ".wmf" || ext == ".emf")
        throw EInvalidGraphic(Format("\"%s\" is a metafile (WMF, EMF); metafiles cannot be converted", {fileName}));
    throw EInvalidGraphic(Format("Unknown picture file extension (%s)", {ext}));
}

std::vector<uint8_t> EncodeBitmap(const cv::Mat&, int) { throw EWriteError("BMP output is not available"); }

std::vector<uint8_t> EncodeTarga(const cv::Mat&, int) { throw EWriteError("Targa output is not available"); }
