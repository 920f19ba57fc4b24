// Splits a fuzzer's input into the choices of one run: a set of marker
// numbers, a start position and the stream content.
#pragma once

#include "Exif.JPEGUtils.h"
#include "Streams.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

struct TFuzzInput {
    TJPEGMarkers Markers;
    std::int64_t StartPos = 0;
    bool KeepAdobe = false;
    const std::uint8_t* Content = nullptr;
    std::size_t Size = 0;
};

// Layout: one flags byte (bit 0: keep the Adobe segment; bits 1..3: junk bytes
// before the start of image), one byte of set kind (0: APP1..APP15, 1: the 32
// bytes that follow are the set, anything else: APP1..APP15 plus that marker),
// then the content.
inline TFuzzInput SplitFuzzInput(const std::uint8_t* Data, std::size_t Size)
{
    TFuzzInput Input;
    if (Size < 2) {
        Input.Markers = TJPEGMarkers::Range(0xE1, 0xEF);
        Input.Content = Data;
        Input.Size = Size;
        return Input;
    }
    std::uint8_t Flags = Data[0];
    std::uint8_t Kind = Data[1];
    Data += 2;
    Size -= 2;
    Input.KeepAdobe = Flags & 1;
    Input.StartPos = (Flags >> 1) & 7;
    if (Kind == 1 && Size >= 32) {
        for (unsigned Marker = 0; Marker < 256; ++Marker)
            if (Data[Marker / 8] & (1u << (Marker % 8)))
                Input.Markers.Include(static_cast<std::uint8_t>(Marker));
        Data += 32;
        Size -= 32;
    } else {
        Input.Markers = TJPEGMarkers::Range(0xE1, 0xEF);
        if (Kind > 1)
            Input.Markers.Include(Kind);
    }
    Input.Content = Data;
    Input.Size = Size;
    return Input;
}

// The content in a memory stream, behind StartPos junk bytes, positioned at
// the content.
inline void LoadFuzzStream(TMemoryStream& Stream, const TFuzzInput& Input)
{
    Stream.SetSize(Input.StartPos + static_cast<std::int64_t>(Input.Size));
    if (Input.StartPos > 0)
        std::memset(Stream.Memory(), 0xFF, static_cast<std::size_t>(Input.StartPos));
    if (Input.Size > 0)
        std::memcpy(Stream.Memory() + Input.StartPos, Input.Content, Input.Size);
    Stream.SetPosition(Input.StartPos);
}

// Aborts with a message: the fuzzer reports it as a crash.
[[noreturn]] inline void ContractBroken(const char* What)
{
    std::fprintf(stderr, "contract broken: %s\n", What);
    std::abort();
}
