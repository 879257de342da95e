#pragma once
// Turns fuzzer bytes into the values a target needs, consuming from the front; reports a broken invariant.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace halvern::fuzzing {

// Stops the run with the broken invariant named, so that libFuzzer keeps the input.
inline void Check(bool condition, const char* invariant) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", invariant);
        std::abort();
    }
}

class FuzzInput {
  public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return size_ == 0; }

    std::uint8_t Byte() {
        if (size_ == 0) {
            return 0;
        }
        --size_;
        return *data_++;
    }

    // UTF-16 text of up to `max_units` code units, any units at all (lone surrogates, NUL, controls).
    std::u16string Text(std::size_t max_units) {
        const std::size_t length = Byte() % (max_units + 1);
        std::u16string text;
        for (std::size_t index = 0; index < length && size_ >= 2; ++index) {
            const auto low = Byte();
            text.push_back(static_cast<char16_t>(low | (Byte() << 8)));
        }
        return text;
    }

    // Text made mostly of the characters that matter to a parser, so the fuzzer reaches deep branches. A
    // length beyond 255 takes two bytes.
    std::u16string Token(std::u16string_view alphabet, std::size_t max_units) {
        const std::size_t length = (max_units > 255 ? Byte() | (Byte() << 8) : Byte()) % (max_units + 1);
        std::u16string text;
        for (std::size_t index = 0; index < length && !empty(); ++index) {
            const std::uint8_t pick = Byte();
            text.push_back(pick < 224 ? alphabet[pick % alphabet.size()] : static_cast<char16_t>(pick * 257));
        }
        return text;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
};

}  // namespace halvern::fuzzing
