#include "packages/package_version_text.h"

#include "common/decimal_text.h"

namespace halvern {

PackageVersionText FormatPackageVersion(std::uint16_t major, std::uint16_t minor, std::uint16_t build,
                                        std::uint16_t revision) {
    // One text grows part by part; the short form is the text as it stands after Build.
    std::u16string text;
    text += DecimalText(major);
    text += u'.';
    text += DecimalText(minor);
    text += u'.';
    text += DecimalText(build);
    PackageVersionText result{text, {}};
    text += u'.';
    text += DecimalText(revision);
    result.full_version = std::move(text);
    return result;
}

}  // namespace halvern
