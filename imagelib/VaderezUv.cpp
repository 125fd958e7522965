#include "VaderezUv.h"

#include <algorithm>
#include <cstring>

#include "Icon.h"
#include "JPEGImage.h"
#include "Metafile.h"
#include "PCXGraphic.h"
#include "PNGGraphic.h"
#include "TargaGraphic.h"

using namespace GraphicStrings;

// ---------------------------------------------------------------------------
// TVaderezUvGraphic

const TGraphicClass TVaderezUvGraphic::Class{"TVaderezUvGraphic", &TBitmap::Class,
                                             &CreateGraphicInstance<TVaderezUvGraphic>, &TVaderezUvGraphic::AcceptsStream};

TVaderezUvGraphic::TVaderezUvGraphic() = default;
TVaderezUvGraphic::~TVaderezUvGraphic() = default;

void TVaderezUvGraphic::Assign(const TGraphic& source) {
    if (source.InheritsFrom(&TVaderezUvGraphic::Class))
        ImageProperties = static_cast<const TVaderezUvGraphic&>(source).ImageProperties;
    TBitmap::Assign(source);
}

bool TVaderezUvGraphic::AcceptsFile(const TGraphicClass* graphicClass, const std::string& fileName) {
    TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
    return graphicClass && graphicClass->AcceptsStream && graphicClass->AcceptsStream(stream);
}

bool TVaderezUvGraphic::AcceptsStream(TStream&) { return false; }

bool TVaderezUvGraphic::ReadImageInfo(TStream&, uint32_t) {
    ImageProperties = TImageProperties{};
    return false;
}

// ---------------------------------------------------------------------------
// Shared routines

void RaiseInvalidImage(const std::string& message) { throw EInvalidGraphic(message); }

void RaiseInvalidImageFmt(const char* format, std::initializer_list<FormatArg> args) {
    throw EInvalidGraphic(Format(format, args));
}

void Upsample2x(uint32_t width, uint32_t height, uint32_t stride, uint8_t* buffer) {
    if (width == 0 || height == 0) return;
    if (uint64_t(stride) < 2 * uint64_t(width)) RaiseInvalidImage("Upsampling needs rows of twice the width");
    const size_t w = width, s = stride;
    // 1. Widen every row r into row 2r, last row first and each row from its right end, so every
    //    source sample is read before its place is written (rows 0 overlap).
    for (size_t r = height; r-- > 0;) {
        const uint8_t* src = buffer + r * s;
        uint8_t* dst = buffer + 2 * r * s;
        const uint8_t last = src[w - 1];
        dst[2 * w - 1] = last;
        dst[2 * w - 2] = last;
        for (size_t i = w - 1; i-- > 0;) {
            const unsigned a = src[i], b = src[i + 1];
            dst[2 * i + 1] = uint8_t((a + b + 1) / 2);
            dst[2 * i] = uint8_t(a);
        }
    }
    // 2. Odd rows between two widened rows.
    for (size_t k = 0; k + 1 < height; ++k) {
        const uint8_t* a = buffer + 2 * k * s;
        const uint8_t* b = a + 2 * s;
        uint8_t* d = buffer + (2 * k + 1) * s;
        for (size_t i = 0; i + 1 < w; ++i) {
            d[2 * i] = uint8_t((a[2 * i] + b[2 * i] + 1) / 2);
            d[2 * i + 1] = uint8_t((a[2 * i] + a[2 * i + 2] + b[2 * i] + b[2 * i + 2] + 2) / 4);
        }
        const uint8_t edge = uint8_t((a[2 * w - 2] + b[2 * w - 2] + 1) / 2);
        d[2 * w - 2] = edge;
        d[2 * w - 1] = edge;
    }
    // 3. The last row repeats the one above it.
    std::memmove(buffer + (2 * size_t(height) - 1) * s, buffer + (2 * size_t(height) - 2) * s, 2 * w);
}

void SwapWords(void* data, size_t count) {
    auto* p = static_cast<uint8_t*>(data);
    for (size_t i = 0; i < count; ++i, p += 2) std::swap(p[0], p[1]);
}

void SwapLongs(void* data, size_t count) {
    auto* p = static_cast<uint8_t*>(data);
    for (size_t i = 0; i < count; ++i, p += 4) {
        std::swap(p[0], p[3]);
        std::swap(p[1], p[2]);
    }
}

uint32_t SwapLong(uint32_t value) {
    return (value >> 24) | ((value >> 8) & 0xFF00u) | ((value << 8) & 0xFF0000u) | (value << 24);
}

namespace {

template <size_t N>
void UndoDifference(uint8_t* row, int32_t count) {
    if (count <= 0) return;
    const size_t total = N * size_t(count);
    for (size_t k = 0; k < total; ++k) row[k + N] = uint8_t(row[k + N] + row[k]);
}

}  // namespace

void UndoDifference1(uint8_t* row, int32_t count) { UndoDifference<1>(row, count); }
void UndoDifference3(uint8_t* row, int32_t count) { UndoDifference<3>(row, count); }
void UndoDifference4(uint8_t* row, int32_t count) { UndoDifference<4>(row, count); }

// ---------------------------------------------------------------------------
// TFileFormatList

TFileFormatList::TFileFormatList(TFileFormatsList& pictureLayer) : pictureLayer_(pictureLayer) {}

TFileFormatList::~TFileFormatList() { Clear(); }

int TFileFormatList::IndexOfExtension(const std::string& extension) const {
    if (extension.empty()) return -1;
    for (size_t i = 0; i < extensions_.size(); ++i)
        if (SameText(extensions_[i]->FileExtension, extension)) return int(i);
    return -1;
}

int TFileFormatList::IndexOfClass(const TGraphicClass* graphicClass) const {
    for (size_t i = 0; i < classes_.size(); ++i)
        if (classes_[i]->ReaderClass == graphicClass) return int(i);
    return -1;
}

void TFileFormatList::RegisterFormat(const std::string& extension, const std::string& commonDescription,
                                     const std::string& ownDescription, TFormatKinds kinds,
                                     const TGraphicClass* graphicClass) {
    if (extension.empty()) return;
    if (IndexOfExtension(extension) >= 0) RaiseInvalidImageFmt(gesRegistration, {extension});
    // Room is made first, so nothing below fails half-way and leaves the lists half changed.
    extensions_.reserve(extensions_.size() + 1);
    classes_.reserve(classes_.size() + 1);
    auto entry = std::make_unique<TExtensionEntry>();
    entry->FileExtension = extension;
    entry->OwnDescription = ownDescription;
    entry->FormatKinds = kinds;
    const int classIndex = IndexOfClass(graphicClass);
    TClassEntry* classEntry = nullptr;
    if (classIndex >= 0) {
        classEntry = classes_[size_t(classIndex)].get();
    } else {
        auto newClass = std::make_unique<TClassEntry>();
        newClass->ReaderClass = graphicClass;
        classEntry = newClass.get();
        classes_.push_back(std::move(newClass));
    }
    if (!commonDescription.empty()) classEntry->CommonDescription = commonDescription;
    ++classEntry->ExtensionCount;
    entry->ClassEntry = classEntry;
    const std::string description = ownDescription.empty() ? classEntry->CommonDescription : ownDescription;
    extensions_.push_back(std::move(entry));
    pictureLayer_.Add(extension, description, graphicClass);
}

void TFileFormatList::UnregisterFormat(const std::string& extension, const TGraphicClass* graphicClass) {
    if (!extension.empty()) {
        const int index = IndexOfExtension(extension);
        if (index < 0) return;
        TClassEntry* classEntry = extensions_[size_t(index)]->ClassEntry;
        if (--classEntry->ExtensionCount == 0) {
            pictureLayer_.Remove(classEntry->ReaderClass);
            classes_.erase(classes_.begin() + IndexOfClass(classEntry->ReaderClass));
        }
        extensions_.erase(extensions_.begin() + index);
        return;
    }
    const int classIndex = IndexOfClass(graphicClass);
    if (classIndex < 0) return;  // a class that was never registered: nothing to remove
    TClassEntry* classEntry = classes_[size_t(classIndex)].get();
    for (size_t i = extensions_.size(); i-- > 0 && classEntry->ExtensionCount > 0;) {
        if (extensions_[i]->ClassEntry == classEntry) {
            extensions_.erase(extensions_.begin() + ptrdiff_t(i));
            --classEntry->ExtensionCount;
        }
    }
    classes_.erase(classes_.begin() + classIndex);
    pictureLayer_.Remove(graphicClass);
}

void TFileFormatList::Clear() {
    for (const auto& c : classes_) pictureLayer_.Remove(c->ReaderClass);
    classes_.clear();
    extensions_.clear();
}

// ---------------------------------------------------------------------------
// The library's start and end.
//
// The registrations, in order. A reader joins by including its header and enabling its lines here.

namespace {

struct Registration {
    const char* extension;
    const TGraphicClass* readerClass;
    const char* commonDescription;
    const char* ownDescription;
    TFormatKinds kinds;
};

const TFormatKinds raster{fkRaster};
const TFormatKinds vector{fkVector};

std::vector<Registration> StartupRegistrations() {
    return {
        {"bmp", &TBitmap::Class, gesDescBitmaps, "", raster},
        {"ico", &TIcon::Class, gesDescIcons, "", raster},
        {"wmf", &TMetafile::Class, gesDescMetaFiles, "", vector},
        {"emf", &TMetafile::Class, gesDescMetaFiles, gesDescEnhancedMetaFiles, vector},
        {"jfif", &TJPEGImage::Class, gesDescJPGImages, gesDescJFIFImages, raster},
        {"jpg", &TJPEGImage::Class, "", gesDescJPGImages, raster},
        {"jpe", &TJPEGImage::Class, "", gesDescJPEImages, raster},
        {"jpeg", &TJPEGImage::Class, "", gesDescJPEGImages, raster},
        {"rle", &TBitmap::Class, gesDescBitmaps, gesDescRLEBitmaps, raster},
        {"dib", &TBitmap::Class, "", gesDescDIBs, raster},
        {"win", &TTargaGraphic::Class, gesDescTruevision, "", raster},
        {"vst", &TTargaGraphic::Class, "", "", raster},
        {"vda", &TTargaGraphic::Class, "", "", raster},
        {"tga", &TTargaGraphic::Class, "", "", raster},
        {"icb", &TTargaGraphic::Class, "", "", raster},
        // {"tiff", &TTIFFGraphic::Class, gesDescTIFF, gesDescMacTIFF, TFormatKinds{fkMultiImage, fkRaster}},
        // {"tif", &TTIFFGraphic::Class, "", gesDescPCTIF, TFormatKinds{fkMultiImage, fkRaster}},
        // {"fax", &TTIFFGraphic::Class, "", gesDescGFIFax, TFormatKinds{fkMultiImage, fkRaster}},
        // {"eps", &TEPSGraphic::Class, gesDescEPS, "", raster},
        {"pcx", &TPCXGraphic::Class, gesDescPCX, "", raster},
        {"pcc", &TPCXGraphic::Class, "", "", raster},
        {"scr", &TPCXGraphic::Class, "", gesDescWordScreenCapture, raster},
        // {"rpf", &TRLAGraphic::Class, gesDescAliasWavefront, "", raster},
        // {"rla", &TRLAGraphic::Class, "", "", raster},
        // {"sgi", &TSGIGraphic::Class, gesDescSGI, gesDescSGITrueColor, raster},
        // {"rgba", &TSGIGraphic::Class, "", gesDescSGITrueColorAlpha, raster},
        // {"rgb", &TSGIGraphic::Class, "", gesDescSGITrueColor, raster},
        // {"bw", &TSGIGraphic::Class, "", gesDescSGIMono, raster},
        // {"psd", &TPSDGraphic::Class, gesDescPhotoshop, "", TFormatKinds{fkLayered, fkRaster}},
        // {"pdd", &TPSDGraphic::Class, "", "", TFormatKinds{fkLayered, fkRaster}},
        // {"ppm", &TPPMGraphic::Class, gesDescPortableMap, gesDescPortablePixelMap, raster},
        // {"pgm", &TPPMGraphic::Class, "", gesDescPortableGrayMap, raster},
        // {"pbm", &TPPMGraphic::Class, "", gesDescPortableBitmap, raster},
        // {"cel", &TAutodeskGraphic::Class, gesDescAutodesk, "", raster},
        // {"pic", &TAutodeskGraphic::Class, gesDescAutodesk, "", raster},
        // {"pcd", &TPCDGraphic::Class, gesDescKodakPhotoCD, "", raster},
        // {"cut", &TCUTGraphic::Class, gesDescHalo, "", raster},
        // {"psp", &TPSPGraphic::Class, gesDescPaintShopPro, "", TFormatKinds{fkRaster, fkVector}},
        {"png", &TPNGGraphic::Class, gesDescPortableNetworkGraphic, "", raster},
    };
}

// The classes unregistered one by one at the end, in this order, before "rle" and "dib" and the PNG
// reader; the list's destruction then unregisters the rest.
std::vector<const TGraphicClass*> ClassesUnregisteredFirst() {
    return {
        // &TPSPGraphic::Class, &TPSDGraphic::Class,
        &TTargaGraphic::Class,
        // &TTIFFGraphic::Class,
        // &TSGIGraphic::Class,
        &TPCXGraphic::Class,
        // &TAutodeskGraphic::Class, &TPCDGraphic::Class,
        // &TPPMGraphic::Class, &TCUTGraphic::Class, &TRLAGraphic::Class,
    };
}
const TGraphicClass* const PNGReaderClass = &TPNGGraphic::Class;

class TVaderezUvUnit {
public:
    TVaderezUvUnit() {
        list_ = std::make_unique<TFileFormatList>();
        for (const auto& r : StartupRegistrations())
            list_->RegisterFormat(r.extension, r.commonDescription, r.ownDescription, r.kinds, r.readerClass);
        FileFormatList = list_.get();
    }
    ~TVaderezUvUnit() {
        for (const TGraphicClass* c : ClassesUnregisteredFirst()) list_->UnregisterFormat("", c);
        list_->UnregisterFormat("rle", &TBitmap::Class);
        list_->UnregisterFormat("dib", &TBitmap::Class);
        list_->UnregisterFormat("", PNGReaderClass);
        FileFormatList = nullptr;
        list_.reset();
    }

private:
    std::unique_ptr<TFileFormatList> list_;
};

}  // namespace

TFileFormatList* FileFormatList = nullptr;

namespace {
// Constructed after FileFormatList's constant initialisation, destroyed at the program's end.
TVaderezUvUnit unit;
}  // namespace

void VaderezUvStartup() {}
