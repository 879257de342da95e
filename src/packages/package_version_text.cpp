#include "packages/package_version_text.h"

#include <string>

namespace halvern {
namespace {

void AppendDecimal(std::u16string& text, std::uint16_t value) {
    for (char digit : std::to_string(value)) {
        text.push_back(static_cast<char16_t>(digit));
    }
}

}  // namespace

PackageVersionText FormatPackageVersion(std::uint16_t major, std::uint16_t minor, std::uint16_t build,
                                        std::uint16_t revision) {
    // One text grows part by part; the short form is the text as it stands after Build.
    std::u16string text;
    AppendDecimal(text, major);
    text += u'.';
    AppendDecimal(text, minor);
    text += u'.';
    AppendDecimal(text, build);
    PackageVersionText result{text, {}};
    text += u'.';
    AppendDecimal(text, revision);
    result.full_version = std::move(text);
    return result;
}

}  // namespace halvern
