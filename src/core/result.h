#pragma once

#include <QString>
#include <optional>
#include <utility>
#include <variant>

namespace isolumen {

// What went wrong, in words the user reads: the dialog's text or the line on standard error.
struct Failure
{
    QString message;
};

// The outcome of an operation that can fail: its value, or the Failure that kept it from being
// made. Its members are those of C++23's std::expected, which the compilers we support do not
// all have yet, so that moving to it later changes only this header. A Failure converts to any
// Result, so a function returns either its value or Failure{message}.
template <typename T = void> class [[nodiscard]] Result
{
public:
    Result(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    Result(Failure failure) : m_state(std::in_place_index<1>, std::move(failure)) {}

    bool has_value() const { return m_state.index() == 0; }
    explicit operator bool() const { return has_value(); }

    T& value() & { return std::get<0>(m_state); }
    const T& value() const& { return std::get<0>(m_state); }
    T&& value() && { return std::get<0>(std::move(m_state)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T&& operator*() && { return std::move(*this).value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    const Failure& error() const { return std::get<1>(m_state); }

    // As std::expected: equal to a value when it holds one that is.
    friend bool operator==(const Result& r, const T& v) { return r.has_value() && *r == v; }

private:
    std::variant<T, Failure> m_state;
};

// An operation that gives nothing but can fail: Result<> r = save(...); if (!r) ... r.error().
template <> class [[nodiscard]] Result<void>
{
public:
    Result() = default;
    Result(Failure failure) : m_failure(std::move(failure)) {}

    bool has_value() const { return !m_failure; }
    explicit operator bool() const { return has_value(); }
    const Failure& error() const { return *m_failure; }

private:
    std::optional<Failure> m_failure;
};

} // namespace isolumen
