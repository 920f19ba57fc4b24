// Synthetic camera-like JPEG files for the benchmarks, built byte by byte:
// the marker segments a camera or an editor writes (JFIF, Exif with an
// embedded thumbnail, XMP, an ICC profile, Photoshop/IPTC), the tables and
// frame header, and pseudo-random entropy-coded data with correct byte
// stuffing and restart markers. Nothing is encoded from pixels; the picture
// would not decode to anything meaningful, but every marker-level property
// the cleaner relies on holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace NimbrelBench {

using TBytes = std::vector<std::uint8_t>;

// A small, fast, seedable generator (xoshiro256** seeded through splitmix64).
// The same seed gives the same sequence on every platform.
class TRandom {
public:
    explicit TRandom(std::uint64_t Seed);
    std::uint64_t Next();
    // Uniform in [Low, High] (both included).
    std::int64_t Between(std::int64_t Low, std::int64_t High);
    // True with probability Percent / 100.
    bool Chance(int Percent) { return Between(0, 99) < Percent; }
    // An independent generator derived from this one's next value.
    TRandom Fork() { return TRandom(Next()); }

private:
    std::uint64_t FState[4];
};

// What a generated file holds, for the manifest and the checks.
struct TPhotoFacts {
    std::int64_t Size = 0;         // bytes of the whole file
    std::int64_t MetadataSize = 0; // bytes of its APP1..APP15 segments, markers included
    bool HasMetadata() const { return MetadataSize > 0; }
};

struct TPhotoOptions {
    std::int64_t TargetSize = 4 << 20; // about this many bytes in all (entropy data fills the rest)
    bool WithMetadata = true;          // the APP1..APP15 segments; APP0 is always written
    std::uint32_t Serial = 0;          // shows up in names and dates inside the metadata
};

// A camera-like JPEG: SOI, APP0 JFIF, APP1 Exif (TIFF header, IFD0, Exif and
// GPS IFDs, IFD1 with a thumbnail that is itself a small JPEG), APP1 XMP,
// APP2 ICC_PROFILE, APP13 Photoshop/IPTC, DQT, SOF0, DHT, optionally DRI,
// SOS, entropy-coded data, EOI.
TBytes MakeCameraJpeg(TRandom& Random, const TPhotoOptions& Options, TPhotoFacts* Facts = nullptr);

// A header of SegmentCount segments (APPn of varying sizes, a third of them
// outside APP1..APP15), then SOS, a little entropy-coded data and EOI.
TBytes MakeManySegmentJpeg(TRandom& Random, int SegmentCount);

// Appends Count bytes of pseudo-random entropy-coded data: every 0xFF is
// followed by 0x00, and when RestartEvery > 0 a restart marker FF D0..D7
// (in turn) follows roughly every RestartEvery bytes.
void AppendEntropyData(TRandom& Random, TBytes& Out, std::int64_t Count, std::int64_t RestartEvery);

// Reads the marker segments of a JPEG header independently of the engine:
// the bytes of APP1..APP15 segments before the first SOS, or -1 when Bytes is
// not a well-formed header (no SOI, a truncated segment, no SOS).
std::int64_t MetadataBytesInHeader(std::span<const std::uint8_t> Bytes);

} // namespace NimbrelBench
