// Removes segments from arbitrary bytes and checks the result against an
// independent walk of the parser: either an error of the common type, or
// exactly the input minus the yielded ranges, with exactly their markers.
#include "Exceptions.h"
#include "Exif.JPEGUtils.h"
#include "FuzzInput.h"

#include <vector>

namespace {

struct TRange {
    std::int64_t Offset;
    std::int64_t End;
    std::uint8_t Marker;
};

// The ranges the parser yields, or false when the walk fails.
bool Walk(const TFuzzInput& Input, std::vector<TRange>& Ranges)
{
    TMemoryStream Stream;
    LoadFuzzStream(Stream, Input);
    try {
        auto Parser = JPEGHeader(Stream, Input.Markers);
        while (Parser->MoveNext()) {
            auto Segment = Parser->Current();
            if (Input.KeepAdobe && IsAdobeColourSegment(*Segment))
                continue;
            Ranges.push_back({Segment->Offset(), Segment->Offset() + Segment->TotalSize(), Segment->MarkerNum()});
        }
    } catch (const Exception&) {
        return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    TFuzzInput Input = SplitFuzzInput(Data, Size);
    std::vector<TRange> Ranges;
    bool WalkSucceeded = Walk(Input, Ranges);

    TMemoryStream In;
    LoadFuzzStream(In, Input);
    TMemoryStream Out;
    TJPEGMarkers Removed;
    try {
        Removed = RemoveJPEGSegments(In, Out, Input.Markers, Input.KeepAdobe ? TKeepSegment(IsAdobeColourSegment) : nullptr);
    } catch (const Exception&) {
        if (WalkSucceeded)
            ContractBroken("the removal failed where the walk succeeded");
        return 0;
    }
    if (!WalkSucceeded)
        ContractBroken("the removal succeeded where the walk failed");

    std::vector<std::uint8_t> Expected;
    TJPEGMarkers ExpectedSet;
    std::int64_t From = Input.StartPos;
    const std::uint8_t* Bytes = In.Memory();
    for (const TRange& Range : Ranges) {
        if (Range.Offset < From)
            ContractBroken("overlapping ranges");
        Expected.insert(Expected.end(), Bytes + From, Bytes + Range.Offset);
        ExpectedSet.Include(Range.Marker);
        From = Range.End;
    }
    Expected.insert(Expected.end(), Bytes + From, Bytes + In.GetSize());

    if (Removed != ExpectedSet)
        ContractBroken("the removed set differs from the yielded markers");
    if (Out.GetSize() != static_cast<std::int64_t>(Expected.size()) ||
        (Out.GetSize() > 0 && std::memcmp(Out.Memory(), Expected.data(), Expected.size()) != 0))
        ContractBroken("the output differs from the input minus the yielded ranges");
    if (In.GetPosition() != In.GetSize())
        ContractBroken("the input does not stand at its end");
    return 0;
}
