#include <gtest/gtest.h>

#include <QImage>
#include <QString>

#include "FileDialogs.h"
#include "Graphics.h"
#include "TestSupport.h"

TEST(PicturePreview, ShowsThePixelsOrWhyNot) {
    TempDir dir;
    // A 4-bit bitmap: the preview converts any pixel format to colour.
    TBitmap bitmap;
    bitmap.SetPixelFormat(pf4bit);
    bitmap.SetSize(3, 2);
    bitmap.Canvas().Brush.Color = RGB(255, 0, 0);
    bitmap.Canvas().FillRect(Rect(0, 0, 3, 2));
    bitmap.Canvas().SetPixel(2, 1, RGB(0, 0, 255));
    bitmap.SaveToFile(dir.File("small.bmp"));

    QString error;
    QImage image = PicturePreview(dir.File("small.bmp"), error);
    ASSERT_FALSE(image.isNull()) << error.toStdString();
    EXPECT_EQ(image.size(), QSize(3, 2));
    EXPECT_EQ(image.pixel(0, 0) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(image.pixel(2, 1) & 0xFFFFFF, 0x0000FFu);

    WriteBytes(dir.File("broken.bmp"), "BM not really");
    EXPECT_TRUE(PicturePreview(dir.File("broken.bmp"), error).isNull());
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(PicturePreview(dir.File("photo.xyz"), error).isNull());
    EXPECT_EQ(error.toStdString(), "Unknown picture file extension (.xyz)");
}
