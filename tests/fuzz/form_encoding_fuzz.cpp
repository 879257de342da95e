// Form encoding over arbitrary keys and values: a receiver that splits at "&" and "=" and undoes the
// four escapes gets every pair back exactly, and nothing in the body can be taken for a separator.
#include <algorithm>

#include "fuzz_input.h"
#include "telemetry/form_encoding.h"
#include "fakes/fake_platform.h"

namespace {

using halvern::fuzzing::Check;

bool EveryPercentStartsAnEscape(const std::u16string& body) {
    for (std::size_t index = body.find(u'%'); index != std::u16string::npos;
         index = body.find(u'%', index + 1)) {
        const std::u16string_view escape = std::u16string_view(body).substr(index, 3);
        if (escape != u"%25" && escape != u"%26" && escape != u"%3D" && escape != u"%2B") {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    halvern::fuzzing::FuzzInput input(data, size);
    halvern::FormFields fields;
    while (!input.empty() && fields.size() < 16) {
        const bool tokens = input.Byte() < 160;
        std::u16string key = tokens ? input.Token(u"&=%+253DB6a\r\n", 12) : input.Text(12);
        std::u16string value = tokens ? input.Token(u"&=%+253DB6a\r\n \u00e9\U0001F600", 24) : input.Text(24);
        fields.emplace_back(std::move(key), std::move(value));
    }
    if (fields.empty()) {
        return 0;
    }
    const std::u16string body = halvern::EncodeFormBody(fields);

    const auto decoded = halvern::testing::DecodeForm(body);
    // Decoding splits at every "&", so this also proves one separator between pairs.
    Check(decoded == fields, "decoding gives the pairs back");
    Check(static_cast<std::size_t>(std::count(body.begin(), body.end(), u'=')) == fields.size(),
          "one equals sign per pair");
    Check(body.find(u'+') == std::u16string::npos, "no plus sign a receiver could take for a space");
    Check(EveryPercentStartsAnEscape(body), "every percent sign starts one of the four escapes");
    return 0;
}
