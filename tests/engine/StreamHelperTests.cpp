#include "Exif.StreamHelper.h"
#include "Exceptions.h"
#include "JpegBytes.h"

#include <gtest/gtest.h>

namespace {

struct TWordCase {
    const char* Name;
    TBytes Content;
    std::int64_t Position;
    TEndianness Endianness;
    bool Complete;              // two bytes are there
    std::uint16_t Value;        // when Complete
    std::int64_t PositionAfter; // after TryReadWord
};

class WordReading : public testing::TestWithParam<TWordCase> {};

TEST_P(WordReading, TryReadWordAndReadWordAgree)
{
    const TWordCase& Case = GetParam();
    TMemoryStream Stream;
    Fill(Stream, Case.Content);

    Stream.SetPosition(Case.Position);
    std::uint16_t Value = 0;
    EXPECT_EQ(TryReadWord(Stream, Case.Endianness, Value), Case.Complete);
    EXPECT_EQ(Stream.GetPosition(), Case.PositionAfter);
    if (Case.Complete) {
        EXPECT_EQ(Value, Case.Value);
    }

    Stream.SetPosition(Case.Position);
    if (Case.Complete) {
        EXPECT_EQ(ReadWord(Stream, Case.Endianness), Case.Value);
    } else {
        EXPECT_THROW(ReadWord(Stream, Case.Endianness), EReadError);
    }
    EXPECT_EQ(Stream.GetPosition(), Case.PositionAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WordReading,
    testing::Values(TWordCase{"SmallEndian", Bytes({0xFF, 0xD8}), 0, TEndianness::SmallEndian, true, 0xD8FF, 2},
                    TWordCase{"BigEndian", Bytes({0xFF, 0xD8}), 0, TEndianness::BigEndian, true, 0xFFD8, 2},
                    TWordCase{"OneByteLeft", Bytes({0xFF, 0xD8, 0x01}), 2, TEndianness::BigEndian, false, 0, 3},
                    TWordCase{"Empty", TBytes(), 0, TEndianness::BigEndian, false, 0, 0},
                    TWordCase{"PastTheEnd", Bytes({0xFF, 0xD8}), 10, TEndianness::SmallEndian, false, 0, 10}),
    [](const testing::TestParamInfo<TWordCase>& Info) { return Info.param.Name; });

TEST(ReadByte, ReadsInOrderAndRaisesAtTheEnd)
{
    TMemoryStream Stream;
    Fill(Stream, Bytes({0x12, 0xFF}));
    EXPECT_EQ(ReadByte(Stream), 0x12);
    EXPECT_EQ(ReadByte(Stream), 0xFF);
    EXPECT_THROW(ReadByte(Stream), EReadError);
    EXPECT_EQ(Stream.GetPosition(), 2);
}

TEST(ReadByte, RaisesOnEmptyStreamAndPastTheEnd)
{
    TMemoryStream Stream;
    EXPECT_THROW(ReadByte(Stream), EReadError);
    Fill(Stream, Bytes({1, 2, 3}));
    Stream.SetPosition(7);
    EXPECT_THROW(ReadByte(Stream), EReadError);
    EXPECT_EQ(Stream.GetPosition(), 7);
}

TEST(ReadByte, RaisesTheStreamReadErrorWithItsMessage)
{
    TMemoryStream Stream;
    try {
        ReadByte(Stream);
        FAIL() << "no exception";
    } catch (const Exception& Error) {
        EXPECT_EQ(Error.Message(), "Stream read error");
        EXPECT_NE(dynamic_cast<const EReadError*>(&Error), nullptr);
    }
}

} // namespace
