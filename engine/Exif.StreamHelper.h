// Reading single bytes and 16-bit words from a byte stream.
#pragma once

#include "Streams.h"

#include <cstdint>

enum class TEndianness {
    SmallEndian, // least significant byte first
    BigEndian    // most significant byte first
};

// Reads one byte; raises EReadError at or past the end.
std::uint8_t ReadByte(TStream& Stream);

// Asks for two bytes with a plain read. True only when both arrived; Value is
// then the word in the given byte order. On false Value is undefined and the
// position has advanced by the bytes that were delivered (zero or one).
bool TryReadWord(TStream& Stream, TEndianness Endianness, std::uint16_t& Value);

// TryReadWord, raising EReadError when fewer than two bytes arrive.
std::uint16_t ReadWord(TStream& Stream, TEndianness Endianness);
