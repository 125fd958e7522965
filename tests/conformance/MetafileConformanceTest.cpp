#include <gtest/gtest.h>

#include "Graphics.h"
#include "Metafile.h"
#include "TestSupport.h"

// The placeable metafile's box is 1369 units at 1200 per inch: 2898 hundredths of a millimetre,
// 110 pixels at 96 dpi. The enhanced metafile's frame is 2899 hundredths of a millimetre on a
// reference device of 10205 pixels per 216 mm: 1370 pixels.
TEST(MetafileConformance, FixtureMetafilesAreMeasuredFromTheirHeaders) {
    if (FixturesDir().empty()) GTEST_SKIP() << "fixture folder ../shared/fixtures is absent";
    struct Case {
        const char* name;
        bool enhanced;
        int width, height, mmWidth;
    } cases[] = {{"wmf/drawing.wmf", false, 110, 110, 2898}, {"emf/drawing.emf", true, 1370, 1370, 2899}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TPicture picture;
        picture.LoadFromFile(FixturesDir() + "/" + c.name);
        ASSERT_TRUE(picture.Graphic()->InheritsFrom(&TMetafile::Class));
        auto* m = static_cast<TMetafile*>(picture.Graphic());
        EXPECT_EQ(c.enhanced, m->Enhanced());
        EXPECT_EQ(c.width, picture.Width());
        EXPECT_EQ(c.height, picture.Height());
        EXPECT_EQ(c.mmWidth, m->MMWidth());
    }
}
