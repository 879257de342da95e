#pragma once
// One move-only owner for every kind of handle. The traits name the handle type, its invalid value
// and how to close it; a traits object may carry state (a seam to close through).

#include <cassert>
#include <utility>

namespace halvern {

template <typename Traits>
class UniqueHandle {
  public:
    using handle_type = typename Traits::handle_type;

    UniqueHandle() = default;
    explicit UniqueHandle(Traits traits) : traits_(std::move(traits)) {}
    UniqueHandle(handle_type handle, Traits traits) : handle_(handle), traits_(std::move(traits)) {}
    explicit UniqueHandle(handle_type handle) : handle_(handle) {}

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    UniqueHandle(UniqueHandle&& other) noexcept
        : handle_(other.release()), traits_(std::move(other.traits_)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset(other.release());
            traits_ = std::move(other.traits_);
        }
        return *this;
    }

    ~UniqueHandle() { reset(); }

    handle_type get() const noexcept { return handle_; }

    // For out-parameters: the owner must be empty, so nothing is leaked by overwriting.
    handle_type* put() noexcept {
        assert(!*this);
        return &handle_;
    }

    handle_type release() noexcept { return std::exchange(handle_, Traits::invalid()); }

    void reset(handle_type handle = Traits::invalid()) noexcept {
        const handle_type old = std::exchange(handle_, handle);
        if (old != Traits::invalid()) {
            traits_.close(old);
        }
    }

    explicit operator bool() const noexcept { return handle_ != Traits::invalid(); }

  private:
    handle_type handle_ = Traits::invalid();
    [[no_unique_address]] Traits traits_{};
};

}  // namespace halvern
