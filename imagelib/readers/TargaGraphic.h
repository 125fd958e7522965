// Truevision Targa images: colour-mapped, true-colour and grey, uncompressed or run-length encoded.
// The class reads them into its bitmap and writes a bitmap as a Targa file.
#pragma once

#include <cstdint>

#include "VaderezUv.h"

// The 18-byte file header, all multi-byte fields little-endian.
struct TTargaHeader {
    uint8_t IDLength = 0;
    uint8_t ColorMapType = 0;
    uint8_t ImageType = 0;
    uint16_t ColorMapFirst = 0;
    uint16_t ColorMapLength = 0;
    uint8_t ColorMapEntrySize = 0;
    uint16_t XOrigin = 0;
    uint16_t YOrigin = 0;
    uint16_t Width = 0;
    uint16_t Height = 0;
    uint8_t PixelDepth = 0;
    uint8_t Descriptor = 0;

    static constexpr int Size = 18;
    // Reads the header at the stream's position (a short read raises EReadError).
    static TTargaHeader Read(TStream& stream);
    void Write(TStream& stream) const;
};

class TTargaGraphic : public TVaderezUvGraphic {
public:
    VARNEL_GRAPHIC_CLASS()

    // Whether the stream holds a plausible Targa header at its position (more than 18 bytes left;
    // image type 0, 1, 2, 3, 9, 10 or 11; colour map type 0 or 1; colour map entry size 15, 16, 24
    // or 32; pixel depth 8, 15, 16, 24 or 32). The position is restored in every case.
    static bool AcceptsStream(TStream& stream);
    // Reads the header into ImageProperties; always true (a Targa file holds one image).
    bool ReadImageInfo(TStream& stream, uint32_t index) override;

    // Loads the image at the stream's position. Colour maps use their first-entry index: entry k of
    // the map becomes palette entry first + k (entries below it are black, at most 256 entries). A
    // grey image that declares a colour map skips it. A colour-mapped (8-bit) image whose map entry
    // size is not 15, 16, 24 or 32 is refused with "Cannot load image. Invalid or unexpected Targa
    // image format."; other images skip such a map ((size + 7) / 8 bytes per entry). Uncompressed
    // pixel data shorter than the image raises EReadError before the bitmap is sized, and so does
    // run-length data too short for even the densest packing of the image (a 128-pixel run per
    // 1 + pixel bytes). Other run-length data may be cut short (the rows not reached stay black);
    // a packet that runs past the end of a row continues in the next row.
    void LoadFromStream(TStream& stream) override;

    // Writes the bitmap as a run-length encoded Targa file.
    void SaveToStream(TStream& stream) override;
    // Writes the bitmap as a Targa file at the stream's position, run-length encoded when
    // `compressed`. See SaveBitmapToStream.
    void SaveToStream(TStream& stream, bool compressed);

    // Writes any bitmap as a Targa file, reporting progress through the bitmap's OnProgress:
    // 1- and 4-bit bitmaps are first converted in place to 8 bits and written with a 256-entry,
    // 24-bit colour map (entries beyond the palette's own count are written as zeros); 15-bit
    // bitmaps are written with pixel depth 16 as they are, 16-bit (5-6-5) bitmaps are converted to
    // the 5-5-5 layout Targa uses; 24- and 32-bit bitmaps keep their bytes. Rows go from the top
    // down (descriptor 32). An empty bitmap writes nothing; a width or height above 65535 raises
    // EInvalidGraphic before anything is written.
    static void SaveBitmapToStream(TBitmap& bitmap, TStream& stream, bool compressed);

private:
    static void WriteBitmap(TBitmap& bitmap, TStream& stream, bool compressed, TRect& band);
};
