#pragma once
// Results that must be looked at, and their propagation in one word.

#include <concepts>
#include <expected>
#include <type_traits>
#include <utility>

namespace quarnet {

// A failure on its way up (TRY's), by reference: the result it is returned
// into takes it over with one move, where std::unexpected would take two.
template <class Error>
struct PassedError {
    Error& error;
};
template <class Error>
PassedError(Error&) -> PassedError<Error>;

// std::expected that must be looked at: a dropped one is a compile warning.
template <class T, class Error>
class [[nodiscard]] Expected : public std::expected<T, Error> {
public:
    using std::expected<T, Error>::expected;
    template <class From>
    requires std::constructible_from<Error, From&&> Expected(PassedError<From> passed)
        : std::expected<T, Error>(std::unexpect, std::move(passed.error)) {}

    // An exact match, so a comparison does not also match the base's generic ones.
    friend bool operator==(const Expected& a, const std::unexpected<Error>& b) {
        return static_cast<const std::expected<T, Error>&>(a) == b;
    }
    // Two results, without a conversion of either side.
    template <class Left, class Right>
    requires std::same_as<Left, Expected> && std::same_as<Right, Expected>
    friend bool operator==(const Left& a, const Right& b) {
        return static_cast<const std::expected<T, Error>&>(a) == static_cast<const std::expected<T, Error>&>(b);
    }
};

// The value of a result that holds one (nothing for a void one); TRY's last step.
template <class Outcome>
auto take_value(Outcome&& outcome) {
    if constexpr (!std::is_void_v<typename std::remove_cvref_t<Outcome>::value_type>) return std::move(*outcome);
}

// TRY(expression): the value of a result, or a return of its failure from the
// calling function, whose own result must take that error type.
#define TRY(expression)                                                                       \
    __extension__({                                                                           \
        auto&& quarnet_try_outcome = (expression);                                            \
        if (!quarnet_try_outcome) return ::quarnet::PassedError{quarnet_try_outcome.error()}; \
        ::quarnet::take_value(std::move(quarnet_try_outcome));                                \
    })

// TRY_MAP(expression, error, mapped): the same, but the failure returned is
// `mapped`, an expression in the failure bound to the name `error`; so an
// OsError becomes the message of the step that met it.
#define TRY_MAP(expression, error, mapped)                                          \
    __extension__({                                                                 \
        auto&& quarnet_try_outcome = (expression);                                  \
        if (!quarnet_try_outcome) {                                                 \
            [[maybe_unused]] auto&& error = std::move(quarnet_try_outcome).error(); \
            return std::unexpected(mapped);                                         \
        }                                                                           \
        ::quarnet::take_value(std::move(quarnet_try_outcome));                      \
    })

// Says that a failure is dropped on purpose (clean-up and best-effort calls).
template <class Outcome>
void ignore_failure(const Outcome&) {}

}  // namespace quarnet
