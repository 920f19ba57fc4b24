#include "Exif.StreamHelper.h"
#include "Exceptions.h"

std::uint8_t ReadByte(TStream& Stream)
{
    std::uint8_t Value;
    Stream.ReadBuffer(&Value, 1);
    return Value;
}

bool TryReadWord(TStream& Stream, TEndianness Endianness, std::uint16_t& Value)
{
    std::uint8_t Bytes[2];
    if (Stream.Read(Bytes, 2) != 2)
        return false;
    Value = Endianness == TEndianness::BigEndian ? static_cast<std::uint16_t>(Bytes[0] << 8 | Bytes[1])
                                                 : static_cast<std::uint16_t>(Bytes[1] << 8 | Bytes[0]);
    return true;
}

std::uint16_t ReadWord(TStream& Stream, TEndianness Endianness)
{
    std::uint16_t Value;
    if (!TryReadWord(Stream, Endianness, Value))
        throw EReadError();
    return Value;
}
