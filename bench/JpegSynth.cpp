#include "JpegSynth.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>

namespace NimbrelBench {

// TRandom

namespace {

std::uint64_t SplitMix64(std::uint64_t& State)
{
    std::uint64_t Z = (State += 0x9E3779B97F4A7C15ull);
    Z = (Z ^ (Z >> 30)) * 0xBF58476D1CE4E5B9ull;
    Z = (Z ^ (Z >> 27)) * 0x94D049BB133111EBull;
    return Z ^ (Z >> 31);
}

constexpr std::uint64_t RotateLeft(std::uint64_t X, int K)
{
    return (X << K) | (X >> (64 - K));
}

} // namespace

TRandom::TRandom(std::uint64_t Seed)
{
    for (auto& Word : FState)
        Word = SplitMix64(Seed);
}

std::uint64_t TRandom::Next()
{
    const std::uint64_t Result = RotateLeft(FState[1] * 5, 7) * 9;
    const std::uint64_t T = FState[1] << 17;
    FState[2] ^= FState[0];
    FState[3] ^= FState[1];
    FState[1] ^= FState[2];
    FState[0] ^= FState[3];
    FState[2] ^= T;
    FState[3] = RotateLeft(FState[3], 45);
    return Result;
}

std::int64_t TRandom::Between(std::int64_t Low, std::int64_t High)
{
    const auto Span = static_cast<std::uint64_t>(High - Low) + 1;
    return Low + static_cast<std::int64_t>(Next() % Span);
}

namespace {

// Marker numbers used here (the byte after 0xFF).
constexpr std::uint8_t SOF0 = 0xC0, DHT = 0xC4, RST0 = 0xD0, SOI = 0xD8, EOI = 0xD9, SOS = 0xDA, DQT = 0xDB,
                       DRI = 0xDD, APP0 = 0xE0, APP1 = 0xE1, APP2 = 0xE2, APP13 = 0xED, APP15 = 0xEF, COM = 0xFE;

// The largest payload a segment's 16-bit length field can describe.
constexpr std::size_t MaxPayload = 65533;

// Byte writing

void PutU8(TBytes& Out, std::uint8_t Value)
{
    Out.push_back(Value);
}

void PutU16BE(TBytes& Out, std::uint32_t Value)
{
    Out.push_back(static_cast<std::uint8_t>(Value >> 8));
    Out.push_back(static_cast<std::uint8_t>(Value));
}

void PutU32BE(TBytes& Out, std::uint32_t Value)
{
    PutU16BE(Out, Value >> 16);
    PutU16BE(Out, Value & 0xFFFF);
}

void PutU16LE(TBytes& Out, std::uint32_t Value)
{
    Out.push_back(static_cast<std::uint8_t>(Value));
    Out.push_back(static_cast<std::uint8_t>(Value >> 8));
}

void PutU32LE(TBytes& Out, std::uint32_t Value)
{
    PutU16LE(Out, Value & 0xFFFF);
    PutU16LE(Out, Value >> 16);
}

void PutBytes(TBytes& Out, std::span<const std::uint8_t> Bytes)
{
    Out.insert(Out.end(), Bytes.begin(), Bytes.end());
}

void PutText(TBytes& Out, std::string_view Text)
{
    Out.insert(Out.end(), Text.begin(), Text.end());
}

void PutRandom(TRandom& Random, TBytes& Out, std::size_t Count)
{
    for (std::size_t I = 0; I < Count; ++I)
        Out.push_back(static_cast<std::uint8_t>(Random.Next()));
}

void PutMarker(TBytes& Out, std::uint8_t Marker)
{
    Out.push_back(0xFF);
    Out.push_back(Marker);
}

void PutSegment(TBytes& Out, std::uint8_t Marker, std::span<const std::uint8_t> Payload)
{
    if (Payload.size() > MaxPayload)
        throw std::length_error("segment payload too large");
    PutMarker(Out, Marker);
    PutU16BE(Out, static_cast<std::uint32_t>(Payload.size() + 2));
    PutBytes(Out, Payload);
}

std::string Format(const char* Pattern, auto... Args)
{
    std::array<char, 256> Buffer{};
    std::snprintf(Buffer.data(), Buffer.size(), Pattern, Args...);
    return Buffer.data();
}

template <typename T, std::size_t N>
const T& Pick(TRandom& Random, const std::array<T, N>& Choices)
{
    return Choices[static_cast<std::size_t>(Random.Between(0, N - 1))];
}

// Names and places for the metadata; all made up.
struct TCamera {
    const char* Make;
    const char* Model;
    const char* Lens;
    std::uint32_t Width, Height;
};

constexpr std::array<TCamera, 5> Cameras{{
    {"Korvell", "KX-24 Mark II", "Korvell 24-70mm f/2.8", 6000, 4000},
    {"Astrabyte", "Nova 9", "Nova built-in 6.1mm", 4032, 3024},
    {"Lumenko", "L5 Pro", "Lumenko 35mm f/1.4", 5472, 3648},
    {"Pellucid", "Field 300", "Pellucid 18-135mm", 6240, 4160},
    {"Korvell", "KX-10", "Korvell 50mm f/1.8", 4608, 3456},
}};

constexpr std::array<const char*, 6> People{
    {"A. Mireault", "J. Okonkwo-Lind", "S. Taniguchi", "R. Velasquez", "M. Haugen", "P. Dubravka"}};
constexpr std::array<const char*, 6> Cities{{"Lisbon", "Tromso", "Kyoto", "Valparaiso", "Tbilisi", "Hobart"}};
constexpr std::array<const char*, 8> Keywords{
    {"family", "holiday", "harbour", "street", "mountains", "birthday", "night", "market"}};

struct TDate {
    int Year, Month, Day, Hour, Minute, Second;
};

TDate DateOf(TRandom& Random, std::uint32_t Serial)
{
    return TDate{2015 + static_cast<int>(Serial % 9),
                 1 + static_cast<int>(Random.Between(0, 11)),
                 1 + static_cast<int>(Random.Between(0, 27)),
                 static_cast<int>(Random.Between(6, 21)),
                 static_cast<int>(Random.Between(0, 59)),
                 static_cast<int>(Random.Between(0, 59))};
}

std::string ExifDate(const TDate& D)
{
    return Format("%04d:%02d:%02d %02d:%02d:%02d", D.Year, D.Month, D.Day, D.Hour, D.Minute, D.Second);
}

std::string IsoDate(const TDate& D)
{
    return Format("%04d-%02d-%02dT%02d:%02d:%02d", D.Year, D.Month, D.Day, D.Hour, D.Minute, D.Second);
}

// Tables and frame

void PutQuantisationTables(TRandom& Random, TBytes& Out)
{
    TBytes Payload;
    for (std::uint8_t Table = 0; Table < 2; ++Table) {
        PutU8(Payload, Table); // 8-bit precision, table id
        int Value = static_cast<int>(Random.Between(1, 4)) + Table * 2;
        for (int I = 0; I < 64; ++I) {
            Value = std::min(255, Value + static_cast<int>(Random.Between(0, 3)));
            PutU8(Payload, static_cast<std::uint8_t>(Value));
        }
    }
    PutSegment(Out, DQT, Payload);
}

void PutHuffmanTables(TBytes& Out)
{
    // Code-length counts that form complete prefix codes of the usual shape:
    // 12 DC categories, 162 AC run/size symbols.
    static constexpr std::array<std::uint8_t, 16> DCCounts{0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
    static constexpr std::array<std::uint8_t, 16> ACCounts{0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7D};
    TBytes Payload;
    for (std::uint8_t Id = 0; Id < 2; ++Id) {
        PutU8(Payload, Id); // class 0 (DC), table id
        PutBytes(Payload, DCCounts);
        for (std::uint8_t Category = 0; Category < 12; ++Category)
            PutU8(Payload, Category);

        PutU8(Payload, static_cast<std::uint8_t>(0x10 | Id)); // class 1 (AC)
        PutBytes(Payload, ACCounts);
        PutU8(Payload, 0x00); // end of block
        PutU8(Payload, 0xF0); // sixteen zeros
        for (std::uint8_t Size = 1; Size <= 10; ++Size)
            for (std::uint8_t Run = 0; Run < 16; ++Run)
                PutU8(Payload, static_cast<std::uint8_t>(Run << 4 | Size));
    }
    PutSegment(Out, DHT, Payload);
}

void PutFrameHeader(TBytes& Out, std::uint32_t Width, std::uint32_t Height)
{
    TBytes Payload;
    PutU8(Payload, 8); // sample precision
    PutU16BE(Payload, Height);
    PutU16BE(Payload, Width);
    PutU8(Payload, 3);
    // Y with 2x1 sampling, Cb and Cr at 1x1.
    for (const std::array<std::uint8_t, 3> Component : {std::array<std::uint8_t, 3>{1, 0x21, 0},
                                                        std::array<std::uint8_t, 3>{2, 0x11, 1},
                                                        std::array<std::uint8_t, 3>{3, 0x11, 1}})
        PutBytes(Payload, Component);
    PutSegment(Out, SOF0, Payload);
}

void PutScanHeader(TBytes& Out)
{
    static constexpr std::array<std::uint8_t, 10> Payload{3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0};
    PutSegment(Out, SOS, Payload);
}

void PutRestartInterval(TBytes& Out, std::uint32_t Interval)
{
    TBytes Payload;
    PutU16BE(Payload, Interval);
    PutSegment(Out, DRI, Payload);
}

// The thumbnail that the Exif block embeds: a small baseline JPEG.
TBytes MakeThumbnail(TRandom& Random, std::int64_t Size)
{
    TBytes Out;
    PutMarker(Out, SOI);
    PutQuantisationTables(Random, Out);
    PutFrameHeader(Out, 160, 120);
    PutHuffmanTables(Out);
    PutScanHeader(Out);
    const auto Head = static_cast<std::int64_t>(Out.size());
    AppendEntropyData(Random, Out, std::max<std::int64_t>(256, (Size - Head - 2) * 256 / 257), 0);
    PutMarker(Out, EOI);
    return Out;
}

// Exif: a little-endian TIFF structure

enum TTiffType : std::uint16_t { ttByte = 1, ttAscii = 2, ttShort = 3, ttLong = 4, ttRational = 5, ttUndefined = 7 };

class TIfd {
public:
    void Ascii(std::uint16_t Tag, std::string_view Text)
    {
        TBytes Value(Text.begin(), Text.end());
        Value.push_back(0);
        const auto Count = static_cast<std::uint32_t>(Value.size());
        Add(Tag, ttAscii, Count, std::move(Value));
    }
    void Short(std::uint16_t Tag, std::uint16_t Number)
    {
        TBytes Value;
        PutU16LE(Value, Number);
        Add(Tag, ttShort, 1, std::move(Value));
    }
    void Long(std::uint16_t Tag, std::uint32_t Number)
    {
        TBytes Value;
        PutU32LE(Value, Number);
        Add(Tag, ttLong, 1, std::move(Value));
    }
    void Rationals(std::uint16_t Tag, std::initializer_list<std::array<std::uint32_t, 2>> Fractions)
    {
        TBytes Value;
        for (const auto& [Numerator, Denominator] : Fractions) {
            PutU32LE(Value, Numerator);
            PutU32LE(Value, Denominator);
        }
        Add(Tag, ttRational, static_cast<std::uint32_t>(Fractions.size()), std::move(Value));
    }
    void Raw(std::uint16_t Tag, TTiffType Type, TBytes Value)
    {
        const auto Count = static_cast<std::uint32_t>(Value.size());
        Add(Tag, Type, Count, std::move(Value));
    }
    // Changes the value of a LONG entry added before (a pointer whose target
    // is known only once the layout is).
    void SetLong(std::uint16_t Tag, std::uint32_t Number)
    {
        for (auto& Entry : FEntries)
            if (Entry.Tag == Tag) {
                Entry.Value.clear();
                PutU32LE(Entry.Value, Number);
            }
    }

    std::uint32_t Size() const
    {
        std::size_t Result = 2 + 12 * FEntries.size() + 4;
        for (const auto& Entry : FEntries)
            if (Entry.Value.size() > 4)
                Result += Entry.Value.size() + (Entry.Value.size() & 1);
        return static_cast<std::uint32_t>(Result);
    }

    // Appends the directory to Tiff, which must hold exactly Offset bytes.
    void WriteTo(TBytes& Tiff, std::uint32_t NextIfd)
    {
        std::sort(FEntries.begin(), FEntries.end(), [](const auto& A, const auto& B) { return A.Tag < B.Tag; });
        auto DataOffset = static_cast<std::uint32_t>(Tiff.size() + 2 + 12 * FEntries.size() + 4);
        TBytes Data;
        PutU16LE(Tiff, static_cast<std::uint32_t>(FEntries.size()));
        for (const auto& Entry : FEntries) {
            PutU16LE(Tiff, Entry.Tag);
            PutU16LE(Tiff, Entry.Type);
            PutU32LE(Tiff, Entry.Count);
            if (Entry.Value.size() <= 4) {
                TBytes Inline = Entry.Value;
                Inline.resize(4, 0);
                PutBytes(Tiff, Inline);
            } else {
                PutU32LE(Tiff, DataOffset + static_cast<std::uint32_t>(Data.size()));
                PutBytes(Data, Entry.Value);
                if (Data.size() & 1)
                    PutU8(Data, 0);
            }
        }
        PutU32LE(Tiff, NextIfd);
        PutBytes(Tiff, Data);
    }

private:
    struct TEntry {
        std::uint16_t Tag;
        std::uint16_t Type;
        std::uint32_t Count;
        TBytes Value;
    };
    void Add(std::uint16_t Tag, std::uint16_t Type, std::uint32_t Count, TBytes Value)
    {
        FEntries.push_back(TEntry{Tag, Type, Count, std::move(Value)});
    }

    std::vector<TEntry> FEntries;
};

TBytes MakeExifPayload(TRandom& Random, const TCamera& Camera, const TDate& Date, std::uint32_t Serial)
{
    constexpr std::uint16_t ExifPointer = 0x8769, GPSPointer = 0x8825, ThumbnailOffset = 0x0201,
                            ThumbnailLength = 0x0202;

    TIfd Ifd0, ExifIfd, GPSIfd, Ifd1;
    Ifd0.Ascii(0x010F, Camera.Make);
    Ifd0.Ascii(0x0110, Camera.Model);
    Ifd0.Short(0x0112, static_cast<std::uint16_t>(Random.Chance(80) ? 1 : 6)); // orientation
    Ifd0.Rationals(0x011A, {{300, 1}});
    Ifd0.Rationals(0x011B, {{300, 1}});
    Ifd0.Short(0x0128, 2); // inches
    Ifd0.Ascii(0x0131, Format("Firmware %d.%d.%d", static_cast<int>(Random.Between(1, 4)),
                              static_cast<int>(Random.Between(0, 9)), static_cast<int>(Random.Between(0, 9))));
    Ifd0.Ascii(0x0132, ExifDate(Date));
    Ifd0.Ascii(0x013B, Pick(Random, People));
    Ifd0.Ascii(0x8298, Format("(c) %d %s", Date.Year, Pick(Random, People)));
    Ifd0.Long(ExifPointer, 0);
    Ifd0.Long(GPSPointer, 0);

    ExifIfd.Rationals(0x829A, {{1, static_cast<std::uint32_t>(Random.Between(30, 4000))}});
    ExifIfd.Rationals(0x829D, {{static_cast<std::uint32_t>(Random.Between(14, 220)), 10}});
    ExifIfd.Short(0x8827, static_cast<std::uint16_t>(100 << Random.Between(0, 5)));
    ExifIfd.Raw(0x9000, ttUndefined, TBytes{'0', '2', '3', '2'});
    ExifIfd.Ascii(0x9003, ExifDate(Date));
    ExifIfd.Ascii(0x9004, ExifDate(Date));
    ExifIfd.Rationals(0x920A, {{static_cast<std::uint32_t>(Random.Between(45, 2000)), 10}});
    TBytes MakerNote;
    PutText(MakerNote, Camera.Make);
    PutRandom(Random, MakerNote, static_cast<std::size_t>(Random.Between(1024, 6144)));
    ExifIfd.Raw(0x927C, ttUndefined, std::move(MakerNote));
    ExifIfd.Long(0xA002, Camera.Width);
    ExifIfd.Long(0xA003, Camera.Height);
    ExifIfd.Ascii(0xA431, Format("%08u", 10000000u + Serial * 7919u % 89999999u));
    ExifIfd.Ascii(0xA434, Camera.Lens);

    GPSIfd.Raw(0x0000, ttByte, TBytes{2, 3, 0, 0});
    GPSIfd.Ascii(0x0001, Random.Chance(50) ? "N" : "S");
    GPSIfd.Rationals(0x0002, {{static_cast<std::uint32_t>(Random.Between(0, 89)), 1},
                              {static_cast<std::uint32_t>(Random.Between(0, 59)), 1},
                              {static_cast<std::uint32_t>(Random.Between(0, 599999)), 10000}});
    GPSIfd.Ascii(0x0003, Random.Chance(50) ? "E" : "W");
    GPSIfd.Rationals(0x0004, {{static_cast<std::uint32_t>(Random.Between(0, 179)), 1},
                              {static_cast<std::uint32_t>(Random.Between(0, 59)), 1},
                              {static_cast<std::uint32_t>(Random.Between(0, 599999)), 10000}});
    GPSIfd.Rationals(0x0006, {{static_cast<std::uint32_t>(Random.Between(0, 300000)), 100}});

    Ifd1.Short(0x0103, 6); // JPEG-compressed thumbnail
    Ifd1.Rationals(0x011A, {{72, 1}});
    Ifd1.Rationals(0x011B, {{72, 1}});
    Ifd1.Short(0x0128, 2);
    Ifd1.Long(ThumbnailOffset, 0);
    Ifd1.Long(ThumbnailLength, 0);

    // Layout: header, IFD0, Exif IFD, GPS IFD, IFD1, thumbnail.
    constexpr std::uint32_t HeaderSize = 8;
    const std::uint32_t Ifd0At = HeaderSize;
    const std::uint32_t ExifAt = Ifd0At + Ifd0.Size();
    const std::uint32_t GPSAt = ExifAt + ExifIfd.Size();
    const std::uint32_t Ifd1At = GPSAt + GPSIfd.Size();
    const std::uint32_t ThumbnailAt = Ifd1At + Ifd1.Size();

    constexpr std::size_t ExifSignatureSize = 6;
    const std::int64_t Room = static_cast<std::int64_t>(MaxPayload - ExifSignatureSize) - ThumbnailAt;
    const TBytes Thumbnail = MakeThumbnail(Random, std::min<std::int64_t>(Random.Between(10 << 10, 60 << 10), Room - 512));

    Ifd0.SetLong(ExifPointer, ExifAt);
    Ifd0.SetLong(GPSPointer, GPSAt);
    Ifd1.SetLong(ThumbnailOffset, ThumbnailAt);
    Ifd1.SetLong(ThumbnailLength, static_cast<std::uint32_t>(Thumbnail.size()));

    TBytes Payload;
    PutText(Payload, std::string_view("Exif\0\0", ExifSignatureSize));
    TBytes Tiff;
    PutText(Tiff, "II");
    PutU16LE(Tiff, 42);
    PutU32LE(Tiff, Ifd0At);
    Ifd0.WriteTo(Tiff, Ifd1At);
    ExifIfd.WriteTo(Tiff, 0);
    GPSIfd.WriteTo(Tiff, 0);
    Ifd1.WriteTo(Tiff, 0);
    PutBytes(Tiff, Thumbnail);
    PutBytes(Payload, Tiff);
    return Payload;
}

TBytes MakeXmpPayload(TRandom& Random, const TCamera& Camera, const TDate& Date, std::uint32_t Serial)
{
    TBytes Payload;
    PutText(Payload, std::string_view("http://ns.adobe.com/xap/1.0/\0", 29));
    std::string Packet = "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
                         "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
                         " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
                         "  <rdf:Description rdf:about=\"\"\n"
                         "    xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\"\n"
                         "    xmlns:dc=\"http://purl.org/dc/elements/1.1/\"\n"
                         "    xmlns:photoshop=\"http://ns.adobe.com/photoshop/1.0/\"\n";
    Packet += Format("    xmp:CreatorTool=\"%s %s\"\n", Camera.Make, Camera.Model);
    Packet += Format("    xmp:CreateDate=\"%s\"\n", IsoDate(Date).c_str());
    Packet += Format("    photoshop:City=\"%s\">\n", Pick(Random, Cities));
    Packet += Format("   <dc:creator><rdf:Seq><rdf:li>%s</rdf:li></rdf:Seq></dc:creator>\n", Pick(Random, People));
    Packet += Format("   <dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">Picture %u</rdf:li></rdf:Alt></dc:title>\n",
                     Serial);
    Packet += "   <dc:subject><rdf:Bag>\n";
    for (int I = static_cast<int>(Random.Between(1, 6)); I > 0; --I)
        Packet += Format("     <rdf:li>%s</rdf:li>\n", Pick(Random, Keywords));
    Packet += "   </rdf:Bag></dc:subject>\n  </rdf:Description>\n </rdf:RDF>\n</x:xmpmeta>\n";
    // Writers leave room to edit the packet in place.
    for (int Line = static_cast<int>(Random.Between(10, 40)); Line > 0; --Line)
        Packet += std::string(99, ' ') + '\n';
    Packet += "<?xpacket end=\"w\"?>";
    PutText(Payload, Packet);
    return Payload;
}

TBytes MakeIccPayload(TRandom& Random)
{
    constexpr std::array<const char*, 9> Tags{{"desc", "wtpt", "rXYZ", "gXYZ", "bXYZ", "rTRC", "gTRC", "bTRC", "cprt"}};
    const auto CurvePoints = static_cast<std::uint32_t>(Random.Between(128, 1024));

    // Tag data, each element padded to four bytes.
    std::vector<TBytes> Elements;
    for (const char* Tag : Tags) {
        TBytes Element;
        const std::string_view Name(Tag);
        if (Name == "desc" || Name == "cprt") {
            PutText(Element, "text");
            PutU32BE(Element, 0);
            PutText(Element, Name == "desc" ? "Synthetic RGB working space" : "No copyright, test data");
            PutU8(Element, 0);
        } else if (Name.substr(1) == "XYZ" || Name == "wtpt") {
            PutText(Element, "XYZ ");
            PutU32BE(Element, 0);
            for (int I = 0; I < 3; ++I)
                PutU32BE(Element, static_cast<std::uint32_t>(Random.Between(0x1000, 0x10000)));
        } else {
            PutText(Element, "curv");
            PutU32BE(Element, 0);
            PutU32BE(Element, CurvePoints);
            for (std::uint32_t I = 0; I < CurvePoints; ++I)
                PutU16BE(Element, I * 65535 / (CurvePoints - 1));
        }
        while (Element.size() % 4)
            PutU8(Element, 0);
        Elements.push_back(std::move(Element));
    }

    constexpr std::uint32_t HeaderSize = 128;
    const auto TableSize = static_cast<std::uint32_t>(4 + 12 * Tags.size());
    std::uint32_t ProfileSize = HeaderSize + TableSize;
    for (const auto& Element : Elements)
        ProfileSize += static_cast<std::uint32_t>(Element.size());

    TBytes Profile;
    PutU32BE(Profile, ProfileSize);
    PutText(Profile, "nmbr");      // preferred module
    PutU32BE(Profile, 0x02100000); // version 2.1
    PutText(Profile, "mntrRGB XYZ ");
    for (std::uint32_t Part : {2020u, 1u, 1u, 0u, 0u, 0u})
        PutU16BE(Profile, Part);
    PutText(Profile, "acsp");
    PutText(Profile, "nmbr");
    PutU32BE(Profile, 0);   // flags
    PutText(Profile, "none");
    PutU32BE(Profile, 0);   // device model
    PutU32BE(Profile, 0);   // attributes
    PutU32BE(Profile, 0);
    PutU32BE(Profile, 0);   // perceptual intent
    for (std::uint32_t Value : {0x0000F6D6u, 0x00010000u, 0x0000D32Du}) // D50
        PutU32BE(Profile, Value);
    PutText(Profile, "nmbr");
    Profile.resize(HeaderSize, 0);

    PutU32BE(Profile, static_cast<std::uint32_t>(Tags.size()));
    std::uint32_t At = HeaderSize + TableSize;
    for (std::size_t I = 0; I < Tags.size(); ++I) {
        PutText(Profile, Tags[I]);
        PutU32BE(Profile, At);
        PutU32BE(Profile, static_cast<std::uint32_t>(Elements[I].size()));
        At += static_cast<std::uint32_t>(Elements[I].size());
    }
    for (const auto& Element : Elements)
        PutBytes(Profile, Element);

    TBytes Payload;
    PutText(Payload, std::string_view("ICC_PROFILE\0", 12));
    PutU8(Payload, 1); // chunk 1
    PutU8(Payload, 1); // of 1
    PutBytes(Payload, Profile);
    return Payload;
}

TBytes MakePhotoshopPayload(TRandom& Random, const TDate& Date, std::uint32_t Serial)
{
    TBytes Iptc;
    auto DataSet = [&Iptc](std::uint8_t Number, std::string_view Value) {
        PutU8(Iptc, 0x1C);
        PutU8(Iptc, 2); // application record
        PutU8(Iptc, Number);
        PutU16BE(Iptc, static_cast<std::uint32_t>(Value.size()));
        PutText(Iptc, Value);
    };
    DataSet(0x00, std::string_view("\0\4", 2)); // record version
    DataSet(0x05, Format("Picture %u", Serial));
    for (int I = static_cast<int>(Random.Between(1, 5)); I > 0; --I)
        DataSet(0x19, Pick(Random, Keywords));
    DataSet(0x37, Format("%04d%02d%02d", Date.Year, Date.Month, Date.Day));
    DataSet(0x50, Pick(Random, People));
    DataSet(0x5A, Pick(Random, Cities));
    DataSet(0x74, Format("(c) %d %s", Date.Year, Pick(Random, People)));
    DataSet(0x78, Format("A day out in %s, picture %u of the series.", Pick(Random, Cities), Serial));

    auto Resource = [](TBytes& Out, std::uint16_t Id, const TBytes& Data) {
        PutText(Out, "8BIM");
        PutU16BE(Out, Id);
        PutU16BE(Out, 0); // empty name, padded to even
        PutU32BE(Out, static_cast<std::uint32_t>(Data.size()));
        PutBytes(Out, Data);
        if (Data.size() & 1)
            PutU8(Out, 0);
    };

    TBytes Digest;
    PutRandom(Random, Digest, 16);

    TBytes Payload;
    PutText(Payload, std::string_view("Photoshop 3.0\0", 14));
    Resource(Payload, 0x0404, Iptc);
    Resource(Payload, 0x0425, Digest);
    return Payload;
}

TBytes MakeJfifPayload()
{
    TBytes Payload;
    PutText(Payload, std::string_view("JFIF\0", 5));
    PutU8(Payload, 1);
    PutU8(Payload, 2); // version 1.02
    PutU8(Payload, 1); // dots per inch
    PutU16BE(Payload, 72);
    PutU16BE(Payload, 72);
    PutU8(Payload, 0); // no thumbnail here
    PutU8(Payload, 0);
    return Payload;
}

} // namespace

void AppendEntropyData(TRandom& Random, TBytes& Out, std::int64_t Count, std::int64_t RestartEvery)
{
    Out.reserve(Out.size() + static_cast<std::size_t>(Count + Count / 128 + 64));
    std::int64_t SinceRestart = 0;
    std::uint8_t NextRestart = 0;
    for (std::int64_t Done = 0; Done < Count;) {
        std::uint64_t Word = Random.Next();
        for (int I = 0; I < 8 && Done < Count; ++I, ++Done, Word >>= 8) {
            const auto Byte = static_cast<std::uint8_t>(Word);
            Out.push_back(Byte);
            if (Byte == 0xFF)
                Out.push_back(0x00);
        }
        SinceRestart += 8;
        if (RestartEvery > 0 && SinceRestart >= RestartEvery && Done < Count) {
            PutMarker(Out, static_cast<std::uint8_t>(RST0 + NextRestart));
            NextRestart = static_cast<std::uint8_t>((NextRestart + 1) % 8);
            SinceRestart = 0;
        }
    }
}

TBytes MakeCameraJpeg(TRandom& Random, const TPhotoOptions& Options, TPhotoFacts* Facts)
{
    const TCamera& Camera = Pick(Random, Cameras);
    const TDate Date = DateOf(Random, Options.Serial);

    TBytes Out;
    Out.reserve(static_cast<std::size_t>(Options.TargetSize + Options.TargetSize / 64 + 4096));
    PutMarker(Out, SOI);
    PutSegment(Out, APP0, MakeJfifPayload());

    const std::size_t MetadataStart = Out.size();
    if (Options.WithMetadata) {
        PutSegment(Out, APP1, MakeExifPayload(Random, Camera, Date, Options.Serial));
        PutSegment(Out, APP1, MakeXmpPayload(Random, Camera, Date, Options.Serial));
        PutSegment(Out, APP2, MakeIccPayload(Random));
        PutSegment(Out, APP13, MakePhotoshopPayload(Random, Date, Options.Serial));
    }
    const std::size_t MetadataSize = Out.size() - MetadataStart;

    PutQuantisationTables(Random, Out);
    PutFrameHeader(Out, Camera.Width, Camera.Height);
    PutHuffmanTables(Out);
    // About half the cameras use restart intervals.
    std::int64_t RestartEvery = 0;
    if (Random.Chance(50)) {
        const auto McusPerInterval = static_cast<std::uint32_t>(Camera.Width / 16);
        PutRestartInterval(Out, McusPerInterval);
        RestartEvery = Random.Between(2048, 16384);
    }
    PutScanHeader(Out);

    // Stuffing adds about one byte in 256, each restart marker two.
    std::int64_t Left = Options.TargetSize - static_cast<std::int64_t>(Out.size()) - 2;
    Left = Left * 256 / 257;
    if (RestartEvery > 0)
        Left -= 2 * Left / RestartEvery;
    AppendEntropyData(Random, Out, std::max<std::int64_t>(Left, 1024), RestartEvery);
    PutMarker(Out, EOI);

    if (Facts) {
        Facts->Size = static_cast<std::int64_t>(Out.size());
        Facts->MetadataSize = static_cast<std::int64_t>(MetadataSize);
    }
    return Out;
}

TBytes MakeManySegmentJpeg(TRandom& Random, int SegmentCount)
{
    TBytes Out;
    PutMarker(Out, SOI);
    for (int I = 0; I < SegmentCount; ++I) {
        std::uint8_t Marker;
        switch (I % 3) {
        case 0: Marker = static_cast<std::uint8_t>(Random.Chance(50) ? APP0 : Random.Chance(50) ? DQT : COM); break;
        default: Marker = static_cast<std::uint8_t>(Random.Between(APP1, APP15)); break;
        }
        TBytes Payload;
        PutRandom(Random, Payload, static_cast<std::size_t>(Random.Between(16, 2048)));
        PutSegment(Out, Marker, Payload);
    }
    PutFrameHeader(Out, 640, 480);
    PutScanHeader(Out);
    AppendEntropyData(Random, Out, 1024, 0);
    PutMarker(Out, EOI);
    return Out;
}

std::int64_t MetadataBytesInHeader(std::span<const std::uint8_t> Bytes)
{
    if (Bytes.size() < 2 || Bytes[0] != 0xFF || Bytes[1] != SOI)
        return -1;
    std::int64_t Metadata = 0;
    std::size_t At = 2;
    for (;;) {
        if (At >= Bytes.size() || Bytes[At] != 0xFF)
            return -1;
        while (At < Bytes.size() && Bytes[At] == 0xFF)
            ++At;
        if (At >= Bytes.size())
            return -1;
        const std::uint8_t Marker = Bytes[At++];
        if (Marker == EOI)
            return -1;
        if (Marker < 0x02 || (Marker >= RST0 && Marker <= EOI))
            continue;
        if (At + 2 > Bytes.size())
            return -1;
        const std::size_t Length = std::size_t{Bytes[At]} << 8 | Bytes[At + 1];
        if (Length < 2 || At + Length > Bytes.size())
            return -1;
        if (Marker == SOS)
            return Metadata;
        if (Marker >= APP1 && Marker <= APP15)
            Metadata += static_cast<std::int64_t>(Length) + 2;
        At += Length;
    }
}

} // namespace NimbrelBench
