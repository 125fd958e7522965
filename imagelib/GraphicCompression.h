// The decoders of the image library: one class per compression scheme, all driven through the
// TDecoder interface. Readers put packed bytes into memory and hand the buffer and a target buffer to
// DecodeBlock.
//
// Bounds. Every decoder trusts nothing in the packed data: it never reads more than SourceLength
// bytes from Source and never writes more than the target size (TargetLength bytes, or the units
// stated for the class) to Target. A packet that crosses either limit is cut there; decoding ends
// at the source end or when the target is full. Negative lengths count as 0. What the part of the
// target that was not reached holds is left as it was (the CCITT decoders clear their target first).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <zlib.h>

#include "Classes.h"
#include "SysUtils.h"
#include "VaderezUv.h"

// Raised by the decoders built on zlib and libjpeg for errors of the data or the library.
class EGraphicCompression : public Exception {
public:
    using Exception::Exception;
};

// The decoder interface. Source and Target are passed by reference so that a decoder can report
// where it stopped; each class states whether it writes them back.
class TDecoder {
public:
    virtual ~TDecoder() = default;
    TDecoder() = default;
    TDecoder(const TDecoder&) = delete;
    TDecoder& operator=(const TDecoder&) = delete;

    virtual void DecodeBlock(void*& Source, void*& Target, int32_t SourceLength, int32_t TargetLength) = 0;
    virtual void EndDecoding() {}
    virtual void BeginDecoding() {}
    virtual void EncodeBlock(void* Source, void* Target, uint32_t Count, uint32_t& WrittenBytes) = 0;
    virtual void EndEncoding() {}
    virtual void BeginEncoding() {}
};

// ---------------------------------------------------------------------------------------------
// Run-length decoders. They raise nothing.

// Truevision Targa packets. TargetLength counts pixels (of PixelDepth 8, 15, 16, 24 or 32 bits;
// any other depth decodes nothing); SourceLength is the number of bytes really available at Source
// (the Targa reader passes the bytes it read, not the buffer's capacity). Source is written back
// to the first byte after the last packet read; a packet that runs past the pixels wanted is
// written only up to TargetLength pixels, but Source still moves past all of it (within the
// source), so that the next row starts at the next packet header.
// EncodeBlock writes Targa packets for Count pixels; Target must hold MaxEncodedSize(Count) bytes.
class TTargaRLEDecoder : public TDecoder {
public:
    explicit TTargaRLEDecoder(uint32_t PixelDepth) : PixelDepth_(PixelDepth) {}
    void DecodeBlock(void*& Source, void*& Target, int32_t SourceLength, int32_t TargetLength) override;
    void EncodeBlock(void* Source, void* Target, uint32_t Count, uint32_t& WrittenBytes) override;
    uint32_t PixelDepth() const { return PixelDepth_; }
    // A size the packets for `Count` pixels never exceed: Count x (bytes per pixel + 1), which
    // twice the row size covers.
    size_t MaxEncodedSize(uint32_t Count) const;

private:
    uint32_t PixelDepth_;
};

// TIFF and Photoshop PackBits. Both lengths in bytes; a run whose value byte lies beyond
// SourceLength ends decoding.
class TPackbitsRLEDecoder : public TDecoder {
public:
    void DecodeBlock(void*& Source, void*& Target, int32_t SourceLength, int32_t TargetLength) override;
    void EncodeBlock(void*, void*, uint32_t, uint32_t&) override {}
};

// ZSoft PCX. Both lengths in bytes.
class TPCXRLEDecoder : public TDecoder {
public:
    void DecodeBlock(void*& Source, void*& Target, int32_t SourceLength, int32_t TargetLength) override;
    void EncodeBlock(void*, void*, uint32_t, uint32_t&) override {}
};

// SGI rows of 8- or 16-bit samples. Both lengths in bytes: the SGI reader passes the packed row's
// byte count and the channel buffer's size in bytes (ImageWidth times bytes per sample). A count
// of 0 ends the row as well.
class TSGIRLEDecoder : public TDecoder {
public:
    explicit TSGIRLEDecoder(uint8_t SampleDepth) : SampleDepth_(SampleDepth) {}
    void DecodeBlock(void*& Source, void*& Target, int32_t SourceLength, int32_t TargetLength) override;
    void EncodeBlock(void*, void*, uint32_t, uint32_t&) override {}

private:
    uint8_t SampleDepth_;
};

// One row of a Dr. Halo CUT file. SourceLength is the number of bytes left in the buffer from
// Source on; TargetLength the bytes of the bitmap row. Source is written back to the byte after the
// row's end marker (or to the source end when the marker is missing). When the row decodes to more
// than TargetLength bytes the surplus is dropped and its packets are passed over up to the marker,
// so the next row still starts in the right place.
class TCUTRLEDecoder : public TDecoder {
public:
    void DecodeBlock(void*& Source, void*& Target, int32_t SourceLength, int32_t TargetLength) override;
    void EncodeBlock(void*, void*, uint32_t, uint32_t&) override {}
};

// Paint Shop Pro channel blocks. Both lengths in bytes.
class TPSPRLEDecoder : public TDecoder {
public:
    void DecodeBlock(void*& Source, void*& Target, int32_t SourceLength, int32_t TargetLength) override;
    void EncodeBlock(void*, void*, uint32_t, uint32_t&) override {}
};

// Wavefront RLA channels. Both lengths in bytes.
class TRLADecoder : public TDecoder {
public:
    void DecodeBlock(void*& Source, void*& Target, int32_t SourceLength, int32_t TargetLength) override;
    void EncodeBlock(void*, void*, uint32_t, uint32_t&) override {}
};

// ---------------------------------------------------------------------------------------------
// CCITT one-dimensional (modified Huffman) fax decoders. Output: one bit per pixel, 1 black,
// most significant bit first, each row on a byte boundary ((RowWidth + 7) / 8 bytes per row).
// The source is never changed (bits stored least significant first are reversed while read).
// A run never goes past the end of its row nor past TargetLength.

struct TCodeNode {
    int32_t ZeroChild = 0;
    int32_t OneChild = 0;
    int32_t RunValue = 0;
};
using TStateArray = std::vector<TCodeNode>;

class TCCITTDecoder : public TDecoder {
public:
    TCCITTDecoder(int32_t FaxOptions, bool ReverseBits, bool WordAlignRows, uint32_t RowWidth);
    void EncodeBlock(void*, void*, uint32_t, uint32_t&) override {}

    int32_t FaxOptions() const { return FaxOptions_; }
    const TStateArray& WhiteTree() const { return WhiteTree_; }
    const TStateArray& BlackTree() const { return BlackTree_; }

protected:
    // Sets up the bit reader and the row writer for one block and clears the target.
    void StartBlock(void* Source, void* Target, int32_t SourceLength, int32_t TargetLength);
    bool NextBit();                 // consumes and returns the next bit (requires one to be left)
    bool PeekBit();                 // the next bit without consuming it (fetches a byte when needed)
    bool BitsLeft() const { return BitCount_ > 0 || BytesAhead_ > 0; }
    int32_t DecodeRun(const TStateArray& tree);
    int32_t DecodeWhiteRun() { return DecodeRun(WhiteTree_); }
    int32_t DecodeBlackRun() { return DecodeRun(BlackTree_); }
    void PutRun(uint32_t n);
    // Ends the current row: the next row starts on the next target byte.
    void EndRow();
    bool TargetFull() const { return RowStart_ >= TargetEnd_; }

    int32_t FaxOptions_;
    bool CurrentWhite_ = true;
    bool ReverseBits_;
    TStateArray WhiteTree_;
    TStateArray BlackTree_;
    uint32_t RowWidth_;
    uint8_t BitCount_ = 0;
    uint8_t ReadMask_ = 0;
    uint8_t CurrentByte_ = 0;
    uint32_t BytesAhead_ = 0;
    uint32_t PixelsLeft_ = 0;
    const uint8_t* ReadPointer_ = nullptr;
    const uint8_t* ReadStart_ = nullptr;
    uint8_t* WritePointer_ = nullptr;
    uint8_t* RowStart_ = nullptr;
    uint8_t* TargetEnd_ = nullptr;
    uint8_t FreeBits_ = 8;
    bool WordAlignRows_;
};

// Group 3 data whose rows start with EOL codes.
class TCCITTFax3Decoder : public TCCITTDecoder {
public:
    using TCCITTDecoder::TCCITTDecoder;
    void DecodeBlock(void*& Source, void*& Target, int32_t SourceLength, int32_t TargetLength) override;

private:
    void SkipToLineStart(int eolCount);
};

// Modified Huffman data without EOL codes; each row's codes start on a source byte boundary, and
// with WordAlignRows on a 16-bit boundary of the packed data (counted from Source). The target rows
// are laid out as for every other bilevel strip: (RowWidth + 7) / 8 bytes each.
class TCCITTMHDecoder : public TCCITTDecoder {
public:
    using TCCITTDecoder::TCCITTDecoder;
    void DecodeBlock(void*& Source, void*& Target, int32_t SourceLength, int32_t TargetLength) override;
};

// ---------------------------------------------------------------------------------------------
// Deflate through zlib. Source and Target are written back to where inflate stopped. DecodeBlock
// raises nothing: a failed inflate leaves a negative LastResult for the caller to inspect.
class TLZ77Decoder : public TDecoder {
public:
    TLZ77Decoder(int32_t InflateFlush, bool ResetEachBlock);
    ~TLZ77Decoder() override;
    void DecodeBlock(void*& Source, void*& Target, int32_t SourceLength, int32_t TargetLength) override;
    void EndDecoding() override;    // raises "LZ77 decompression error." when zlib fails
    void BeginDecoding() override;  // likewise
    void EncodeBlock(void*, void*, uint32_t, uint32_t&) override {}

    uint32_t InputLeft() const { return ZStream_.avail_in; }
    uint32_t OutputLeft() const { return ZStream_.avail_out; }
    int32_t LastResult() const { return LastResult_; }

private:
    z_stream ZStream_{};
    int32_t LastResult_ = 0;
    int32_t InflateFlush_;
    bool ResetEachBlock_;
    bool Initialized_ = false;
};

// JPEG-compressed TIFF strips through libjpeg. Colour strips come out blue first (the TIFF reader
// converts them as cmBGR); YCbCr images are converted to colour, one-component strips stay grey,
// other component counts are delivered as stored. Fatal library errors raise EInvalidGraphic
// "JPEG error #%d"; the checks against the image properties raise EGraphicCompression.
// The properties record is read at every block, so it must outlive the decoder.
class TTIFFJPEGDecoder : public TDecoder {
public:
    explicit TTIFFJPEGDecoder(const TImageProperties& Properties);
    ~TTIFFJPEGDecoder() override;
    void DecodeBlock(void*& Source, void*& Target, int32_t SourceLength, int32_t TargetLength) override;
    void EndDecoding() override;
    void BeginDecoding() override;
    void EncodeBlock(void*, void*, uint32_t, uint32_t&) override {}

    struct TState;  // the library's objects; defined in the source file

private:
    std::unique_ptr<TState> JpegState_;
    const TImageProperties& ImageInfo_;
    std::vector<uint8_t> TableBytes_;
    uint16_t ChromaH_ = 1;
    uint16_t ChromaV_ = 1;
    uint32_t ScanlineBytes_ = 0;
};

// Thunderscan 4-bit samples, two per byte, the first in the high nibble. LineWidth is the image
// width in pixels: one decoder line is one image row of LineWidth samples in (LineWidth + 1) / 2
// bytes, and the last value starts again at 0 on every row. Both lengths in bytes.
class TThunderDecoder : public TDecoder {
public:
    explicit TThunderDecoder(uint32_t LineWidth) : LineWidth_(LineWidth) {}
    void DecodeBlock(void*& Source, void*& Target, int32_t SourceLength, int32_t TargetLength) override;
    void EncodeBlock(void*, void*, uint32_t, uint32_t&) override {}

private:
    uint32_t LineWidth_;
};

// Photo-CD Huffman residuals of the 4Base and 16Base levels, read from ImageStream (positioned at
// the tables). DecodeBlock: Source points to an array of three plane pointers (luminance, first
// chroma, second chroma); SourceLength is the row stride S of the planes in bytes and TargetLength
// the number of rows R. The luminance plane must hold R rows of S bytes, each chroma plane
// (R + 1) / 2 rows of S bytes. Residuals for rows outside the planes, or past a plane's end, are
// dropped; chroma rows are ignored when only the luminance table is present (S up to 1536).
class TPCDDecoder : public TDecoder {
public:
    explicit TPCDDecoder(TStream& ImageStream) : ImageStream_(ImageStream) {}
    void DecodeBlock(void*& Source, void*& Target, int32_t SourceLength, int32_t TargetLength) override;
    void EncodeBlock(void*, void*, uint32_t, uint32_t&) override {}

private:
    TStream& ImageStream_;
};
