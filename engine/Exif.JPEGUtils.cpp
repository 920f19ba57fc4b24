#include "Exif.JPEGUtils.h"
#include "Exif.StreamHelper.h"
#include "Exceptions.h"

#include <cstring>

namespace {

// The start of image, FF D8, read as one little-endian word.
constexpr std::uint16_t SOIWord = JPEGMarker::SOI << 8 | JPEGMarker::Fill;

// Bytes a segment takes in front of its payload: FF, the marker number and,
// for a marker that has one, the two-byte length field.
constexpr std::int32_t MarkerBytes = 2;
constexpr std::int32_t LengthFieldBytes = 2;

std::int32_t HeadBytes(std::uint8_t MarkerNum)
{
    return MarkerHasLength(MarkerNum) ? MarkerBytes + LengthFieldBytes : MarkerBytes;
}

} // namespace

// TFoundJPEGSegment

TFoundJPEGSegment::TFoundJPEGSegment(std::uint8_t AMakerNum, TStream& ASource, std::int32_t ADataSize)
    : TUserJPEGSegment(AMakerNum), FOffset(ASource.GetPosition() - HeadBytes(AMakerNum))
{
    if (MarkerHasLength(AMakerNum) && ADataSize > 0) {
        // Straight into the payload's own block; no intermediate buffer.
        FData.SetSize(ADataSize);
        ASource.ReadBuffer(FData.Memory(), ADataSize);
    }
}

std::int32_t TFoundJPEGSegment::TotalSize() const
{
    return static_cast<std::int32_t>(FData.Size()) + HeadBytes(FMarkerNum);
}

// TJPEGHeaderParser

TJPEGHeaderParser::TJPEGHeaderParser(TStream& JPEGStream, const TJPEGMarkers& MarkersToLookFor,
                                     TStreamOwnership StreamOwnership)
    : FMarkersToLookFor(MarkersToLookFor), FStartPos(JPEGStream.GetPosition()), FStream(JPEGStream),
      FStreamOwnership(StreamOwnership)
{
    if (ReadWord(FStream, TEndianness::SmallEndian) != SOIWord)
        throw EInvalidJPEGHeader();
    FSavedPos = FStartPos + MarkerBytes;
}

TJPEGHeaderParser::TJPEGHeaderParser(std::unique_ptr<TStream> JPEGStream, const TJPEGMarkers& MarkersToLookFor)
    : TJPEGHeaderParser(*JPEGStream, MarkersToLookFor, TStreamOwnership::soOwned)
{
    FOwnedStream = std::move(JPEGStream);
}

bool TJPEGHeaderParser::MoveNext()
{
    FCurrent.reset();
    if (FLastMarker == JPEGMarker::EOI)
        return false;

    FStream.SetPosition(FSavedPos);
    for (;;) {
        // Anything but FF where a marker is expected ends the header: after
        // the start of scan that is the first byte of the entropy-coded data.
        if (ReadByte(FStream) != JPEGMarker::Fill)
            break;
        std::uint8_t MarkerNum;
        do
            MarkerNum = ReadByte(FStream);
        while (MarkerNum == JPEGMarker::Fill);
        FLastMarker = MarkerNum;

        // The length field counts itself; 0 and 1 wrap round to 65534 and 65535.
        std::uint16_t DataSize = 0;
        if (MarkerHasLength(MarkerNum))
            DataSize = static_cast<std::uint16_t>(ReadWord(FStream, TEndianness::BigEndian) - LengthFieldBytes);

        if (FMarkersToLookFor.Contains(MarkerNum)) {
            auto Segment = std::make_shared<TFoundJPEGSegment>(MarkerNum, FStream, DataSize);
            FSavedPos = FStream.GetPosition();
            FCurrent = std::move(Segment);
            return true;
        }
        if (MarkerNum == JPEGMarker::EOI)
            break;
        FStream.Seek(DataSize, TSeekOrigin::soCurrent);
    }
    return false;
}

std::shared_ptr<IJPEGHeaderParser> JPEGHeader(TStream& JPEGStream, const TJPEGMarkers& MarkersToLookFor,
                                              TStreamOwnership StreamOwnership)
{
    return std::make_shared<TJPEGHeaderParser>(JPEGStream, MarkersToLookFor, StreamOwnership);
}

// TJPEGSegmentIterator

TJPEGSegmentIterator::TJPEGSegmentIterator(IJPEGHeaderParser* Parser) : FParser(Parser)
{
    ++*this;
}

TJPEGSegmentIterator& TJPEGSegmentIterator::operator++()
{
    if (FParser && FParser->MoveNext())
        FSegment = FParser->Current();
    else {
        FParser = nullptr;
        FSegment.reset();
    }
    return *this;
}

// The Adobe segment

bool IsAdobeColourSegment(IFoundJPEGSegment& Segment)
{
    static constexpr char Signature[] = {'A', 'd', 'o', 'b', 'e'};
    // "Adobe", version (2), flags0 (2), flags1 (2), colour transform (1).
    constexpr std::int64_t AdobeDCTPayloadSize = 12;

    TMemoryStream& Payload = Segment.Data();
    return Segment.MarkerNum() == JPEGMarker::APP14 && Payload.GetSize() == AdobeDCTPayloadSize &&
           std::memcmp(Payload.Memory(), Signature, sizeof Signature) == 0;
}

// Removal

TJPEGMarkers RemoveJPEGSegments(TStream& InStream, TStream& OutStream, TJPEGMarkers Markers,
                                const TKeepSegment& Keep)
{
    TJPEGMarkers Result;
    std::int64_t LastEnd = InStream.GetPosition();

    auto Parser = JPEGHeader(InStream, Markers, TStreamOwnership::soReference);
    for (const auto& Segment : *Parser->GetEnumerator()) {
        if (Keep && Keep(*Segment))
            continue;
        Result.Include(Segment->MarkerNum());
        if (Segment->Offset() != LastEnd) {
            InStream.SetPosition(LastEnd);
            OutStream.CopyFrom(InStream, Segment->Offset() - LastEnd);
        }
        LastEnd = Segment->Offset() + static_cast<std::int64_t>(Segment->TotalSize());
    }

    InStream.SetPosition(LastEnd);
    std::int64_t Remaining = InStream.GetSize() - LastEnd;
    if (Remaining > 0)
        OutStream.CopyFrom(InStream, Remaining);
    return Result;
}

void OverwriteInPlace(TStream& File, const TGatherStream& Content, const TMemoryStream& Original)
{
    try {
        File.SetPosition(0);
        Content.WriteTo(File);
        File.SetSize(Content.Size());
    } catch (const EWriteError&) {
        // Nothing was cut yet, so past the point the writes reached the file
        // still holds its old bytes. Only the part before it is put back:
        // that part already has its place on the disk, so putting it back
        // needs no new space even when the disk is full.
        try {
            std::int64_t Reached = File.GetPosition();
            if (Reached < 0 || Reached > Original.Size())
                Reached = Original.Size();
            File.SetPosition(0);
            File.WriteBuffer(Original.Memory(), Reached);
            if (File.GetSize() != Original.Size())
                File.SetSize(Original.Size());
        } catch (const EWriteError&) {
        }
        throw;
    }
}

TJPEGMarkers RemoveJPEGSegments(const std::filesystem::path& FileName, TJPEGMarkers Markers,
                                const TKeepSegment& Keep)
{
    if (Markers.Empty())
        return {};

    TMemoryStream Original;
    Original.LoadFromFile(FileName);

    // The new content is complete before the file is opened for writing: a
    // file that is not a JPEG or ends early is never touched.
    TGatherStream Cleaned;
    TJPEGMarkers Result = RemoveJPEGSegments(Original, Cleaned, Markers, Keep);

    TFileStream File(FileName, TFileMode::fmRewrite);
    OverwriteInPlace(File, Cleaned, Original);
    return Result;
}
