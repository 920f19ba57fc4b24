// Writes the fuzzers' seed corpus: the edge cases the tests use and
// camera-like headers, each behind the two selector bytes the fuzzers read.
#include "JpegBytes.h"

#include <cstdio>
#include <string>

namespace {

// Flags 0 and set kind 0: APP1..APP15 from position 0.
const TBytes Plain = Bytes({0, 0});
// The Adobe segment kept.
const TBytes KeepAdobe = Bytes({1, 0});

TBytes CameraHeader(std::uint8_t Seed)
{
    TBytes Thumbnail = SOI + Quantisation() + Scan() + EOI;
    TBytes Exif = Segment(0xE1, Text(std::string("Exif\0\0MM\0*\0\0\0\x08", 14)) + Filled(40, Seed) + Thumbnail);
    TBytes Xmp = Segment(0xE1, Text(std::string("http://ns.adobe.com/xap/1.0/\0", 29)) + Text("<x:xmpmeta/>"));
    TBytes Icc = Segment(0xE2, Text(std::string("ICC_PROFILE\0\x01\x01", 14)) + Filled(64, 0x11));
    TBytes Iptc = Segment(0xED, Text(std::string("Photoshop 3.0\0008BIM", 18)) + Filled(12, 0x1C));
    TBytes Frame = Segment(0xC0, Bytes({8, 0, 16, 0, 16, 3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1}));
    TBytes Huffman = Segment(0xC4, Bytes({0x00}) + Filled(16, 1) + Filled(16, 2));
    return SOI + JFIF() + Exif + Xmp + Icc + Iptc + Quantisation() + Frame + Huffman + Scan() + EOI;
}

} // namespace

int main(int Argc, char** Argv)
{
    if (Argc != 2) {
        std::fprintf(stderr, "usage: %s DIRECTORY\n", Argv[0]);
        return 2;
    }
    std::filesystem::path Dir = Argv[1];
    std::filesystem::create_directories(Dir);

    const TBytes Seeds[] = {
        Plain + SOI + EOI,
        Plain + SOI + Segment(0xE1, {}) + EOI,
        Plain + Bytes({0xFF, 0xD8, 0xFF, 0xFF, 0xFF, 0xE1, 0x00, 0x04, 0xAA, 0xBB, 0xFF, 0xD9}),
        Plain + Bytes({0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x02}),
        Plain + SOI + Bytes({0xFF, 0xE1, 0x00, 0x00}) + Filled(8, 1),
        Plain + SOI + Bytes({0xFF, 0xE2, 0x00, 0x01}) + Filled(8, 1),
        Plain + SOI + Bytes({0xFF, 0x01, 0xFF, 0xD0}) + Exif(4) + EOI,
        Plain + SOI + JFIF() + Exif() + Scan() + Segment(0xE2, Text("ICC")) + Scan() + EOI + Text("tail"),
        Bytes({6, 0}) + SOI + Exif(2) + EOI, // three junk bytes before the start of image
        Bytes({0, 0xD9}) + SOI + Segment(0xE1, Text("x")) + EOI,
        KeepAdobe + SOI + AdobeColour() + Exif() + Segment(0xEE, Text("Adobe") + Filled(9, 0)) + Scan() + EOI,
        Plain + CameraHeader(0x20),
        KeepAdobe + CameraHeader(0x41),
        Plain + Text("not a photo"),
    };
    int Number = 0;
    for (const TBytes& Seed : Seeds)
        WriteFileBytes(Dir / ("seed-" + std::to_string(++Number)), Seed);
    return 0;
}
