// The whole product: images added through the window, converted by the real converter tool
// beside the program, and the results read back through the image library.
#include <QComboBox>
#include <QRadioButton>

#include "Classes.h"
#include "FormFixture.h"
#include "Graphics.h"
#include "SysUtils.h"
#include "TargaGraphic.h"

namespace {

// A bitmap of width x height in one colour, at 24 bits per pixel.
void FillBitmap(TBitmap& bitmap, int32_t width, int32_t height, TColor color) {
    bitmap.SetPixelFormat(pf24bit);
    bitmap.SetSize(width, height);
    bitmap.Canvas().Brush.Color = color;
    bitmap.Canvas().FillRect(Rect(0, 0, width, height));
}

TEST_F(FormTest, ThreeFormatsConvertedByTheRealTool) {
    const std::string tool = std::string(VARNEL_BIN_DIR) + "/VarnelSilent";
    if (!FileExists(tool)) GTEST_SKIP() << "the converter tool is not built at " << tool;
    form->SetToolPath(tool);

    // A Windows bitmap, a Targa file and a PCX file, each in its own colour and size.
    struct Input {
        std::string name;
        int32_t width, height;
        TColor color;
    };
    const std::vector<Input> inputs = {
        {"red.bmp", 7, 5, RGB(255, 0, 0)}, {"green.tga", 4, 9, RGB(0, 255, 0)}, {"blue.pcx", 6, 6, RGB(0, 0, 255)}};
    for (const auto& in : inputs) {
        TBitmap bitmap;
        FillBitmap(bitmap, in.width, in.height, in.color);
        const std::string path = dir.File(in.name);
        if (ExtractFileExt(path) == ".tga") {
            TFileStream out(path, fmCreate);
            TTargaGraphic::SaveBitmapToStream(bitmap, out, true);
        } else if (ExtractFileExt(path) == ".bmp") {
            bitmap.SaveToFile(path);
        } else {
            // The library reads PCX but does not write it: netpbm makes the file.
            if (!HaveProgram("ppmtopcx")) GTEST_SKIP() << "netpbm's ppmtopcx is needed to make a PCX file";
            std::string ppm = "P6\n" + std::to_string(in.width) + " " + std::to_string(in.height) + "\n255\n";
            for (int i = 0; i < in.width * in.height; ++i)
                ppm += std::string{char(GetRValue(in.color)), char(GetGValue(in.color)), char(GetBValue(in.color))};
            WriteBytes(dir.File("blue.ppm"), ppm);
            ASSERT_EQ(RunCommand("ppmtopcx -24bit '" + dir.File("blue.ppm") + "' > '" + path + "' 2>/dev/null"), 0);
        }
    }

    Lines files;
    for (const auto& in : inputs) files.push_back(dir.File(in.name));
    dialogs.OpenAnswers.push_back(files);
    Click("Button1");
    ASSERT_EQ(Rows(), (Lines{dir.File("red.bmp") + "|7x5|.bmp|" + std::to_string(FileSizeOf(dir.File("red.bmp"))) + " byte(s)",
                             dir.File("green.tga") + "|4x9|.tga|" + std::to_string(FileSizeOf(dir.File("green.tga"))) + " byte(s)",
                             dir.File("blue.pcx") + "|6x6|.pcx|" + std::to_string(FileSizeOf(dir.File("blue.pcx"))) + " byte(s)"}));

    // Same size (100 percent), as PNG files beside the inputs.
    Find<QRadioButton>("RadioButton4")->setChecked(true);
    Find<QComboBox>("ComboBox1")->setCurrentIndex(3);
    Click("Button5");
    ASSERT_FALSE(messages.Messages.empty());
    const std::string done = messages.Messages.back().Text;
    EXPECT_EQ(done.rfind("Done in ", 0), 0u) << done;
    EXPECT_EQ(done.find('\n'), std::string::npos) << done;

    for (const auto& in : inputs) {
        const std::string output = ChangeFileExt(dir.File(in.name), ".png");
        ASSERT_TRUE(FileExists(output)) << output;
        TPicture picture;
        picture.LoadFromFile(output);
        ASSERT_EQ(picture.Width(), in.width) << output;
        ASSERT_EQ(picture.Height(), in.height) << output;
        auto* bitmap = dynamic_cast<TBitmap*>(picture.Graphic());
        ASSERT_NE(bitmap, nullptr);
        bitmap->SetPixelFormat(pf24bit);
        for (int32_t y = 0; y < in.height; ++y)
            for (int32_t x = 0; x < in.width; ++x)
                ASSERT_EQ(bitmap->Canvas().Pixel(x, y), in.color) << output << " at " << x << "," << y;
    }
}

}  // namespace
