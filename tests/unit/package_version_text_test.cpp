#include "packages/package_version_text.h"

#include <gtest/gtest.h>

namespace halvern {
namespace {

TEST(FormatPackageVersion, WritesThreeAndFourPartsInDecimalWithoutLeadingZeros) {
    struct Case {
        std::uint16_t parts[4];
        std::u16string version;
        std::u16string full_version;
    };
    const Case cases[] = {
        {{1, 2, 3, 4}, u"1.2.3", u"1.2.3.4"},
        {{0, 0, 0, 0}, u"0.0.0", u"0.0.0.0"},
        {{65535, 10, 100, 7}, u"65535.10.100", u"65535.10.100.7"},
        {{2020, 1, 0, 65535}, u"2020.1.0", u"2020.1.0.65535"},
    };
    for (const Case& c : cases) {
        const PackageVersionText text = FormatPackageVersion(c.parts[0], c.parts[1], c.parts[2], c.parts[3]);
        EXPECT_EQ(text.version, c.version);
        EXPECT_EQ(text.full_version, c.full_version);
    }
}

}  // namespace
}  // namespace halvern
