// Whether the test program was built under AddressSanitizer, which reserves
// more address space than any lowered address-space limit leaves.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool UnderAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool UnderAddressSanitizer = true;
#else
inline constexpr bool UnderAddressSanitizer = false;
#endif
#else
inline constexpr bool UnderAddressSanitizer = false;
#endif
