// The picture layer: graphic classes (TGraphic and the bitmap), class descriptors, the progress
// event, the canvas fill and TPicture with its list of registered file formats.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "GraphicsTypes.h"
#include "SysUtils.h"

constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

struct TRect {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;
    friend bool operator==(const TRect&, const TRect&) = default;
};

inline TRect Rect(int32_t left, int32_t top, int32_t right, int32_t bottom) { return TRect{left, top, right, bottom}; }
// Moves a rectangle by dx, dy.
inline void OffsetRect(TRect& r, int32_t dx, int32_t dy) {
    r.Left += dx;
    r.Right += dx;
    r.Top += dy;
    r.Bottom += dy;
}

class TGraphic;

// ---------------------------------------------------------------------------
// Class references. Every graphic class has exactly one static descriptor; a class reference is a
// pointer to it, and identity is pointer equality.

struct TGraphicClass {
    const char* Name;
    const TGraphicClass* Parent;                    // nullptr for TGraphic itself
    std::unique_ptr<TGraphic> (*Create)();          // nullptr for abstract classes
    bool (*AcceptsStream)(TStream& stream);         // class-level signature test; nullptr: none

    // This class or one derived from it.
    bool InheritsFrom(const TGraphicClass* other) const {
        for (const TGraphicClass* c = this; c; c = c->Parent)
            if (c == other) return true;
        return false;
    }
    // A new instance; raises EInvalidGraphic for an abstract class.
    std::unique_ptr<TGraphic> NewInstance() const;
};

template <typename T>
std::unique_ptr<TGraphic> CreateGraphicInstance() {
    return std::make_unique<T>();
}

// Declares the descriptor of a graphic class inside its class body. The descriptor itself is
// defined once in the class's source file:
//   const TGraphicClass TMyGraphic::Class{"TMyGraphic", &TBaseGraphic::Class,
//                                         &CreateGraphicInstance<TMyGraphic>, &TMyGraphic::AcceptsStream};
#define VARNEL_GRAPHIC_CLASS()                  \
    static const TGraphicClass Class;           \
    const TGraphicClass* ClassType() const override { return &Class; }

// ---------------------------------------------------------------------------
// Progress.

enum TProgressStage : uint8_t { psStarting, psRunning, psEnding };

// sender, stage, percent done (0..100), redraw now, the rectangle concerned, a message text.
using TProgressEvent = std::function<void(TGraphic* sender, TProgressStage stage, uint8_t percentDone,
                                          bool redrawNow, const TRect& rect, const std::string& message)>;

// ---------------------------------------------------------------------------
// TGraphic: the abstract picture.

class TGraphic {
public:
    static const TGraphicClass Class;
    virtual const TGraphicClass* ClassType() const { return &Class; }
    bool InheritsFrom(const TGraphicClass* other) const { return ClassType()->InheritsFrom(other); }
    const char* ClassName() const { return ClassType()->Name; }

    TGraphic() = default;
    virtual ~TGraphic() = default;
    TGraphic(const TGraphic&) = delete;
    TGraphic& operator=(const TGraphic&) = delete;

    // Copies the picture of `source`; raises EConvertError "Cannot assign a %s to a %s" when the
    // two classes do not fit together.
    virtual void Assign(const TGraphic& source);

    virtual void LoadFromStream(TStream& stream) = 0;
    virtual void SaveToStream(TStream& stream) = 0;
    // Opens the file for reading (denying other writers) and loads it through LoadFromStream.
    void LoadFromFile(const std::string& fileName);
    // Writes the whole file through SaveToStream; the file is replaced only when writing succeeded.
    void SaveToFile(const std::string& fileName);

    virtual int32_t Width() const = 0;
    virtual int32_t Height() const = 0;
    virtual void SetWidth(int32_t value);
    virtual void SetHeight(int32_t value);
    virtual bool Empty() const { return Width() == 0 || Height() == 0; }

    bool Transparent() const { return transparent_; }
    virtual void SetTransparent(bool value) { transparent_ = value; }

    // Reports progress to OnProgress (when set).
    void Progress(TGraphic* sender, TProgressStage stage, uint8_t percentDone, bool redrawNow, const TRect& rect,
                  const std::string& message);

    TProgressEvent OnProgress;

protected:
    // Called by Assign of another class with this object as the source: copy into `dest` or raise.
    virtual void AssignTo(TGraphic& dest) const;
    [[noreturn]] void RaiseAssignError(const TGraphic& source) const;

private:
    bool transparent_ = false;
};

// ---------------------------------------------------------------------------
// Sizes of pixel memory. Every image-sized allocation of the program goes through these checks.

// The largest pixel memory one image may take: 1 GiB.
constexpr uint64_t MaxImageBytes = uint64_t(1) << 30;

// Bytes of one row of `width` pixels at `bitsPerPixel`, padded to a multiple of `alignment` bits
// (32 for bitmap rows). Raises EOutOfResources when the result exceeds MaxImageBytes or the
// arguments are negative.
size_t BytesPerScanline(int64_t width, int64_t bitsPerPixel, int64_t alignment);
// Bytes of `height` rows of BytesPerScanline(width, bitsPerPixel, alignment), checked against
// MaxImageBytes (EOutOfResources "Image too large: %d x %d pixels at %d bits per pixel exceed the
// limit of 1 GiB") before anything is allocated.
size_t CheckedImageBytes(int64_t width, int64_t height, int64_t bitsPerPixel, int64_t alignment = 8);

// ---------------------------------------------------------------------------
// TBitmap: a device-independent bitmap. Rows are stored bottom-up like a DIB: ScanLine(0), the top
// row, lies at the highest address. Pixels are stored blue, green, red (and a fourth byte at 32 bits);
// 15 bits per pixel is the 5-5-5 word layout, 16 bits the 5-6-5 layout; 1, 4 and 8 bits are indices
// into the palette (the leftmost pixel in the most significant bits). pfDevice stores 32 bits.

class TBitmap;

struct TBrush {
    TColor Color = clWhite;
};

class TCanvas {
public:
    explicit TCanvas(TBitmap& bitmap) : bitmap_(bitmap) {}
    TBrush Brush;
    // Fills the rectangle (clipped to the bitmap) with Brush.Color; on indexed bitmaps with the
    // nearest palette entry.
    void FillRect(const TRect& rect);
    TColor Pixel(int32_t x, int32_t y) const;           // -1 outside the bitmap
    void SetPixel(int32_t x, int32_t y, TColor color);  // nothing outside the bitmap
    void Lock() { ++lockCount_; }
    void Unlock() { --lockCount_; }
    int LockCount() const { return lockCount_; }

private:
    TBitmap& bitmap_;
    int lockCount_ = 0;
};

enum TTransparentMode : uint8_t { tmAuto, tmFixed };

class TBitmap : public TGraphic {
public:
    VARNEL_GRAPHIC_CLASS()

    TBitmap();
    ~TBitmap() override;

    void Assign(const TGraphic& source) override;

    // Windows bitmap files: BITMAPINFOHEADER and its V4/V5 forms, OS/2 headers; 1, 4, 8, 16, 24 and
    // 32 bits; RLE4, RLE8, bit fields; bottom-up and top-down. Invalid files raise EInvalidGraphic
    // "Bitmap image is not valid"; short reads the stream's read error.
    void LoadFromStream(TStream& stream) override;
    // Writes a Windows bitmap file with a BITMAPINFOHEADER: 1, 4, 8, 15 (16 bits 5-5-5), 16 (bit
    // fields 5-6-5), 24 and 32 bits per pixel.
    void SaveToStream(TStream& stream) override;

    int32_t Width() const override { return width_; }
    int32_t Height() const override { return height_; }
    void SetWidth(int32_t value) override { SetSize(value, height_); }
    void SetHeight(int32_t value) override { SetSize(width_, value); }
    // Changes the size, keeping the pixels of the common top-left part; new pixels are zero. The
    // pixel memory is checked against MaxImageBytes before it is allocated; negative sizes raise
    // EInvalidGraphic.
    void SetSize(int32_t width, int32_t height);

    TPixelFormat PixelFormat() const { return pixelFormat_; }
    // Converts the pixels present to the new format (indexed formats take the nearest entry of the
    // palette; a new indexed format without a palette gets a default one). pfCustom raises
    // EInvalidGraphic "Invalid pixel format".
    void SetPixelFormat(TPixelFormat format);
    int BitsPerPixel() const { return PixelFormatBits(pixelFormat_); }

    // The palette (nullptr when there is none). The bitmap owns it.
    const TPalette* Palette() const { return palette_.get(); }
    void SetPalette(HPALETTE palette) { palette_ = std::move(palette); }
    // Hands the palette over to the caller; the bitmap keeps none.
    HPALETTE ReleasePalette() { return std::move(palette_); }

    // Row `row` (0 = top). Raises EInvalidGraphic "Scan line index out of range" outside 0..Height-1.
    uint8_t* ScanLine(int32_t row);
    const uint8_t* ScanLine(int32_t row) const;
    // Bytes between two rows in memory (rows are 32-bit aligned). ScanLine(r + 1) == ScanLine(r) - RowStride().
    size_t RowStride() const { return stride_; }

    // Drops the pixels and the palette: the bitmap becomes 0 x 0 with its pixel format kept.
    void FreeImage();
    // Exchanges the images (pixels, size, format, palette, transparency) of two bitmaps without
    // copying pixels.
    void Swap(TBitmap& other) noexcept;

    TCanvas& Canvas() { return canvas_; }

    // The transparent colour: in tmAuto the colour of the bottom-left pixel (clDefault when empty).
    TColor TransparentColor() const;
    void SetTransparentColor(TColor color);
    TTransparentMode TransparentMode() const { return transparentMode_; }
    void SetTransparentMode(TTransparentMode mode) { transparentMode_ = mode; }

private:
    void Reallocate(int32_t width, int32_t height, TPixelFormat format, bool keepPixels);
    void EnsurePalette();

    // Pixel memory: small blocks from the heap, large ones mapped directly (zero-filled by the system,
    // on huge pages where it offers them), each released the way it was taken.
    struct FreeDeleter {
        constexpr FreeDeleter() noexcept : mappedBytes(0) {}
        constexpr explicit FreeDeleter(size_t mapped) noexcept : mappedBytes(mapped) {}
        void operator()(uint8_t* p) const noexcept;
        size_t mappedBytes;  // 0: taken from the heap
    };
    using TPixelMemory = std::unique_ptr<uint8_t, FreeDeleter>;
    // Zero-filled pixel memory of `bytes` (non-zero) bytes; raises EOutOfResources when there is none.
    static TPixelMemory AllocatePixels(size_t bytes, int32_t width, int32_t height);
    TPixelMemory bits_;
    int32_t width_ = 0;
    int32_t height_ = 0;
    size_t stride_ = 0;
    TPixelFormat pixelFormat_ = pfDevice;
    HPALETTE palette_;
    TColor transparentColor_ = clDefault;
    TTransparentMode transparentMode_ = tmAuto;
    TCanvas canvas_{*this};

    friend class TCanvas;
};

// A default palette for an indexed format: 2 entries black and white for 1 bit, the 16 standard
// colours for 4 bits, a 6 x 6 x 6 colour cube followed by 40 grey levels for 8 bits.
HPALETTE DefaultPalette(int bitsPerPixel);

// ---------------------------------------------------------------------------
// TPicture and the list of registered file formats.

struct TFileFormat {
    std::string Extension;  // lower case, without the dot
    std::string Description;
    const TGraphicClass* GraphicClass = nullptr;
};

// The picture layer's list of file formats, in registration order. Lookups search from the newest.
class TFileFormatsList {
public:
    // An empty list (the process-wide one is Default()).
    TFileFormatsList() = default;
    // The process-wide list; it starts with the platform's own entries "wmf", "emf", "ico", "bmp",
    // "jpeg" and "jpg".
    static TFileFormatsList& Default();

    void Add(const std::string& extension, const std::string& description, const TGraphicClass* graphicClass);
    // Removes every entry whose class is `graphicClass` or derives from it.
    void Remove(const TGraphicClass* graphicClass);
    // The class of the newest entry for the extension (letter case ignored); nullptr when none.
    const TGraphicClass* FindExt(const std::string& extension) const;
    // The dialog filter of the entries whose class is `graphicClass` or derives from it, newest first:
    // "description (*.ext)|*.ext" pairs joined by "|", preceded with more than one entry by
    // "All (patterns)|patterns|" where patterns are "*.ext" joined by ";".
    std::string Filter(const TGraphicClass* graphicClass) const;
    const std::vector<TFileFormat>& Entries() const { return entries_; }

private:
    std::vector<TFileFormat> entries_;
};

class TPicture {
public:
    TPicture() = default;
    ~TPicture() = default;
    TPicture(const TPicture&) = delete;
    TPicture& operator=(const TPicture&) = delete;

    // Loads the file through the class registered for its extension (newest registration first,
    // letter case ignored). No class: EInvalidGraphic "Unknown picture file extension (.%s)".
    // On failure the current graphic stays as it was.
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName);

    TGraphic* Graphic() const { return graphic_.get(); }
    void SetGraphic(std::unique_ptr<TGraphic> graphic);
    int32_t Width() const { return graphic_ ? graphic_->Width() : 0; }
    int32_t Height() const { return graphic_ ? graphic_->Height() : 0; }

    // Receives the progress events of the graphic being loaded.
    TProgressEvent OnProgress;

    // The process-wide registry (TFileFormatsList::Default()).
    static void RegisterFileFormat(const std::string& extension, const std::string& description,
                                   const TGraphicClass* graphicClass);
    static void UnregisterGraphicClass(const TGraphicClass* graphicClass);
    static const TGraphicClass* FindGraphicClass(const std::string& extension);

private:
    void Hook(TGraphic& graphic);
    std::unique_ptr<TGraphic> graphic_;
};

// The open-picture dialog's filter for every registered class derived from `graphicClass`
// (&TGraphic::Class for all).
std::string GraphicFilter(const TGraphicClass* graphicClass);
