// JPEG marker segments: the header parser that finds the wanted segments at
// the head of a JPEG, and the remover that rewrites a stream or a file
// without them.
#pragma once

#include "Streams.h"

#include <bitset>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <memory>

// Marker numbers: the byte that follows 0xFF in a JPEG marker.
namespace JPEGMarker {
inline constexpr std::uint8_t TEM = 0x01;
inline constexpr std::uint8_t RST0 = 0xD0;
inline constexpr std::uint8_t RST7 = 0xD7;
inline constexpr std::uint8_t SOI = 0xD8;   // start of image
inline constexpr std::uint8_t EOI = 0xD9;   // end of image
inline constexpr std::uint8_t SOS = 0xDA;   // start of scan
inline constexpr std::uint8_t DQT = 0xDB;   // quantisation tables
inline constexpr std::uint8_t APP0 = 0xE0;  // JFIF
inline constexpr std::uint8_t APP1 = 0xE1;  // Exif, XMP
inline constexpr std::uint8_t APP2 = 0xE2;  // ICC profile
inline constexpr std::uint8_t APP13 = 0xED; // IPTC (Photoshop)
inline constexpr std::uint8_t APP14 = 0xEE; // Adobe
inline constexpr std::uint8_t APP15 = 0xEF;
inline constexpr std::uint8_t Fill = 0xFF;  // every marker starts with it; more of it may pad
} // namespace JPEGMarker

// Whether a marker is followed by a length field (and a payload). Markers
// 0x00, 0x01 and 0xD0..0xD9 (restarts, SOI, EOI) stand alone.
constexpr bool MarkerHasLength(std::uint8_t MarkerNum)
{
    return MarkerNum >= 0x02 && !(MarkerNum >= JPEGMarker::RST0 && MarkerNum <= JPEGMarker::EOI);
}

// A set of marker numbers.
class TJPEGMarkers {
public:
    TJPEGMarkers() = default;
    TJPEGMarkers(std::initializer_list<std::uint8_t> Markers)
    {
        for (std::uint8_t Marker : Markers)
            Include(Marker);
    }
    static TJPEGMarkers Range(std::uint8_t First, std::uint8_t Last)
    {
        TJPEGMarkers Result;
        for (unsigned Marker = First; Marker <= Last; ++Marker)
            Result.Include(static_cast<std::uint8_t>(Marker));
        return Result;
    }

    void Include(std::uint8_t MarkerNum) { FBits.set(MarkerNum); }
    void Exclude(std::uint8_t MarkerNum) { FBits.reset(MarkerNum); }
    bool Contains(std::uint8_t MarkerNum) const { return FBits.test(MarkerNum); }
    bool Empty() const { return FBits.none(); }
    std::size_t Count() const { return FBits.count(); }
    bool operator==(const TJPEGMarkers&) const = default;

private:
    std::bitset<256> FBits;
};

enum class TStreamOwnership { soReference, soOwned };

// A marker segment: its marker number and its payload.
class IJPEGSegment {
public:
    virtual ~IJPEGSegment() = default;
    virtual TMemoryStream& Data() = 0;
    virtual std::uint8_t MarkerNum() const = 0;
};

// A segment found in a stream, with its place there.
class IFoundJPEGSegment : public virtual IJPEGSegment {
public:
    // Absolute stream position of the 0xFF directly before the marker number.
    virtual std::int64_t Offset() const = 0;
    // Bytes the segment takes in the stream, marker and length field included:
    // [Offset, Offset + TotalSize) is exactly its range.
    virtual std::int32_t TotalSize() const = 0;
};

class TUserJPEGSegment : public virtual IJPEGSegment {
public:
    explicit TUserJPEGSegment(std::uint8_t AMarkerNum) : FMarkerNum(AMarkerNum) {}
    TMemoryStream& Data() override { return FData; }
    std::uint8_t MarkerNum() const override { return FMarkerNum; }

protected:
    TMemoryStream FData;
    std::uint8_t FMarkerNum;
};

class TFoundJPEGSegment : public TUserJPEGSegment, public IFoundJPEGSegment {
public:
    // ASource stands just after the length field (or just after the marker
    // number for a marker without one); the payload of ADataSize bytes is read
    // from there. Raises EReadError when the stream ends first.
    TFoundJPEGSegment(std::uint8_t AMakerNum, TStream& ASource, std::int32_t ADataSize);
    std::int64_t Offset() const override { return FOffset; }
    std::int32_t TotalSize() const override;

private:
    std::int64_t FOffset;
};

class IJPEGHeaderParser;

// Input iterator over a parser, for range-for.
class TJPEGSegmentIterator {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = std::shared_ptr<IFoundJPEGSegment>;
    using difference_type = std::ptrdiff_t;
    using pointer = const value_type*;
    using reference = const value_type&;

    TJPEGSegmentIterator() = default;
    explicit TJPEGSegmentIterator(IJPEGHeaderParser* Parser);
    reference operator*() const { return FSegment; }
    TJPEGSegmentIterator& operator++();
    void operator++(int) { ++*this; }
    bool operator==(const TJPEGSegmentIterator& Other) const { return FParser == Other.FParser; }

private:
    IJPEGHeaderParser* FParser = nullptr;
    value_type FSegment;
};

class IJPEGHeaderParser {
public:
    virtual ~IJPEGHeaderParser() = default;
    // The segment of the last successful MoveNext; empty otherwise.
    virtual std::shared_ptr<IFoundJPEGSegment> Current() const = 0;
    virtual std::shared_ptr<IJPEGHeaderParser> GetEnumerator() = 0;
    // Steps to the next wanted segment. False at the end of the image or at
    // the first byte in marker position that is not 0xFF (the scan data).
    virtual bool MoveNext() = 0;

    TJPEGSegmentIterator begin() { return TJPEGSegmentIterator(this); }
    TJPEGSegmentIterator end() { return {}; }
};

class TJPEGHeaderParser : public IJPEGHeaderParser,
                          public std::enable_shared_from_this<TJPEGHeaderParser> {
public:
    // JPEGStream stands at the start of image. Raises EInvalidJPEGHeader when
    // it does not start with FF D8, EReadError when it holds fewer than two
    // bytes. With soOwned the parser frees the stream when it goes.
    TJPEGHeaderParser(TStream& JPEGStream, const TJPEGMarkers& MarkersToLookFor,
                      TStreamOwnership StreamOwnership);
    TJPEGHeaderParser(std::unique_ptr<TStream> JPEGStream, const TJPEGMarkers& MarkersToLookFor);

    std::shared_ptr<IFoundJPEGSegment> Current() const override { return FCurrent; }
    std::shared_ptr<IJPEGHeaderParser> GetEnumerator() override { return shared_from_this(); }
    bool MoveNext() override;

    TStreamOwnership StreamOwnership() const { return FStreamOwnership; }

private:
    std::shared_ptr<IFoundJPEGSegment> FCurrent;
    std::uint8_t FLastMarker = 0;
    TJPEGMarkers FMarkersToLookFor;
    std::int64_t FSavedPos = 0;
    std::int64_t FStartPos = 0;
    TStream& FStream;
    TStreamOwnership FStreamOwnership;
    std::unique_ptr<TStream> FOwnedStream;
};

std::shared_ptr<IJPEGHeaderParser> JPEGHeader(TStream& JPEGStream, const TJPEGMarkers& MarkersToLookFor,
                                              TStreamOwnership StreamOwnership = TStreamOwnership::soReference);

// Decides, for a found segment whose marker is in the removal set, that it
// stays after all.
using TKeepSegment = std::function<bool(IFoundJPEGSegment&)>;

// The Adobe segment of the DCT coders: an APP14 whose payload is exactly
// "Adobe", a version, two flag words and the colour-transform byte (12
// bytes). It carries no personal data, and decoders need its transform flag
// to show CMYK and YCCK pictures in the right colours.
bool IsAdobeColourSegment(IFoundJPEGSegment& Segment);

// Copies InStream, from its position to its end, to OutStream without the
// segments the parser finds for Markers (those Keep accepts excepted), and
// returns the marker numbers that were removed. Catches nothing.
TJPEGMarkers RemoveJPEGSegments(TStream& InStream, TStream& OutStream, TJPEGMarkers Markers,
                                const TKeepSegment& Keep = nullptr);

// Rewrites the file in place without the segments the parser finds for
// Markers (those Keep accepts excepted) and returns the marker numbers that
// were removed. With an empty set the file is not opened. The file keeps its
// content on every failure: it is opened for writing only once the new
// content is complete, and a write that fails part-way puts the old bytes
// back before EWriteError is raised.
TJPEGMarkers RemoveJPEGSegments(const std::filesystem::path& FileName, TJPEGMarkers Markers,
                                const TKeepSegment& Keep = nullptr);

// Writes Content over File (which holds Original) from position 0 and cuts
// File to Content's size. When a write fails, the bytes of Original that had
// been overwritten are written back before EWriteError is raised.
void OverwriteInPlace(TStream& File, const TGatherStream& Content, const TMemoryStream& Original);
