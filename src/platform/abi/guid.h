#pragma once
// An interface id with the layout of the Windows GUID, written and compared at compile time.

#include <cstdint>
#include <string_view>

namespace halvern::abi {

struct guid {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];

    friend constexpr bool operator==(const guid&, const guid&) = default;
};

static_assert(sizeof(guid) == 16);

namespace detail {

constexpr std::uint32_t HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<std::uint32_t>(c - '0');
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<std::uint32_t>(c - 'a' + 10);
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<std::uint32_t>(c - 'A' + 10);
    }
    throw "not a hexadecimal digit";  // rejected at compile time in a constant expression
}

constexpr std::uint32_t HexValue(std::string_view text, std::size_t first, std::size_t count) {
    std::uint32_t value = 0;
    for (std::size_t index = first; index < first + count; ++index) {
        value = value * 16 + HexDigit(text[index]);
    }
    return value;
}

}  // namespace detail

// From the registry form without braces: "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx".
constexpr guid make_guid(std::string_view text) {
    if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') {
        throw "malformed interface id";
    }
    guid result{detail::HexValue(text, 0, 8),
                static_cast<std::uint16_t>(detail::HexValue(text, 9, 4)),
                static_cast<std::uint16_t>(detail::HexValue(text, 14, 4)),
                {}};
    const std::size_t starts[8] = {19, 21, 24, 26, 28, 30, 32, 34};
    for (std::size_t index = 0; index < 8; ++index) {
        result.Data4[index] = static_cast<std::uint8_t>(detail::HexValue(text, starts[index], 2));
    }
    return result;
}

// Each declared interface names its id through this trait; an interface without one does not compile.
template <typename Interface>
struct interface_id;

template <typename Interface>
constexpr const guid& iid_of() {
    return interface_id<Interface>::value;
}

}  // namespace halvern::abi

// Used inside namespace halvern::abi, next to the interface it names.
#define HALVERN_ABI_IID(Interface, text)               \
    template <>                                        \
    struct interface_id<Interface> {                   \
        static constexpr guid value = make_guid(text); \
    }
