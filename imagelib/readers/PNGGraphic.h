// Portable Network Graphics reader.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "GraphicCompression.h"
#include "VaderezUv.h"

// The 13 fields of the IHDR chunk, width and height in host order.
struct TIHDRChunk {
    uint32_t Width = 0;
    uint32_t Height = 0;
    uint8_t BitDepth = 0;
    uint8_t ColorType = 0;
    uint8_t Compression = 0;
    uint8_t Filter = 0;
    uint8_t Interlace = 0;
};

// Loads a PNG file into the bitmap: chunk checksums, the five row filters, Adam7 interlacing,
// gamma (gAMA), background (bKGD) and transparent colour (tRNS), palettes of 1, 2, 4 and 8 bits,
// grey, grey with alpha, RGB and RGBA of 8 and 16 bits.
//
// Bounds on corrupt files: a chunk is read into memory only when the stream still holds all of its
// bytes (else the stream's read error, without allocating); an IHDR of fewer than 13 bytes or a
// width or height of 0 or above 2^31 - 1 is not a PNG; gAMA, bKGD and tRNS chunks too short for
// their values are read and checked but change nothing; image data chunks that appear again after
// other chunks are read and checked but not decoded a second time. When the image data ends before
// the image does, the bitmap keeps its full size and the pixels that got no data show the
// background (bKGD, else white): the work spent on a file is bounded by the data it holds, not by
// the size its header claims.
class TPNGGraphic : public TVaderezUvGraphic {
public:
    VARNEL_GRAPHIC_CLASS()

    TPNGGraphic();
    ~TPNGGraphic() override;

    // True when the 8 bytes at the position are the PNG signature (more than 8 bytes must remain).
    // The position is restored.
    static bool AcceptsStream(TStream& stream);
    // Reads the signature, IHDR and the chunks up to the first gAMA or IEND. `index` is ignored.
    bool ReadImageInfo(TStream& stream, uint32_t index) override;
    void LoadFromStream(TStream& stream) override;

    // The reader's state, kept for one load.
    uint32_t ChunkLength = 0;
    uint32_t ChunkTag = 0;           // the four type bytes, the first in the most significant byte
    std::vector<uint8_t> ChunkData;  // the data of the chunk read last
    uint32_t RunningCrc = 0;
    std::unique_ptr<TLZ77Decoder> Decompressor;
    uint32_t ChunkDataSize = 0;
    uint32_t ChunkReadPos = 0;       // offset into ChunkData
    uint32_t PixelStride = 1;
    HPALETTE PendingPalette;
    TColor FillColor = clWhite;
    TColor KeyColor = clNone;

protected:
    void NextChunkHeader();
    void LoadChunkData();
    // Compares with the letter case ignored (bit 5 of every type byte cleared on both sides).
    bool ChunkTypeIs(const char* type) const;
    uint32_t ConfigureColorDepth(uint8_t colorType, uint8_t bitDepth);
    void DecodeImageData(const TIHDRChunk& header);
    // Fills the buffer with `count` inflated bytes; returns how many it got (fewer only when the
    // image data ran out, which also sets dataEnded_).
    uint32_t DecompressRow(uint8_t* buffer, uint32_t count);
    // Undoes the row filter in place. `row` and `prior` must stay readable for 8 bytes past `length`.
    static void UnfilterRow(uint8_t filterType, uint8_t* row, size_t length, uint32_t stride, const uint8_t* prior);
    void ApplyBackgroundChunk(const TIHDRChunk& header);
    void ApplyTransparencyChunk(const TIHDRChunk& header);

private:
    // IHDR, then the chunk loop up to IEND.
    void LoadChunks();
    void SkipChunk();
    // An 8-bit colour level from a bKGD or tRNS sample in the image's depth, gamma-corrected like
    // the pixels.
    uint8_t SampleLevel(uint16_t value, uint8_t bitDepth, bool grey) const;
    void DecodeRows(const TIHDRChunk& header, uint32_t sampleFactor);
    // Fills rows first..end-1 with FillColor.
    void FillRows(int32_t first, int32_t end);

    bool colorConfigured_ = false;
    bool dataEnded_ = false;
};
