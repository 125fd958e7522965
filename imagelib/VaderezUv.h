// The image base class every reader derives from, its properties record, the shared routines of
// the library and the list of registered file formats.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "GraphicColor.h"
#include "GraphicStrings.h"
#include "Graphics.h"
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

// ---------------------------------------------------------------------------
// The image base class: a bitmap with its own colour manager, the properties of the image being read,
// the position where it starts and the progress rectangle. A reader overrides AcceptsStream (a static
// function referred to by its class descriptor), ReadImageInfo and LoadFromStream.
//
// Progress protocol of LoadFromStream: FreeImage, ImageStart = the stream position, ReadImageInfo(stream, 0)
// (false: RaiseInvalidImageFmt(gesInvalidImage, {format name})); ProgressBand = (0, 0, width, 1); for each
// phase Progress(this, psStarting, 0, false, ProgressBand, phase text), for each row done
// Progress(this, psRunning, MulDiv(row, 100, height), true, ProgressBand, "") and OffsetRect(ProgressBand, 0, 1),
// at the phase's end Progress(this, psEnding, 0, false, ProgressBand, "").

class TVaderezUvGraphic : public TBitmap {
public:
    VARNEL_GRAPHIC_CLASS()

    TVaderezUvGraphic();
    ~TVaderezUvGraphic() override;

    // From another TVaderezUvGraphic (or derived) the properties are copied too (their arrays shared),
    // then the bitmap.
    void Assign(const TGraphic& source) override;

    // Class-level: whether the file holds data of the class `graphicClass` (through its descriptor's
    // AcceptsStream). The file is opened for reading, denying other writers, and always closed; a
    // file that cannot be opened raises EFOpenError.
    static bool AcceptsFile(const TGraphicClass* graphicClass, const std::string& fileName);
    // Class-level signature test of the base class: false.
    static bool AcceptsStream(TStream& stream);
    // Resets ImageProperties (arrays released, every field zero, GammaValue 1.0) and returns false.
    // A reader calls this first, reads its header and returns whether it can load the image.
    virtual bool ReadImageInfo(TStream& stream, uint32_t index);

    TColorManager ColorManager;
    TImageProperties ImageProperties;
    uint32_t ImageStart = 0;
    TStream* SourceStream = nullptr;  // not owned
    TRect ProgressBand;
};

// ---------------------------------------------------------------------------
// Shared routines.

// Raise EInvalidGraphic with the text, or with the format filled from the arguments.
[[noreturn]] void RaiseInvalidImage(const std::string& message);
[[noreturn]] void RaiseInvalidImageFmt(const char* format, std::initializer_list<FormatArg> args);

// Doubles a plane of 8-bit samples in both directions in place: on entry rows 0..height-1 hold width
// samples each at offsets row * stride; on return rows 0..2*height-1 hold 2*width samples. The buffer
// must hold 2*height rows of stride bytes; a stride below 2*width raises EInvalidGraphic. Widths or
// heights of 0 leave the buffer alone.
void Upsample2x(uint32_t width, uint32_t height, uint32_t stride, uint8_t* buffer);
// Reverse the bytes of `count` 16-bit or 32-bit values in place.
void SwapWords(void* data, size_t count);
void SwapLongs(void* data, size_t count);
uint32_t SwapLong(uint32_t value);
// Undo horizontal differencing of a row of 8-bit samples with 1, 3 or 4 samples per pixel; `count`
// is the pixel count minus one. A count of 0 or below (the "width minus one" of an empty row) leaves
// the row alone.
void UndoDifference1(uint8_t* row, int32_t count);
void UndoDifference3(uint8_t* row, int32_t count);
void UndoDifference4(uint8_t* row, int32_t count);

// ---------------------------------------------------------------------------
// The list of the file formats of the library, passed on to the picture layer.

enum TFormatKind : uint8_t { fkLayered = 1, fkMultiImage = 2, fkRaster = 3, fkVector = 4 };  // bit values 2, 4, 8, 16
using TFormatKinds = TSet<TFormatKind>;

struct TClassEntry {
    const TGraphicClass* ReaderClass = nullptr;
    std::string CommonDescription;
    int32_t ExtensionCount = 0;
};

struct TExtensionEntry {
    std::string FileExtension;  // without the dot, as registered
    std::string OwnDescription;
    TFormatKinds FormatKinds;
    TClassEntry* ClassEntry = nullptr;
};

class TFileFormatList {
public:
    // A list that passes its registrations to `pictureLayer` (the process-wide picture layer unless a
    // test gives its own).
    explicit TFileFormatList(TFileFormatsList& pictureLayer = TFileFormatsList::Default());
    ~TFileFormatList();  // runs Clear
    TFileFormatList(const TFileFormatList&) = delete;
    TFileFormatList& operator=(const TFileFormatList&) = delete;

    // Index of the extension entry (letter case of A to Z ignored), -1 when none or empty.
    int IndexOfExtension(const std::string& extension) const;
    // Index of the class entry of exactly that class, -1 when none.
    int IndexOfClass(const TGraphicClass* graphicClass) const;
    // Raises EInvalidGraphic "Attempt to register %s twice." for an extension already registered.
    void RegisterFormat(const std::string& extension, const std::string& commonDescription,
                        const std::string& ownDescription, TFormatKinds kinds, const TGraphicClass* graphicClass);
    // One extension, or with an empty extension every extension of the class.
    void UnregisterFormat(const std::string& extension, const TGraphicClass* graphicClass);
    void Clear();

    int ClassCount() const { return int(classes_.size()); }
    int ExtensionCount() const { return int(extensions_.size()); }
    const TClassEntry& ClassEntries(int index) const { return *classes_.at(size_t(index)); }
    const TExtensionEntry& ExtensionEntries(int index) const { return *extensions_.at(size_t(index)); }

private:
    std::vector<std::unique_ptr<TClassEntry>> classes_;
    std::vector<std::unique_ptr<TExtensionEntry>> extensions_;
    TFileFormatsList& pictureLayer_;
};

// The one process-wide list, created with the library's start (which registers the library's
// formats with the picture layer) and destroyed at its end. The start runs while the program's static
// objects are constructed, provided the program links this unit: a program that does not otherwise
// use it calls VaderezUvStartup() once, which does nothing more than make sure of that.
extern TFileFormatList* FileFormatList;
void VaderezUvStartup();
