// Small builders for JPEG byte sequences used as test fixtures.
#pragma once

#include "Streams.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <random>
#include <string>
#include <vector>

using TBytes = std::vector<std::uint8_t>;

inline TBytes Bytes(std::initializer_list<int> Values)
{
    TBytes Result;
    for (int Value : Values)
        Result.push_back(static_cast<std::uint8_t>(Value));
    return Result;
}

inline TBytes operator+(TBytes Left, const TBytes& Right)
{
    Left.insert(Left.end(), Right.begin(), Right.end());
    return Left;
}

inline TBytes Text(const std::string& Value)
{
    return TBytes(Value.begin(), Value.end());
}

inline TBytes Filled(std::size_t Count, std::uint8_t Value)
{
    return TBytes(Count, Value);
}

// FF, the marker number, the length field and the payload.
inline TBytes Segment(std::uint8_t MarkerNum, const TBytes& Payload)
{
    std::size_t Length = Payload.size() + 2;
    return Bytes({0xFF, MarkerNum, static_cast<int>(Length >> 8), static_cast<int>(Length & 0xFF)}) + Payload;
}

inline const TBytes SOI = Bytes({0xFF, 0xD8});
inline const TBytes EOI = Bytes({0xFF, 0xD9});

inline TBytes JFIF()
{
    return Segment(0xE0, Text(std::string("JFIF\0", 5)) + Bytes({1, 2, 0, 0, 1, 0, 1, 0, 0}));
}

inline TBytes Exif(std::size_t Extra = 24)
{
    return Segment(0xE1, Text(std::string("Exif\0\0", 6)) + Text("MM") + Filled(Extra, 0x2A));
}

inline TBytes Quantisation()
{
    return Segment(0xDB, Bytes({0x00}) + Filled(64, 0x10));
}

// A start of scan header followed by entropy-coded data with a stuffed byte
// and a restart marker in it.
inline TBytes Scan()
{
    return Segment(0xDA, Bytes({1, 1, 0, 0, 63, 0})) + Bytes({0x12, 0x34, 0xFF, 0x00, 0x56, 0xFF, 0xD0, 0x78, 0x9A});
}

// The 12-byte Adobe segment of the DCT coders.
inline TBytes AdobeColour(std::uint8_t Transform = 2)
{
    return Segment(0xEE, Text("Adobe") + Bytes({0, 100, 0, 0, 0, 0, Transform}));
}

// A path in UTF-8, as error messages name it.
inline std::string Utf8(const std::filesystem::path& Path)
{
    std::u8string Text = Path.u8string();
    return std::string(Text.begin(), Text.end());
}

inline TBytes ReadFileBytes(const std::filesystem::path& FileName)
{
    std::ifstream In(FileName, std::ios::binary);
    return TBytes(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const std::filesystem::path& FileName, const TBytes& Content)
{
    std::ofstream Out(FileName, std::ios::binary | std::ios::trunc);
    Out.write(reinterpret_cast<const char*>(Content.data()), static_cast<std::streamsize>(Content.size()));
}

inline void Fill(TMemoryStream& Stream, const TBytes& Content)
{
    Stream.Clear();
    Stream.WriteBuffer(Content.data(), static_cast<std::int64_t>(Content.size()));
    Stream.SetPosition(0);
}

inline TBytes Content(const TMemoryStream& Stream)
{
    return TBytes(Stream.Memory(), Stream.Memory() + Stream.Size());
}

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    const std::filesystem::path& Path() const { return FPath; }
    std::filesystem::path operator/(const std::filesystem::path& Name) const { return FPath / Name; }

private:
    std::filesystem::path FPath;
};

inline TTempDir::TTempDir()
{
    std::random_device Random;
    for (;;) {
        FPath = std::filesystem::temp_directory_path() / ("nimbrel-test-" + std::to_string(Random()));
        if (std::filesystem::create_directory(FPath))
            return;
    }
}

inline TTempDir::~TTempDir()
{
    // Some systems refuse to delete a read-only file.
    std::error_code Error;
    for (std::filesystem::recursive_directory_iterator It(FPath, Error), End; !Error && It != End;
         It.increment(Error))
        SetFileReadOnly(It->path(), false);
    std::filesystem::remove_all(FPath, Error);
}
