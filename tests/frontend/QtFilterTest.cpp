#include <gtest/gtest.h>

#include <QString>

#include "FileDialogs.h"

namespace {

TEST(QtFilter, TurnsPlatformFiltersIntoQtFilters) {
    struct Case {
        const char* platform;
        const char* qt;
    } cases[] = {
        {"*.txt|*.txt", "*.txt (*.txt *.TXT)"},
        {"All (*.bmp;*.tif)|*.bmp;*.tif|Bitmaps (*.bmp)|*.bmp", "All (*.bmp *.BMP *.tif *.TIF);;Bitmaps (*.bmp *.BMP)"},
        {"All files|*", "All files (*)"},
        {"", ""},
        {"dangling description", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(QtFilter(c.platform).toStdString(), c.qt) << c.platform;
}

}  // namespace
