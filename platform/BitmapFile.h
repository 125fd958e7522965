// Reading and writing Windows device-independent bitmaps, shared by TBitmap and TIcon.
#pragma once

#include <cstdint>

#include "Graphics.h"

namespace BitmapFile {

// Reads a device-independent bitmap whose info header starts at the stream's position into
// `bitmap`. `fileStart` and `bitsOffset` locate the pixel data of a bitmap file (offset from
// fileStart); a bitsOffset of 0 means the pixels follow the palette directly. `iconImage`: the
// header's height counts the image and its mask (icon resources); only the image is read.
// Invalid data raises EInvalidGraphic "Bitmap image is not valid".
void ReadDIB(TBitmap& bitmap, TStream& stream, int64_t fileStart, uint32_t bitsOffset, bool iconImage);

// Writes the file header, a BITMAPINFOHEADER, the bit fields or the palette, and the rows.
void WriteBitmapFile(const TBitmap& bitmap, TStream& stream);

}  // namespace BitmapFile
