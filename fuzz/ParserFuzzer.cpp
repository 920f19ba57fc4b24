// Walks arbitrary bytes with the header parser and checks what it yields
// against the bytes themselves.
#include "Exceptions.h"
#include "Exif.JPEGUtils.h"
#include "FuzzInput.h"


namespace {

enum class TEnd { NoMore, Error };

TEnd Step(IJPEGHeaderParser& Parser, bool& Yielded)
{
    try {
        Yielded = Parser.MoveNext();
        return TEnd::NoMore;
    } catch (const Exception&) {
        Yielded = false;
        return TEnd::Error;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    TFuzzInput Input = SplitFuzzInput(Data, Size);
    TMemoryStream Stream;
    LoadFuzzStream(Stream, Input);
    const std::uint8_t* Bytes = Stream.Memory();
    const std::int64_t StreamSize = Stream.GetSize();

    std::shared_ptr<IJPEGHeaderParser> Parser;
    try {
        Parser = JPEGHeader(Stream, Input.Markers);
    } catch (const Exception&) {
        return 0;
    }
    if (Bytes[Input.StartPos] != 0xFF || Bytes[Input.StartPos + 1] != 0xD8)
        ContractBroken("a stream without a start of image was accepted");

    std::int64_t LastEnd = Input.StartPos + 2;
    bool Yielded = false;
    TEnd End;
    while ((End = Step(*Parser, Yielded)) == TEnd::NoMore && Yielded) {
        auto Segment = Parser->Current();
        if (!Segment)
            ContractBroken("a true step without a current segment");
        std::int64_t Offset = Segment->Offset();
        std::int64_t Total = Segment->TotalSize();
        std::uint8_t Marker = Segment->MarkerNum();
        if (Offset < LastEnd || Offset + Total > StreamSize)
            ContractBroken("a segment outside its place");
        if (Bytes[Offset] != 0xFF || Bytes[Offset + 1] != Marker)
            ContractBroken("a segment that does not start with its marker");
        if (!Input.Markers.Contains(Marker))
            ContractBroken("an unwanted marker was yielded");
        std::int64_t Head = MarkerHasLength(Marker) ? 4 : 2;
        TMemoryStream& Payload = Segment->Data();
        if (Payload.GetPosition() != 0 || Payload.GetSize() != Total - Head)
            ContractBroken("a payload of the wrong size or position");
        if (MarkerHasLength(Marker)) {
            std::int64_t Length = Bytes[Offset + 2] << 8 | Bytes[Offset + 3];
            if (static_cast<std::uint16_t>(Length - 2) != Payload.GetSize())
                ContractBroken("a payload that disagrees with its length field");
        }
        if (Payload.GetSize() > 0 && std::memcmp(Payload.Memory(), Bytes + Offset + Head, Payload.GetSize()) != 0)
            ContractBroken("a payload that differs from the stream");
        LastEnd = Offset + Total;
    }
    if (Parser->Current())
        ContractBroken("a current segment after the end");

    // The end repeats itself.
    TEnd Again = Step(*Parser, Yielded);
    if (Again != End || Yielded || Parser->Current())
        ContractBroken("a further step ended differently");
    return 0;
}
