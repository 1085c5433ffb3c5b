// The one way a fallible operation reports: a value, or the error that kept it from being produced.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
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

// A value or an Error. Ignoring one is a compile error: a failure must be looked at.
template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    const T& value() const& { return std::get<0>(state_); }
    T& value() & { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    const T* operator->() const { return &value(); }
    T* operator->() { return &value(); }
    const T& operator*() const& { return value(); }
    T& operator*() & { return value(); }

    const Error& error() const { return std::get<1>(state_); }

private:
    std::variant<T, Error> state_;
};

// Success without a value, or an Error.
template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Error error) : error_(std::move(error)) {}

    bool ok() const { return !error_.has_value(); }
    explicit operator bool() const { return ok(); }
    const Error& error() const { return *error_; }

private:
    std::optional<Error> error_;
};

using Status = Result<void>;

inline Status Ok() { return {}; }

}  // namespace ovn
