#pragma once
// The error of a failed file operation, as the file layer reports it upwards.
// Turned into words only by os_error_text (base/failure_message.h).

#include <concepts>
#include <cstdint>
#include <expected>
#include <type_traits>
#include <utility>

namespace quarnet {

class OsError {
public:
    enum class Kind : std::uint8_t {
        Code,         // a Win32 error code from GetLastError (or RtlNtStatusToDosError)
        WriteZero,    // a write accepted no bytes
        InteriorNul,  // a path held a NUL and was never handed to Windows
    };

    static constexpr OsError from_code(std::uint32_t code) {
        return OsError{Kind::Code, static_cast<std::int32_t>(code)};
    }
    static constexpr OsError write_zero() { return OsError{Kind::WriteZero, 0}; }
    static constexpr OsError interior_nul() { return OsError{Kind::InteriorNul, 0}; }

    constexpr Kind kind() const { return kind_; }
    // Signed, as it is printed in " (os error N)". Meaningful for Kind::Code only.
    constexpr std::int32_t code() const { return code_; }
    constexpr bool is_code(std::uint32_t code) const {
        return kind_ == Kind::Code && static_cast<std::uint32_t>(code_) == code;
    }
    // WSAEINTR is the one Windows error that counts as an interrupted call worth repeating.
    constexpr bool is_interrupted() const { return is_code(10004); }

    friend constexpr bool operator==(const OsError&, const OsError&) = default;

private:
    constexpr OsError(Kind kind, std::int32_t code) : kind_(kind), code_(code) {}
    Kind kind_;
    std::int32_t code_;
};

// std::expected that must be looked at: a dropped one is a compile warning.
template <class T, class Error>
class [[nodiscard]] Expected : public std::expected<T, Error> {
public:
    using std::expected<T, Error>::expected;

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
#define TRY(expression)                                                                           \
    __extension__({                                                                               \
        auto&& quarnet_try_outcome = (expression);                                                \
        if (!quarnet_try_outcome) return std::unexpected(std::move(quarnet_try_outcome).error()); \
        ::quarnet::take_value(std::move(quarnet_try_outcome));                                    \
    })

// A value or the OsError that stopped it.
template <class T>
using OsResult = Expected<T, OsError>;

// Says that a failure is dropped on purpose (clean-up and best-effort calls).
template <class Outcome>
void ignore_failure(const Outcome&) {}

// Win32 error codes the logic tells apart.
inline constexpr std::uint32_t ERROR_CODE_FILE_NOT_FOUND = 2;
inline constexpr std::uint32_t ERROR_CODE_PATH_NOT_FOUND = 3;
inline constexpr std::uint32_t ERROR_CODE_ACCESS_DENIED = 5;
inline constexpr std::uint32_t ERROR_CODE_NO_MORE_FILES = 18;
inline constexpr std::uint32_t ERROR_CODE_SHARING_VIOLATION = 32;
inline constexpr std::uint32_t ERROR_CODE_DISK_FULL = 112;
inline constexpr std::uint32_t ERROR_CODE_FILE_EXISTS = 80;
inline constexpr std::uint32_t ERROR_CODE_ALREADY_EXISTS = 183;

}  // namespace quarnet
