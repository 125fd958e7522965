#include <gtest/gtest.h>

#include "Graphics.h"
#include "Icon.h"
#include "TestSupport.h"

TEST(IconConformance, FixtureIconsLoadTheirLargestImage) {
    if (FixturesDir().empty()) GTEST_SKIP() << "fixture folder ../shared/fixtures is absent";
    struct Case {
        const char* name;
        int images, width, height;
    } cases[] = {{"hopper.ico", 1, 16, 16}, {"python.ico", 3, 48, 48}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TPicture picture;
        picture.LoadFromFile(FixturesDir() + "/ico/" + c.name);
        ASSERT_TRUE(picture.Graphic()->InheritsFrom(&TIcon::Class));
        EXPECT_EQ(c.images, static_cast<TIcon*>(picture.Graphic())->ImageCount());
        EXPECT_EQ(c.width, picture.Width());
        EXPECT_EQ(c.height, picture.Height());
    }
}
