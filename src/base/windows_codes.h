#pragma once
// The Windows codes the logic tells apart, in one place. The Windows build
// checks each against the SDK's own name where it meets it.

#include <cstdint>

namespace quarnet {

// Win32 error codes (winerror.h), as GetLastError gives them.
inline constexpr std::uint32_t ERROR_CODE_INVALID_FUNCTION = 1;
inline constexpr std::uint32_t ERROR_CODE_FILE_NOT_FOUND = 2;
inline constexpr std::uint32_t ERROR_CODE_PATH_NOT_FOUND = 3;
inline constexpr std::uint32_t ERROR_CODE_ACCESS_DENIED = 5;
inline constexpr std::uint32_t ERROR_CODE_NO_MORE_FILES = 18;
inline constexpr std::uint32_t ERROR_CODE_SHARING_VIOLATION = 32;
inline constexpr std::uint32_t ERROR_CODE_LOCK_VIOLATION = 33;
inline constexpr std::uint32_t ERROR_CODE_NOT_SUPPORTED = 50;
inline constexpr std::uint32_t ERROR_CODE_FILE_EXISTS = 80;
inline constexpr std::uint32_t ERROR_CODE_INVALID_PARAMETER = 87;
inline constexpr std::uint32_t ERROR_CODE_DISK_FULL = 112;
inline constexpr std::uint32_t ERROR_CODE_INVALID_NAME = 123;
inline constexpr std::uint32_t ERROR_CODE_ALREADY_EXISTS = 183;
inline constexpr std::uint32_t ERROR_CODE_HTTP_RESEND_REQUEST = 12032;  // ERROR_WINHTTP_RESEND_REQUEST
inline constexpr std::uint32_t ERROR_CODE_INTERRUPTED = 10004;          // WSAEINTR

// WinVerifyTrust's results (HRESULTs, winerror.h).
inline constexpr std::uint32_t TRUST_CODE_NO_SIGNATURE = 0x800B0100;          // TRUST_E_NOSIGNATURE
inline constexpr std::uint32_t TRUST_CODE_SUBJECT_FORM_UNKNOWN = 0x800B0003;  // TRUST_E_SUBJECT_FORM_UNKNOWN
inline constexpr std::uint32_t TRUST_CODE_PROVIDER_UNKNOWN = 0x800B0001;      // TRUST_E_PROVIDER_UNKNOWN
inline constexpr std::uint32_t TRUST_CODE_UNTRUSTED_ROOT = 0x800B0109;        // CERT_E_UNTRUSTEDROOT
inline constexpr std::uint32_t TRUST_CODE_CHAINING = 0x800B010A;              // CERT_E_CHAINING
inline constexpr std::uint32_t TRUST_CODE_BAD_DIGEST = 0x80096010;            // TRUST_E_BAD_DIGEST
inline constexpr std::uint32_t TRUST_CODE_MALFORMED_SIGNATURE = 0x80096011;   // TRUST_E_MALFORMED_SIGNATURE
inline constexpr std::uint32_t TRUST_CODE_EXPLICIT_DISTRUST = 0x800B0111;     // TRUST_E_EXPLICIT_DISTRUST
inline constexpr std::uint32_t TRUST_CODE_CERT_REVOKED = 0x800B010C;          // CERT_E_REVOKED
inline constexpr std::uint32_t TRUST_CODE_CRYPT_REVOKED = 0x80092010;         // CRYPT_E_REVOKED
inline constexpr std::uint32_t TRUST_CODE_REVOCATION_FAILURE = 0x800B010E;    // CERT_E_REVOCATION_FAILURE
inline constexpr std::uint32_t TRUST_CODE_NO_REVOCATION_CHECK = 0x80092012;   // CRYPT_E_NO_REVOCATION_CHECK
inline constexpr std::uint32_t TRUST_CODE_REVOCATION_OFFLINE = 0x80092013;    // CRYPT_E_REVOCATION_OFFLINE

}  // namespace quarnet
