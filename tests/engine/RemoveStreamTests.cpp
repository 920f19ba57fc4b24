#include "Exceptions.h"
#include "Exif.JPEGUtils.h"
#include "JpegBytes.h"

#include <gtest/gtest.h>

namespace {

const TJPEGMarkers APPn = TJPEGMarkers::Range(0xE1, 0xEF);

enum class TOutcome { Done, ReadError, InvalidHeader };

struct TRemoveCase {
    const char* Name;
    TBytes Input;
    TJPEGMarkers Markers;
    TBytes Output;
    TJPEGMarkers Removed;
    TOutcome Outcome = TOutcome::Done;
};

std::ostream& operator<<(std::ostream& Out, const TRemoveCase& Case)
{
    return Out << Case.Name;
}

const TBytes Head = SOI + JFIF();
const TBytes Body = Quantisation() + Scan() + EOI;
const TBytes Icc = Segment(0xE2, Text("ICC_PROFILE") + Filled(40, 3));
const TBytes Iptc = Segment(0xED, Text("Photoshop 3.0") + Filled(20, 4));
const TBytes Xmp = Segment(0xE1, Text("http://ns.adobe.com/xap/1.0/") + Filled(30, 5));

const TRemoveCase RemoveCases[] = {
    {"OneExifSegment", Head + Exif() + Body, APPn, Head + Body, {0xE1}},
    {"SeveralSegments", Head + Exif() + Xmp + Quantisation() + Iptc + Icc + Scan() + EOI, APPn,
     Head + Quantisation() + Scan() + EOI, {0xE1, 0xE2, 0xED}},
    {"NoMetadata", Head + Body, APPn, Head + Body, {}},
    {"AfterTheFirstScanStays", Head + Exif() + Scan() + Icc + Scan() + EOI, APPn, Head + Scan() + Icc + Scan() + EOI,
     {0xE1}},
    {"BytesAfterTheEndOfImageStay", Head + Exif() + Body + Text("trailer"), APPn, Head + Body + Text("trailer"),
     {0xE1}},
    {"FillBytesBeforeARemovedSegmentStay",
     Bytes({0xFF, 0xD8, 0xFF, 0xFF, 0xFF, 0xE1, 0x00, 0x04, 0xAA, 0xBB, 0xFF, 0xD9}), {0xE1},
     Bytes({0xFF, 0xD8, 0xFF, 0xFF, 0xFF, 0xD9}), {0xE1}},
    {"AdjacentSegmentsGoTogether", SOI + Exif() + Icc + Iptc + EOI, APPn, SOI + EOI, {0xE1, 0xE2, 0xED}},
    {"APP0StaysWithAPPn", Head + Segment(0xEF, Text("x")) + Body, APPn, Head + Body, {0xEF}},
    {"EndOfImageWanted", Bytes({0xFF, 0xD8, 0xFF, 0xD9}), {0xD9}, Bytes({0xFF, 0xD8}), {0xD9}},
    {"EmptySetCopiesEverything", Head + Exif() + Body, {}, Head + Exif() + Body, {}},
    {"EndsWhereAWantedSegmentEnds", Bytes({0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x02}), APPn, {}, {},
     TOutcome::ReadError},
    {"TruncatedPayload", Head + Bytes({0xFF, 0xE1, 0x00, 0x20, 1, 2, 3}), APPn, {}, {}, TOutcome::ReadError},
    {"Empty", {}, APPn, {}, {}, TOutcome::ReadError},
    {"NotAJPEG", Text("GIF89a"), APPn, {}, {}, TOutcome::InvalidHeader},
};

class RemoveFromStream : public testing::TestWithParam<TRemoveCase> {};

TEST_P(RemoveFromStream, CopiesEverythingButTheFoundSegments)
{
    const TRemoveCase& Case = GetParam();
    TMemoryStream In;
    Fill(In, Case.Input);
    TMemoryStream Out;
    switch (Case.Outcome) {
    case TOutcome::Done:
        EXPECT_EQ(RemoveJPEGSegments(In, Out, Case.Markers), Case.Removed);
        EXPECT_EQ(Content(Out), Case.Output);
        EXPECT_EQ(In.GetPosition(), In.GetSize());
        EXPECT_EQ(Out.GetPosition(), Out.GetSize());
        break;
    case TOutcome::ReadError:
        EXPECT_THROW(RemoveJPEGSegments(In, Out, Case.Markers), EReadError);
        break;
    case TOutcome::InvalidHeader:
        EXPECT_THROW(RemoveJPEGSegments(In, Out, Case.Markers), EInvalidJPEGHeader);
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, RemoveFromStream, testing::ValuesIn(RemoveCases),
                         [](const testing::TestParamInfo<TRemoveCase>& Info) { return Info.param.Name; });

TEST(RemoveFromStream, StartsAtTheInputPositionAndWritesAtTheOutputPosition)
{
    TMemoryStream In;
    Fill(In, Filled(100, 0x77) + Head + Exif() + Body);
    In.SetPosition(100);
    TMemoryStream Out;
    Fill(Out, Text("kept"));
    Out.SetPosition(4);
    EXPECT_EQ(RemoveJPEGSegments(In, Out, APPn), TJPEGMarkers({0xE1}));
    EXPECT_EQ(Content(Out), Text("kept") + Head + Body);
}

TEST(RemoveFromStream, TheAdobeColourSegmentCanBeKept)
{
    TMemoryStream In;
    Fill(In, Head + AdobeColour() + Exif() + Segment(0xEE, Text("Adobe") + Filled(20, 1)) + Body);
    TMemoryStream Out;
    EXPECT_EQ(RemoveJPEGSegments(In, Out, APPn, IsAdobeColourSegment), TJPEGMarkers({0xEE, 0xE1}));
    EXPECT_EQ(Content(Out), Head + AdobeColour() + Body);

    Fill(In, Head + AdobeColour() + Body);
    Out.Clear();
    EXPECT_TRUE(RemoveJPEGSegments(In, Out, APPn, IsAdobeColourSegment).Empty());
    EXPECT_EQ(Content(Out), Head + AdobeColour() + Body);
}

// Into a file stream: the kept bytes go straight from the memory block to the
// file, in one forward pass.
TEST(RemoveFromStream, IntoAFile)
{
    TTempDir Dir;
    TMemoryStream In;
    Fill(In, Head + Exif() + Icc + Body);
    {
        TFileStream Out(Dir / "out.jpg", TFileMode::fmRewrite);
        EXPECT_EQ(RemoveJPEGSegments(In, Out, APPn), TJPEGMarkers({0xE1, 0xE2}));
    }
    EXPECT_EQ(ReadFileBytes(Dir / "out.jpg"), Head + Body);
}

} // namespace
