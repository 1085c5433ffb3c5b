// The one way a fallible operation reports: a value, or the error that kept it from being produced.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace ovn {

// Why an operation failed: the system call (or the check) that failed, its error code as the
// platform reports it (0 when no call failed), and a text for the operator (may be empty; the
// caller then words the failure from call and code).
struct Error {
    std::string call;
    std::uint32_t code = 0;
    std::string text;
};

// The error of a failed call (or check) with the platform's code and no text of its own.
inline Error CallError(std::string call, std::uint32_t code) {
    return Error{std::move(call), code, std::string()};
}

// A value or an error. Ignoring one is a compile error: a failure must be looked at. E is Error or
// a kind of it that says more (a file seam's error also says whether the file itself was refused),
// so every seam reports the same call, code and text.
template <typename T, typename E = Error>
class [[nodiscard]] Result {
    static_assert(std::is_base_of_v<Error, E>, "a result's error is an ovn::Error");

public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(E error) : state_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    const T& value() const& { return std::get<0>(state_); }
    T& value() & { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    const T* operator->() const { return &value(); }
    T* operator->() { return &value(); }
    const T& operator*() const& { return value(); }
    T& operator*() & { return value(); }

    const E& error() const { return std::get<1>(state_); }

private:
    std::variant<T, E> state_;
};

// Success without a value, or an error.
template <typename E>
class [[nodiscard]] Result<void, E> {
    static_assert(std::is_base_of_v<Error, E>, "a result's error is an ovn::Error");

public:
    Result() = default;
    Result(E error) : error_(std::move(error)) {}

    bool ok() const { return !error_.has_value(); }
    explicit operator bool() const { return ok(); }
    const E& error() const { return *error_; }

private:
    std::optional<E> error_;
};

using Status = Result<void>;

inline Status Ok() { return {}; }

}  // namespace ovn
