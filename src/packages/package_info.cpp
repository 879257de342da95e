#include "packages/package_info.h"

#include "common/decimal_text.h"

namespace halvern {

PackageInfo MakePackageInfo(const PackageFacts& facts) {
    PackageInfo info{facts.name, facts.display_name, facts.full_name, facts.family_name, {}, {}, {}, false};
    // One text grows part by part; the short form is the text as it stands after Build.
    std::u16string text = DecimalText(facts.version.major) + u'.' + DecimalText(facts.version.minor) + u'.' +
                          DecimalText(facts.version.build);
    info.version = text;
    info.full_version = std::move(text) + u'.' + DecimalText(facts.version.revision);
    if (facts.has_package8) {
        info.installed_path = facts.installed_path;
        info.has_external_location = !facts.effective_external_path.empty();
    }
    return info;
}

}  // namespace halvern
