#pragma once
// The error of a failed file operation, as the file layer reports it upwards.
// Turned into words only by os_error_text (platform/error_texts.h).

#include <cstdint>

#include "base/expected.h"
#include "base/windows_codes.h"

namespace quarnet {

class OsError {
public:
    enum class Kind : std::uint8_t {
        Code,         // a Win32 error code from GetLastError (or RtlNtStatusToDosError)
        WriteZero,    // a write accepted no bytes
        InteriorNul,  // a path held a NUL and was never handed to Windows
    };

    // `call` names what failed (the Windows call, or the operation that refused
    // in its stead), for tests and debugging; it is never shown to the user.
    static constexpr OsError from_code(std::uint32_t code, const char* call = nullptr) {
        return OsError{Kind::Code, static_cast<std::int32_t>(code), call};
    }
    static constexpr OsError write_zero() { return OsError{Kind::WriteZero, 0, nullptr}; }
    static constexpr OsError interior_nul() { return OsError{Kind::InteriorNul, 0, nullptr}; }

    constexpr Kind kind() const { return kind_; }
    // Signed, as it is printed in " (os error N)". Meaningful for Kind::Code only.
    constexpr std::int32_t code() const { return code_; }
    constexpr bool is_code(std::uint32_t code) const {
        return kind_ == Kind::Code && static_cast<std::uint32_t>(code_) == code;
    }
    // WSAEINTR is the one Windows error that counts as an interrupted call worth repeating.
    constexpr bool is_interrupted() const { return is_code(ERROR_CODE_INTERRUPTED); }
    // What failed, when the layer that met the error named it; null otherwise.
    constexpr const char* call() const { return call_; }

    // The same error, whichever call met it.
    friend constexpr bool operator==(const OsError& a, const OsError& b) {
        return a.kind_ == b.kind_ && a.code_ == b.code_;
    }

private:
    constexpr OsError(Kind kind, std::int32_t code, const char* call) : kind_(kind), code_(code), call_(call) {}
    Kind kind_;
    std::int32_t code_;
    const char* call_;
};

// A value or the OsError that stopped it.
template <class T>
using OsResult = Expected<T, OsError>;

}  // namespace quarnet
