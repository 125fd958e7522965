#include <gtest/gtest.h>

#include "Graphics.h"
#include "Icon.h"
#include "JPEGImage.h"
#include "Metafile.h"
#include "TestSupport.h"
#include "VaderezUv.h"

namespace {

// Stand-ins for readers: classes derived from the image base class.
struct TTiffLike : TVaderezUvGraphic {
    VARNEL_GRAPHIC_CLASS()
};
struct TTiffChild : TTiffLike {
    VARNEL_GRAPHIC_CLASS()
};
struct TPpmLike : TVaderezUvGraphic {
    VARNEL_GRAPHIC_CLASS()
};
struct TPngLike : TVaderezUvGraphic {
    VARNEL_GRAPHIC_CLASS()
};

}  // namespace

const TGraphicClass TTiffLike::Class{"TTiffLike", &TVaderezUvGraphic::Class, &CreateGraphicInstance<TTiffLike>, nullptr};
const TGraphicClass TTiffChild::Class{"TTiffChild", &TTiffLike::Class, &CreateGraphicInstance<TTiffChild>, nullptr};
const TGraphicClass TPpmLike::Class{"TPpmLike", &TVaderezUvGraphic::Class, &CreateGraphicInstance<TPpmLike>, nullptr};
const TGraphicClass TPngLike::Class{"TPngLike", &TVaderezUvGraphic::Class, &CreateGraphicInstance<TPngLike>, nullptr};

namespace {

class FormatList : public ::testing::Test {
protected:
    TFileFormatsList layer;
    TFileFormatList list{layer};

    void RegisterSample() {
        const TFormatKinds raster{fkRaster};
        list.RegisterFormat("bmp", "Windows bitmaps", "", raster, &TBitmap::Class);
        list.RegisterFormat("tiff", "Tagged image file format images", "Macintosh TIFF images",
                            TFormatKinds{fkMultiImage, fkRaster}, &TTiffLike::Class);
        list.RegisterFormat("tif", "", "PC TIF images", raster, &TTiffLike::Class);
        list.RegisterFormat("rle", "Windows bitmaps", "Run length encoded Windows bitmaps", raster, &TBitmap::Class);
        list.RegisterFormat("dib", "", "Device independant Windows bitmaps", raster, &TBitmap::Class);
        list.RegisterFormat("ppm", "Portable map images", "Portable pixel map images", raster, &TPpmLike::Class);
        list.RegisterFormat("pgm", "", "Portable gray map images", raster, &TPpmLike::Class);
        list.RegisterFormat("pbm", "", "Portable bitmap images", raster, &TPpmLike::Class);
        list.RegisterFormat("png", "Portable network graphic images", "", raster, &TPngLike::Class);
    }
};

}  // namespace

TEST_F(FormatList, LookupsIgnoreLetterCase) {
    RegisterSample();
    EXPECT_EQ(2, list.IndexOfExtension("TIF"));
    EXPECT_EQ(-1, list.IndexOfExtension(""));
    EXPECT_EQ(-1, list.IndexOfExtension("xyz"));
    EXPECT_EQ(1, list.IndexOfClass(&TTiffLike::Class));
    EXPECT_EQ(-1, list.IndexOfClass(&TTiffChild::Class));  // no inheritance
    EXPECT_EQ(&TTiffLike::Class, layer.FindExt("TiF"));
    EXPECT_EQ(TFormatKinds({fkMultiImage, fkRaster}).Value(), list.ExtensionEntries(1).FormatKinds.Value());
    EXPECT_EQ(0x0C, list.ExtensionEntries(1).FormatKinds.Value());
}

TEST_F(FormatList, RegisteringTwiceRaisesAndChangesNothing) {
    RegisterSample();
    const int extensions = list.ExtensionCount(), classes = list.ClassCount();
    const size_t layerEntries = layer.Entries().size();
    try {
        list.RegisterFormat("PNG", "x", "", {fkRaster}, &TBitmap::Class);
        FAIL() << "no error";
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ("Attempt to register PNG twice.", e.what());
    }
    EXPECT_EQ(extensions, list.ExtensionCount());
    EXPECT_EQ(classes, list.ClassCount());
    EXPECT_EQ(layerEntries, layer.Entries().size());
    list.RegisterFormat("", "x", "", {fkRaster}, &TBitmap::Class);  // an empty extension registers nothing
    EXPECT_EQ(extensions, list.ExtensionCount());
}

TEST_F(FormatList, DescriptionsPassedToThePictureLayer) {
    RegisterSample();
    const auto& e = layer.Entries();
    ASSERT_EQ(9u, e.size());
    EXPECT_EQ("Windows bitmaps", e[0].Description);
    EXPECT_EQ("Macintosh TIFF images", e[1].Description);
    EXPECT_EQ("Run length encoded Windows bitmaps", e[3].Description);
    // A later non-empty common description replaces the earlier one.
    list.RegisterFormat("pnm", "Any map", "", {fkRaster}, &TPpmLike::Class);
    EXPECT_EQ("Any map", list.ClassEntries(list.IndexOfClass(&TPpmLike::Class)).CommonDescription);
    EXPECT_EQ("Any map", layer.Entries().back().Description);
}

TEST_F(FormatList, UnregisteringOneExtensionKeepsTheClassWhileItHasOthers) {
    RegisterSample();
    list.UnregisterFormat("rle", &TBitmap::Class);
    const int bitmap = list.IndexOfClass(&TBitmap::Class);
    ASSERT_GE(bitmap, 0);
    EXPECT_EQ(2, list.ClassEntries(bitmap).ExtensionCount);
    EXPECT_EQ(-1, list.IndexOfExtension("rle"));
    EXPECT_EQ(&TBitmap::Class, layer.FindExt("rle"));  // the picture layer keeps it with the class
    list.UnregisterFormat("nothing", &TBitmap::Class);  // not registered: nothing happens
    list.UnregisterFormat("bmp", &TBitmap::Class);
    list.UnregisterFormat("dib", &TBitmap::Class);
    EXPECT_EQ(-1, list.IndexOfClass(&TBitmap::Class));
    EXPECT_EQ(nullptr, layer.FindExt("rle"));
    EXPECT_EQ(nullptr, layer.FindExt("bmp"));
}

TEST_F(FormatList, UnregisteringAClassRemovesAllItsExtensions) {
    RegisterSample();
    list.UnregisterFormat("", &TPpmLike::Class);
    for (const char* ext : {"ppm", "pgm", "pbm"}) {
        EXPECT_EQ(-1, list.IndexOfExtension(ext)) << ext;
        EXPECT_EQ(nullptr, layer.FindExt(ext)) << ext;
    }
    EXPECT_EQ(-1, list.IndexOfClass(&TPpmLike::Class));
    EXPECT_EQ(6, list.ExtensionCount());
    list.UnregisterFormat("", &TPpmLike::Class);  // a second time: nothing happens
    EXPECT_EQ(6, list.ExtensionCount());
}

TEST_F(FormatList, ThePictureLayerRemovesDerivedClassesWithTheirBase) {
    RegisterSample();
    layer.Add("tf2", "child", &TTiffChild::Class);
    list.UnregisterFormat("", &TTiffLike::Class);
    EXPECT_EQ(nullptr, layer.FindExt("tf2"));
    list.Clear();
    EXPECT_EQ(0, list.ClassCount());
    EXPECT_EQ(0, list.ExtensionCount());
    EXPECT_TRUE(layer.Entries().empty());
}

TEST(PictureLayer, NewestRegistrationWinsAndFilterListsNewestFirst) {
    TFileFormatsList layer;
    EXPECT_EQ("", layer.Filter(&TGraphic::Class));
    layer.Add("bmp", "Bitmaps", &TBitmap::Class);
    EXPECT_EQ("Bitmaps (*.bmp)|*.bmp", layer.Filter(&TGraphic::Class));
    layer.Add("JPG", "JPG images", &TJPEGImage::Class);
    layer.Add("bmp", "Windows bitmaps", &TTiffLike::Class);
    EXPECT_EQ(&TTiffLike::Class, layer.FindExt("BMP"));
    EXPECT_EQ(&TJPEGImage::Class, layer.FindExt("jpg"));
    EXPECT_EQ("All (*.bmp;*.jpg;*.bmp)|*.bmp;*.jpg;*.bmp|Windows bitmaps (*.bmp)|*.bmp|JPG images (*.jpg)|*.jpg|"
              "Bitmaps (*.bmp)|*.bmp",
              layer.Filter(&TGraphic::Class));
    // Only the classes derived from the one asked for.
    EXPECT_EQ("All (*.bmp;*.bmp)|*.bmp;*.bmp|Windows bitmaps (*.bmp)|*.bmp|Bitmaps (*.bmp)|*.bmp",
              layer.Filter(&TBitmap::Class));
}

TEST(PictureLayer, StartUpRegistrationsOfTheLibrary) {
    VaderezUvStartup();
    ASSERT_NE(nullptr, FileFormatList);
    EXPECT_EQ(&TJPEGImage::Class, TPicture::FindGraphicClass("JPG"));
    EXPECT_EQ(&TBitmap::Class, TPicture::FindGraphicClass("dib"));
    EXPECT_EQ(&TMetafile::Class, TPicture::FindGraphicClass("EMF"));
    EXPECT_EQ(&TIcon::Class, TPicture::FindGraphicClass("ico"));
    const int bitmap = FileFormatList->IndexOfClass(&TBitmap::Class);
    ASSERT_GE(bitmap, 0);
    EXPECT_EQ(3, FileFormatList->ClassEntries(bitmap).ExtensionCount);
    // "All" first, with every pattern newest first: the library's registrations (readers join as
    // they are written) before the platform's own entries.
    const std::string filter = GraphicFilter(&TGraphic::Class);
    EXPECT_EQ(0u, filter.find("All (*.")) << filter;
    EXPECT_NE(std::string::npos, filter.find("*.dib;*.rle;*.jpeg;*.jpe;*.jpg;*.jfif;*.emf;*.wmf;*.ico;*.bmp;*.jpg;*.jpeg;"
                                             "*.bmp;*.ico;*.emf;*.wmf)|"))
        << filter;
    EXPECT_NE(std::string::npos, filter.find("|Device independant Windows bitmaps (*.dib)|*.dib|"));
    EXPECT_EQ(filter.size() - std::string("Metafiles (*.wmf)|*.wmf").size(), filter.rfind("Metafiles (*.wmf)|*.wmf"));
}

TEST(Picture, LoadFromFileChoosesTheClassByExtension) {
    TempDir dir;
    TBitmap b;
    b.SetPixelFormat(pf8bit);
    b.SetSize(4, 3);
    b.SaveToFile(dir.File("picture.DIB"));
    TPicture picture;
    int events = 0;
    picture.OnProgress = [&](TGraphic*, TProgressStage, uint8_t, bool, const TRect&, const std::string&) { ++events; };
    picture.LoadFromFile(dir.File("picture.DIB"));
    ASSERT_NE(nullptr, picture.Graphic());
    EXPECT_TRUE(picture.Graphic()->InheritsFrom(&TBitmap::Class));
    EXPECT_EQ(4, picture.Width());
    EXPECT_EQ(3, picture.Height());
    // Progress of the graphic reaches the picture's handler.
    picture.Graphic()->Progress(picture.Graphic(), psStarting, 0, false, TRect{}, "Preparing...");
    EXPECT_EQ(1, events);

    WriteBytes(dir.File("file.xyz"), "data");
    try {
        picture.LoadFromFile(dir.File("file.xyz"));
        FAIL() << "no error";
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ("Unknown picture file extension (.xyz)", e.what());
    }
    EXPECT_EQ(4, picture.Width());  // a failed load keeps the picture
    WriteBytes(dir.File("broken.bmp"), "BMxx");
    EXPECT_THROW(picture.LoadFromFile(dir.File("broken.bmp")), Exception);
    EXPECT_EQ(4, picture.Width());
    EXPECT_THROW(picture.LoadFromFile(dir.File("noextension")), EInvalidGraphic);
}
