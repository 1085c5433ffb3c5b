// Unique ownership of an operating-system handle: closed exactly once, never copied.
#pragma once

#include <utility>

namespace ovn {

// Traits name the handle type, the value that means "no handle" and how to close one:
//   struct Traits {
//       using Type = ...;
//       static Type Invalid() noexcept;
//       static bool IsValid(Type) noexcept;   // e.g. rejects both null and INVALID_HANDLE_VALUE
//       static void Close(Type) noexcept;
//   };
// One traits type per kind of handle (kernel object, find handle, registry key, service, module),
// so every wrapper agrees on what a valid handle is.
template <typename Traits>
class ScopedHandle {
public:
    using Type = typename Traits::Type;

    ScopedHandle() noexcept : handle_(Traits::Invalid()) {}
    explicit ScopedHandle(Type handle) noexcept : handle_(handle) {}
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.release()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~ScopedHandle() { reset(); }

    bool valid() const noexcept { return Traits::IsValid(handle_); }
    explicit operator bool() const noexcept { return valid(); }
    Type get() const noexcept { return handle_; }

    // Gives the handle up without closing it.
    [[nodiscard]] Type release() noexcept { return std::exchange(handle_, Traits::Invalid()); }

    // Closes the handle held (if any) and takes the new one.
    void reset(Type handle = Traits::Invalid()) noexcept {
        Type old = std::exchange(handle_, handle);
        if (Traits::IsValid(old)) Traits::Close(old);
    }

private:
    Type handle_;
};

}  // namespace ovn
