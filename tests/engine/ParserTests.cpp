#include "Exceptions.h"
#include "Exif.JPEGUtils.h"
#include "JpegBytes.h"

#include <gtest/gtest.h>

namespace {

const TJPEGMarkers APPn = TJPEGMarkers::Range(0xE1, 0xEF);

struct TFound {
    std::uint8_t Marker;
    std::int64_t Offset;
    TBytes Payload;
    std::int32_t TotalSize;
};

enum class TEnd { NoMore, ReadError };

struct TParseCase {
    const char* Name;
    TBytes Content;
    TJPEGMarkers Wanted;
    std::vector<TFound> Found;
    TEnd End;
};

std::ostream& operator<<(std::ostream& Out, const TParseCase& Case)
{
    return Out << Case.Name;
}

const TBytes Headers = SOI + JFIF() + Quantisation();
const std::int64_t AfterHeaders = static_cast<std::int64_t>(Headers.size());

const TParseCase ParseCases[] = {
    {"OnlyEndOfImage", Bytes({0xFF, 0xD8, 0xFF, 0xD9}), APPn, {}, TEnd::NoMore},
    {"EmptyPayload", Bytes({0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x02, 0xFF, 0xD9}), {0xE1}, {{0xE1, 2, {}, 4}}, TEnd::NoMore},
    {"FillBytesStayOutsideTheSegment",
     Bytes({0xFF, 0xD8, 0xFF, 0xFF, 0xFF, 0xE1, 0x00, 0x04, 0xAA, 0xBB, 0xFF, 0xD9}),
     {0xE1},
     {{0xE1, 4, Bytes({0xAA, 0xBB}), 6}},
     TEnd::NoMore},
    {"StreamEndsWhereAWantedSegmentEnds", Bytes({0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x02}), {0xE1}, {{0xE1, 2, {}, 4}},
     TEnd::ReadError},
    {"NothingAfterStartOfImage", SOI, APPn, {}, TEnd::ReadError},
    {"NoMarkerAfterStartOfImage", Bytes({0xFF, 0xD8, 0x00, 0xFF, 0xE1, 0x00, 0x02}), APPn, {}, TEnd::NoMore},
    {"UnwantedSegmentsAreSkipped",
     Headers + Exif() + Scan() + EOI,
     APPn,
     {{0xE1, AfterHeaders, Text(std::string("Exif\0\0MM", 8)) + Filled(24, 0x2A), 36}},
     TEnd::NoMore},
    {"SegmentsAfterTheFirstScanAreNotFound",
     SOI + Exif(2) + Scan() + Segment(0xE2, Text("ICC")) + EOI,
     APPn,
     {{0xE1, 2, Text(std::string("Exif\0\0MM**", 10)), 14}},
     TEnd::NoMore},
    {"StuffedBytesAndRestartsAtTheStartOfScanData",
     SOI + Segment(0xDA, Bytes({1, 1, 0, 0, 63, 0})) + Bytes({0xFF, 0x00, 0xFF, 0xD0, 0x12}) +
         Segment(0xE2, Text("ICC")) + EOI,
     APPn,
     {},
     TEnd::NoMore},
    {"MarkersWithoutLengthField",
     Bytes({0xFF, 0xD8, 0xFF, 0x01, 0xFF, 0xD0, 0xFF, 0xE1, 0x00, 0x03, 0x07, 0xFF, 0xD9}),
     {0x01, 0xD0, 0xE1},
     {{0x01, 2, {}, 2}, {0xD0, 4, {}, 2}, {0xE1, 6, Bytes({0x07}), 5}},
     TEnd::NoMore},
    {"EndOfImageWanted", Bytes({0xFF, 0xD8, 0xFF, 0xD9, 0xFF, 0xE1, 0x00, 0x02}), {0xD9, 0xE1}, {{0xD9, 2, {}, 2}},
     TEnd::NoMore},
    {"WantedLengthZeroReads65534Bytes", SOI + Bytes({0xFF, 0xE1, 0x00, 0x00}) + Filled(100, 1), APPn, {},
     TEnd::ReadError},
    {"WantedLengthOneReads65535Bytes", SOI + Bytes({0xFF, 0xE1, 0x00, 0x01}) + Filled(100, 1), APPn, {},
     TEnd::ReadError},
    {"UnwantedLengthZeroSkipsPastAShortEnd", SOI + Bytes({0xFF, 0xE2, 0x00, 0x00}) + Filled(100, 1), {0xE1}, {},
     TEnd::ReadError},
    {"UnwantedLengthZeroSkips65534Bytes",
     SOI + Bytes({0xFF, 0xE2, 0x00, 0x00}) + Filled(65534, 1) + Bytes({0xFF, 0xE1, 0x00, 0x02}) + EOI,
     {0xE1},
     {{0xE1, 2 + 4 + 65534, {}, 4}},
     TEnd::NoMore},
    {"LargestPayload", SOI + Bytes({0xFF, 0xE1, 0xFF, 0xFF}) + Filled(65533, 9) + EOI, APPn,
     {{0xE1, 2, Filled(65533, 9), 65537}}, TEnd::NoMore},
    {"TruncatedAfterFF", Bytes({0xFF, 0xD8, 0xFF}), APPn, {}, TEnd::ReadError},
    {"TruncatedInFillBytes", Bytes({0xFF, 0xD8, 0xFF, 0xFF, 0xFF}), APPn, {}, TEnd::ReadError},
    {"TruncatedBeforeLength", Bytes({0xFF, 0xD8, 0xFF, 0xE1}), APPn, {}, TEnd::ReadError},
    {"TruncatedInLength", Bytes({0xFF, 0xD8, 0xFF, 0xE1, 0x00}), APPn, {}, TEnd::ReadError},
    {"TruncatedInWantedPayload", Bytes({0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x05, 0xAA}), APPn, {}, TEnd::ReadError},
    {"TruncatedInUnwantedPayload", Bytes({0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x05, 0xAA}), APPn, {}, TEnd::ReadError},
};

class ParserWalk : public testing::TestWithParam<TParseCase> {};

TEST_P(ParserWalk, YieldsTheWantedSegmentsThenEndsTheSameWayAgain)
{
    const TParseCase& Case = GetParam();
    TMemoryStream Stream;
    Fill(Stream, Case.Content);
    auto Parser = JPEGHeader(Stream, Case.Wanted);

    for (const TFound& Expected : Case.Found) {
        SCOPED_TRACE(testing::Message() << "segment at " << Expected.Offset);
        ASSERT_TRUE(Parser->MoveNext());
        auto Segment = Parser->Current();
        ASSERT_TRUE(Segment);
        EXPECT_EQ(Segment->MarkerNum(), Expected.Marker);
        EXPECT_EQ(Segment->Offset(), Expected.Offset);
        EXPECT_EQ(Segment->TotalSize(), Expected.TotalSize);
        EXPECT_EQ(Segment->Data().GetPosition(), 0);
        EXPECT_EQ(Content(Segment->Data()), Expected.Payload);
    }

    // The end repeats: a further step ends exactly as the first one did.
    for (int Step = 0; Step < 2; ++Step) {
        if (Case.End == TEnd::NoMore) {
            EXPECT_FALSE(Parser->MoveNext());
        } else {
            EXPECT_THROW(Parser->MoveNext(), EReadError);
        }
        EXPECT_FALSE(Parser->Current());
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ParserWalk, testing::ValuesIn(ParseCases),
                         [](const testing::TestParamInfo<TParseCase>& Info) { return Info.param.Name; });

TEST(Parser, RangeForYieldsWhatMoveNextYields)
{
    TMemoryStream Stream;
    Fill(Stream, SOI + JFIF() + Exif() + Segment(0xED, Text("Photoshop")) + Scan() + EOI);
    std::vector<std::pair<int, std::int64_t>> Seen;
    auto Parser = JPEGHeader(Stream, APPn);
    for (const auto& Segment : *Parser->GetEnumerator())
        Seen.emplace_back(Segment->MarkerNum(), Segment->Offset());
    const std::int64_t ExifAt = 2 + static_cast<std::int64_t>(JFIF().size());
    EXPECT_EQ(Seen, (std::vector<std::pair<int, std::int64_t>>{
                        {0xE1, ExifAt}, {0xED, ExifAt + static_cast<std::int64_t>(Exif().size())}}));
}

TEST(Parser, GetEnumeratorIsTheParserItself)
{
    TMemoryStream Stream;
    Fill(Stream, SOI + EOI);
    auto Parser = JPEGHeader(Stream, APPn);
    EXPECT_EQ(Parser->GetEnumerator().get(), Parser.get());
}

TEST(Parser, AHeldSegmentOutlivesTheNextStepAndTheParser)
{
    TMemoryStream Stream;
    Fill(Stream, SOI + Segment(0xE1, Bytes({1, 2})) + Segment(0xE2, Bytes({3})) + EOI);
    std::shared_ptr<IFoundJPEGSegment> First;
    {
        auto Parser = JPEGHeader(Stream, APPn);
        ASSERT_TRUE(Parser->MoveNext());
        First = Parser->Current();
        ASSERT_TRUE(Parser->MoveNext());
        EXPECT_NE(Parser->Current(), First);
        EXPECT_EQ(Parser->Current()->MarkerNum(), 0xE2);
    }
    EXPECT_EQ(First->MarkerNum(), 0xE1);
    EXPECT_EQ(Content(First->Data()), Bytes({1, 2}));
}

TEST(Parser, AfterTheEndOfImageTheStreamIsNotTouchedAgain)
{
    TMemoryStream Stream;
    Fill(Stream, Bytes({0xFF, 0xD8, 0xFF, 0xD9}));
    auto Parser = JPEGHeader(Stream, APPn);
    EXPECT_FALSE(Parser->MoveNext());
    Stream.SetPosition(1);
    EXPECT_FALSE(Parser->MoveNext());
    EXPECT_EQ(Stream.GetPosition(), 1);
}

TEST(Parser, EachStepResumesWhereTheLastOneEndedWhateverTheStreamDidMeanwhile)
{
    TMemoryStream Stream;
    Fill(Stream, SOI + Segment(0xE1, Bytes({1})) + Segment(0xE2, Bytes({2})) + EOI);
    auto Parser = JPEGHeader(Stream, APPn);
    ASSERT_TRUE(Parser->MoveNext());
    Stream.SetPosition(0);
    ASSERT_TRUE(Parser->MoveNext());
    EXPECT_EQ(Parser->Current()->MarkerNum(), 0xE2);
}

TEST(Parser, OffsetsCountFromTheStartOfTheStream)
{
    TMemoryStream Stream;
    Fill(Stream, Filled(100, 0xAB) + SOI + Segment(0xE1, Bytes({1})) + EOI);
    Stream.SetPosition(100);
    auto Parser = JPEGHeader(Stream, APPn);
    ASSERT_TRUE(Parser->MoveNext());
    EXPECT_EQ(Parser->Current()->Offset(), 102);
}

struct THeaderCase {
    const char* Name;
    TBytes Content;
    bool ReadError; // otherwise EInvalidJPEGHeader
};

class ParserConstruction : public testing::TestWithParam<THeaderCase> {};

TEST_P(ParserConstruction, RefusesAStreamThatDoesNotStartAnImage)
{
    TMemoryStream Stream;
    Fill(Stream, GetParam().Content);
    if (GetParam().ReadError) {
        EXPECT_THROW(JPEGHeader(Stream, APPn), EReadError);
        return;
    }
    try {
        JPEGHeader(Stream, APPn);
        FAIL() << "no exception";
    } catch (const EInvalidGraphic& Error) {
        EXPECT_NE(dynamic_cast<const EInvalidJPEGHeader*>(&Error), nullptr);
        EXPECT_EQ(Error.Message(), "JPEG header is not valid");
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ParserConstruction,
                         testing::Values(THeaderCase{"Empty", {}, true}, THeaderCase{"OneByte", Bytes({0xFF}), true},
                                         THeaderCase{"Swapped", Bytes({0xD8, 0xFF, 0xFF, 0xD9}), false},
                                         THeaderCase{"PNG", Bytes({0x89, 'P', 'N', 'G'}), false},
                                         THeaderCase{"EndOfImage", Bytes({0xFF, 0xD9}), false}),
                         [](const testing::TestParamInfo<THeaderCase>& Info) { return Info.param.Name; });

TEST(Parser, AnOwnedStreamLivesAsLongAsTheParser)
{
    auto Stream = std::make_unique<TMemoryStream>();
    Fill(*Stream, SOI + Segment(0xE1, Bytes({5})) + EOI);
    auto Parser = std::make_shared<TJPEGHeaderParser>(std::move(Stream), APPn);
    ASSERT_TRUE(Parser->MoveNext());
    EXPECT_EQ(Content(Parser->Current()->Data()), Bytes({5}));
    EXPECT_FALSE(Parser->MoveNext());
}

struct TAdobeCase {
    const char* Name;
    TBytes Segment;
    bool IsColourSegment;
};

class AdobeSegment : public testing::TestWithParam<TAdobeCase> {};

TEST_P(AdobeSegment, OnlyTheTwelveByteDCTSegmentIsRecognised)
{
    TMemoryStream Stream;
    Fill(Stream, SOI + GetParam().Segment + EOI);
    auto Parser = JPEGHeader(Stream, APPn);
    ASSERT_TRUE(Parser->MoveNext());
    EXPECT_EQ(IsAdobeColourSegment(*Parser->Current()), GetParam().IsColourSegment);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AdobeSegment,
    testing::Values(TAdobeCase{"AdobeDCT", AdobeColour(), true}, TAdobeCase{"AdobeDCTNoTransform", AdobeColour(0), true},
                    TAdobeCase{"AdobeWithMore", Segment(0xEE, Text("Adobe") + Filled(8, 0)), false},
                    TAdobeCase{"AdobeShort", Segment(0xEE, Text("Adobe") + Filled(6, 0)), false},
                    TAdobeCase{"OtherAPP14", Segment(0xEE, Text("Adobx") + Filled(7, 0)), false},
                    TAdobeCase{"AdobeInAPP13", Segment(0xED, Text("Adobe") + Filled(7, 0)), false}),
    [](const testing::TestParamInfo<TAdobeCase>& Info) { return Info.param.Name; });

} // namespace
