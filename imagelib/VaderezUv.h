// The image base class every reader derives from, its properties record, the shared routines of
// the library and the list of registered file formats.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "GraphicColor.h"
#include "Sets.h"

// A growable array shared by reference count: copying the handle shares the elements, so a write
// through one copy is seen through every other.
template <typename T>
class TSharedArray {
public:
    size_t Length() const { return data_ ? data_->size() : 0; }
    // Resizes the shared elements (new elements are zero); creates them when there are none yet.
    void SetLength(size_t length) {
        if (!data_) data_ = std::make_shared<std::vector<T>>();
        data_->resize(length);
    }
    // Drops this handle's reference; other copies keep theirs.
    void Release() { data_.reset(); }
    T& operator[](size_t index) { return (*data_)[index]; }
    const T& operator[](size_t index) const { return (*data_)[index]; }
    T* Data() { return data_ ? data_->data() : nullptr; }
    const T* Data() const { return data_ ? data_->data() : nullptr; }
    bool SharesWith(const TSharedArray& other) const { return data_ && data_ == other.data_; }

private:
    std::shared_ptr<std::vector<T>> data_;
};

using TCardinalArray = TSharedArray<uint32_t>;
using TByteArray = TSharedArray<uint8_t>;
using TFloatArray = TSharedArray<float>;

enum TImageFlag : uint8_t { ifTiled = 0, ifBigEndian, ifMinIsWhite, ifReversed, ifUseGamma };
using TImageFlags = TSet<TImageFlag>;

enum TCompressionKind : uint8_t {
    ckUnknown = 0, ckNone, ckRLE, ckPackBits, ckLZW, ckFax3, ckModifiedHuffman, ckFax4, ckModifiedHuffmanWord,
    ckDeflate, ckJPEG, ckOldJPEG, ckThunderScan, ckNeXT, ckIT8CTPad, ckIT8LineWork, ckIT8MonoPicture,
    ckIT8BinaryLineArt, ckPixarFilm, ckPixarLog, ckKodakDCS, ckJBIG, ckPhotoCDHuffman
};

// The properties of one image, read from its file's header.
struct TImageProperties {
    uint32_t FormatVersion = 0;
    TImageFlags Flags;
    int32_t ImageWidth = 0;
    int32_t ImageHeight = 0;
    TColorModel ColorModel = cmUnknown;
    uint8_t SampleBits = 0;
    uint8_t SampleCount = 0;
    uint8_t PixelBits = 0;
    TCompressionKind CompressionKind = ckUnknown;
    float GammaValue = 1.0f;
    float ResolutionX = 0;
    float ResolutionY = 0;
    bool IsInterlaced = false;
    bool AlphaPresent = false;
    uint32_t FirstDirectoryOffset = 0;
    uint32_t PlaneLayout = 0;
    int32_t RowCursor = 0;
    uint32_t TileSizeX = 0;
    uint32_t TileSizeY = 0;
    uint32_t RowBytes = 0;
    TCardinalArray StripRows;
    TByteArray ChromaSubsampling;
    TByteArray JPEGTableData;
    uint32_t JPEGColorConversion = 0;
    uint32_t JPEGTableUse = 0;
    uint32_t StripCursor = 0;
    uint32_t StripTotal = 0;
    uint32_t PredictorKind = 0;
    bool IsThumbnail = false;
    uint8_t RotationCode = 0;
    uint16_t ImageTotal = 0;
    bool StoredBottomUp = false;
    uint8_t ChannelTotal = 0;
    uint8_t FilterMethod = 0;
};

// (TVaderezUvGraphic, the shared routines and TFileFormatList follow here.)
