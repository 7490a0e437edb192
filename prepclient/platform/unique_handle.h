#pragma once

#include <utility>

// Owns one Windows resource. Traits supplies the handle type, the value that
// owns nothing (`invalid()`, a function because pointer-valued sentinels such
// as INVALID_HANDLE_VALUE cannot be template arguments) and `close`.
template <typename Traits>
class UniqueHandle {
  public:
    using Handle = typename Traits::Handle;

    UniqueHandle() = default;
    explicit UniqueHandle(Handle value) : value_(value) {}
    UniqueHandle(UniqueHandle&& other) noexcept
        : value_(std::exchange(other.value_, Traits::invalid())) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        reset(std::exchange(other.value_, Traits::invalid()));
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    Handle get() const { return value_; }
    bool valid() const { return value_ != Traits::invalid(); }
    void reset(Handle value = Traits::invalid()) {
        if (valid()) {
            Traits::close(value_);
        }
        value_ = value;
    }

  private:
    Handle value_ = Traits::invalid();
};
