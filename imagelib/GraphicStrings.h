// The image library's texts: messages and format descriptions. Messages with %s are filled through
// Format. One section per area of the library; each text is used exactly as it stands here.
#pragma once

namespace GraphicStrings {

// --- Image base class and progress (VaderezUv) ---
inline constexpr const char* gesInvalidImage = "Cannot load image. Invalid or unexpected %s image format.";
inline constexpr const char* gesPreparing = "Preparing...";
inline constexpr const char* gesLoadingData = "Loading data...";
inline constexpr const char* gesUpsampling = "Upsampling...";
inline constexpr const char* gesTransfering = "Transfering...";

// --- Format list (VaderezUv) ---
inline constexpr const char* gesRegistration = "Attempt to register %s twice.";
// Descriptions of the registered formats.
inline constexpr const char* gesDescBitmaps = "Windows bitmaps";
inline constexpr const char* gesDescRLEBitmaps = "Run length encoded Windows bitmaps";
inline constexpr const char* gesDescDIBs = "Device independant Windows bitmaps";
inline constexpr const char* gesDescIcons = "Windows icons";
inline constexpr const char* gesDescMetaFiles = "Windows metafiles";
inline constexpr const char* gesDescEnhancedMetaFiles = "Windows enhanced meta files";
inline constexpr const char* gesDescJPGImages = "JPG images";
inline constexpr const char* gesDescJFIFImages = "JFIF images";
inline constexpr const char* gesDescJPEImages = "JPE images";
inline constexpr const char* gesDescJPEGImages = "JPEG images";
inline constexpr const char* gesDescTruevision = "Truevision images";
inline constexpr const char* gesDescTIFF = "Tagged image file format images";
inline constexpr const char* gesDescMacTIFF = "Macintosh TIFF images";
inline constexpr const char* gesDescPCTIF = "PC TIF images";
inline constexpr const char* gesDescGFIFax = "GFI fax images";
inline constexpr const char* gesDescEPS = "Encapsulated Postscript images";
inline constexpr const char* gesDescPCX = "ZSoft Paintbrush images";
inline constexpr const char* gesDescWordScreenCapture = "Word 5.x screen capture images";
inline constexpr const char* gesDescAliasWavefront = "Alias/Wavefront images";
inline constexpr const char* gesDescSGI = "SGI images";
inline constexpr const char* gesDescSGITrueColor = "SGI true color images";
inline constexpr const char* gesDescSGITrueColorAlpha = "SGI true color images with alpha";
inline constexpr const char* gesDescSGIMono = "SGI black/white images";
inline constexpr const char* gesDescPhotoshop = "Photoshop images";
inline constexpr const char* gesDescPortableMap = "Portable map images";
inline constexpr const char* gesDescPortablePixelMap = "Portable pixel map images";
inline constexpr const char* gesDescPortableGrayMap = "Portable gray map images";
inline constexpr const char* gesDescPortableBitmap = "Portable bitmap images";
inline constexpr const char* gesDescAutodesk = "Autodesk images";
inline constexpr const char* gesDescKodakPhotoCD = "Kodak Photo-CD images";
inline constexpr const char* gesDescHalo = "Dr. Halo images";
inline constexpr const char* gesDescPaintShopPro = "Paintshop Pro images";
inline constexpr const char* gesDescPortableNetworkGraphic = "Portable network graphic images";

// --- Colour manager (GraphicColor) ---
inline constexpr const char* gesInvalidColorFormat =
    "Color depth is invalid. Bits per sample must be 1, 2, 4, 8 or 16.";
inline constexpr const char* gesInvalidSampleCount =
    "Sample count per pixel does not correspond to the given color scheme.";
inline constexpr const char* gesInvalidSubSampling = "Subsampling value is invalid. Allowed are 1, 2 and 4.";
inline constexpr const char* gesVerticalSubSamplingError =
    "Vertical subsampling value must be <= horizontal subsampling value.";
inline constexpr const char* gesIndexedNotSupported =
    "Conversion between indexed and non-indexed pixel formats is not supported.";
inline constexpr const char* gesConversionUnsupported = "Color conversion failed. Could not find a proper method.";
// %d: the number of source planes needed, %d: the number given.
inline constexpr const char* gesTooFewPlanes = "Color conversion failed. %d source planes are needed, %d were given.";

// --- Decoders (GraphicCompression) ---
inline constexpr const char* gesLZ77Error = "LZ77 decompression error.";
inline constexpr const char* gesJPEGEOI = "JPEG decompression error. Unexpected end of input.";
inline constexpr const char* gesJPEGWarningCaption = "Warning";
inline constexpr const char* gesJPEGStripSize = "Improper JPEG strip/tile size.";
inline constexpr const char* gesJPEGComponentCount = "Improper JPEG component count.";
inline constexpr const char* gesJPEGDataPrecision = "Improper JPEG data precision.";
inline constexpr const char* gesJPEGSamplingFactors = "Improper JPEG sampling factors.";
inline constexpr const char* gesJPEGBogusTableField = "Bogus JPEG tables field.";
inline constexpr const char* gesJPEGFractionalLine = "Fractional JPEG scanline unsupported.";
inline constexpr const char* gesJPEGError = "JPEG error #%d";

// --- Readers ---

// Texts shared by the readers; %s: the format name (the last %s where there are two).
inline constexpr const char* gesInvalidColorFormatIn = "Invalid color format in %s file.";
inline constexpr const char* gesCRCError = "Cannot load image. CRC error found in %s file.";
// %s: what is not supported.
inline constexpr const char* gesNotSupported = "Cannot load image. %s not supported for %s files.";
inline constexpr const char* gesInvalidPalette = "Cannot load image. Palette in %s file is invalid.";
inline constexpr const char* gesCompressionError = "Cannot load image. Compression error found in %s file.";
inline constexpr const char* gesExtraCompressedData = "Cannot load image. Extra compressed data found in %s file.";

// Targa reader and writer (TTargaGraphic)
inline constexpr const char* gesTargaName = "Targa";
// %d, %d: the bitmap's width and height.
inline constexpr const char* gesTargaTooLarge =
    "Cannot save image. Targa images are at most 65535 x 65535 pixels; this one is %d x %d.";

// PNG reader (TPNGGraphic)
inline constexpr const char* gesPNGFormatName = "PNG";
inline constexpr const char* gesPNGCompressionScheme = "The compression scheme is";
inline constexpr const char* gesPNGUnknownCriticalChunk = "Cannot load PNG image. Unexpected but critical chunk detected.";

}  // namespace GraphicStrings
