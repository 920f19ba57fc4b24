#include "Streams.h"
#include "Exceptions.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr std::int64_t CopyBufferSize = 64 * 1024;

// Memory blocks start on a cache line. A large block from the plain
// allocator starts 16 bytes past a page boundary, and on some processors
// (AMD Zen 3) the kernel copies a file into a block that starts 1 to 31 bytes
// past a page several times slower than into one that starts on it or 32 or
// more bytes past it.
constexpr std::align_val_t BlockAlignment{64};

} // namespace

// TStream

std::int64_t TStream::GetSize()
{
    std::int64_t Position = GetPosition();
    std::int64_t Size = Seek(0, TSeekOrigin::soEnd);
    SetPosition(Position);
    return Size;
}

void TStream::ReadBuffer(void* Buffer, std::int64_t Count)
{
    if (Count > 0 && Read(Buffer, Count) != Count)
        throw EReadError();
}

void TStream::WriteBuffer(const void* Buffer, std::int64_t Count)
{
    if (Count > 0 && Write(Buffer, Count) != Count)
        throw EWriteError();
}

std::int64_t TStream::CopyFrom(TStream& Source, std::int64_t Count)
{
    if (Count <= 0)
        return 0;

    // A memory-held source is written straight from its block.
    if (auto Bytes = Source.RemainingBytes()) {
        std::int64_t Available = std::min<std::int64_t>(Count, static_cast<std::int64_t>(Bytes->size()));
        WriteFromMemory(Bytes->first(static_cast<std::size_t>(Available)));
        Source.Seek(Available, TSeekOrigin::soCurrent);
        if (Available < Count)
            throw EReadError();
        return Count;
    }

    std::vector<std::uint8_t> Buffer(static_cast<std::size_t>(std::min(Count, CopyBufferSize)));
    for (std::int64_t Left = Count; Left > 0;) {
        std::int64_t Chunk = std::min<std::int64_t>(Left, static_cast<std::int64_t>(Buffer.size()));
        std::int64_t Got = Source.Read(Buffer.data(), Chunk);
        WriteBuffer(Buffer.data(), Got);
        if (Got < Chunk)
            throw EReadError();
        Left -= Chunk;
    }
    return Count;
}

// TMemoryStream

std::int64_t TMemoryStream::Read(void* Buffer, std::int64_t Count)
{
    if (Count <= 0 || FPosition >= FSize || FPosition < 0)
        return 0;
    std::int64_t Delivered = std::min(Count, FSize - FPosition);
    std::memcpy(Buffer, FMemory.get() + FPosition, static_cast<std::size_t>(Delivered));
    FPosition += Delivered;
    return Delivered;
}

std::int64_t TMemoryStream::Write(const void* Buffer, std::int64_t Count)
{
    if (Count <= 0 || FPosition < 0)
        return 0;
    std::int64_t End = FPosition + Count;
    if (End > FCapacity)
        Reserve(std::max(End, FCapacity + FCapacity / 2));
    if (FPosition > FSize) // a gap left by a seek past the end reads as zeros
        std::memset(FMemory.get() + FSize, 0, static_cast<std::size_t>(FPosition - FSize));
    std::memcpy(FMemory.get() + FPosition, Buffer, static_cast<std::size_t>(Count));
    FPosition = End;
    FSize = std::max(FSize, End);
    return Count;
}

std::int64_t TMemoryStream::Seek(std::int64_t Offset, TSeekOrigin Origin)
{
    switch (Origin) {
    case TSeekOrigin::soBeginning: FPosition = Offset; break;
    case TSeekOrigin::soCurrent: FPosition += Offset; break;
    case TSeekOrigin::soEnd: FPosition = FSize + Offset; break;
    }
    return FPosition;
}

void TMemoryStream::SetSize(std::int64_t NewSize)
{
    if (NewSize < 0)
        NewSize = 0;
    if (NewSize > FCapacity)
        Reserve(NewSize);
    FSize = NewSize;
}

std::optional<std::span<const std::uint8_t>> TMemoryStream::RemainingBytes()
{
    if (FPosition >= FSize || FPosition < 0)
        return std::span<const std::uint8_t>();
    return std::span<const std::uint8_t>(FMemory.get() + FPosition, static_cast<std::size_t>(FSize - FPosition));
}

void TMemoryStream::TBlockDelete::operator()(std::uint8_t* Block) const noexcept
{
    ::operator delete[](Block, BlockAlignment);
}

void TMemoryStream::Clear()
{
    FMemory.reset();
    FSize = FCapacity = FPosition = 0;
}

void TMemoryStream::Reserve(std::int64_t NewCapacity)
{
    if (NewCapacity <= FCapacity)
        return;
    if (static_cast<std::uint64_t>(NewCapacity) > SIZE_MAX)
        throw EOutOfMemory();
    // Not zero-filled: every byte below the size is written before it is
    // read. The non-throwing form reports a refusal as a null block, also
    // under sanitizers, whose allocators cannot throw.
    std::unique_ptr<std::uint8_t[], TBlockDelete> Block(static_cast<std::uint8_t*>(
        ::operator new[](static_cast<std::size_t>(NewCapacity), BlockAlignment, std::nothrow)));
    if (!Block)
        throw EOutOfMemory();
    if (FSize > 0)
        std::memcpy(Block.get(), FMemory.get(), static_cast<std::size_t>(FSize));
    FMemory = std::move(Block);
    FCapacity = NewCapacity;
}

void TMemoryStream::LoadFromFile(const std::filesystem::path& FileName)
{
    TFileHandle File = OpenFileForReading(FileName);
    std::int64_t Expected = File.Size();
    if (Expected < 0)
        throw EReadError();

    Clear();
    SetSize(Expected);
    std::int64_t Got = File.Read(FMemory.get(), Expected);
    if (Got != Expected)
        throw EReadError(); // the file shrank or could not be read: nothing is trusted

    // The file may have grown since its size was taken; read on to its end so
    // that what is rewritten later is the whole file.
    std::uint8_t Chunk[CopyBufferSize];
    for (;;) {
        std::int64_t More = File.Read(Chunk, sizeof Chunk);
        if (More < 0)
            throw EReadError();
        if (More == 0)
            break;
        FPosition = FSize;
        Write(Chunk, More);
    }
    FPosition = 0;
}

// TFileStream

TFileStream::TFileStream(const std::filesystem::path& FileName, TFileMode Mode)
    : FHandle(Mode == TFileMode::fmOpenRead ? OpenFileForReading(FileName) : OpenFileForRewrite(FileName))
{
}

std::int64_t TFileStream::Read(void* Buffer, std::int64_t Count)
{
    if (Count <= 0)
        return 0;
    std::int64_t Got = FHandle.Read(Buffer, Count);
    return Got < 0 ? 0 : Got;
}

std::int64_t TFileStream::Write(const void* Buffer, std::int64_t Count)
{
    if (Count <= 0)
        return 0;
    std::int64_t Put = FHandle.Write(Buffer, Count);
    return Put < 0 ? 0 : Put;
}

std::int64_t TFileStream::Seek(std::int64_t Offset, TSeekOrigin Origin)
{
    return FHandle.Seek(Offset, Origin);
}

std::int64_t TFileStream::GetSize()
{
    return FHandle.Size();
}

void TFileStream::SetSize(std::int64_t NewSize)
{
    if (!FHandle.Truncate(NewSize))
        throw EWriteError();
}

// TGatherStream

std::int64_t TGatherStream::Read(void*, std::int64_t)
{
    return 0;
}

std::int64_t TGatherStream::Write(const void* Buffer, std::int64_t Count)
{
    if (Count <= 0)
        return 0;
    const auto* Bytes = static_cast<const std::uint8_t*>(Buffer);
    FOwned.emplace_back(Bytes, Bytes + Count);
    FPieces.emplace_back(FOwned.back().data(), FOwned.back().size());
    FSize += Count;
    return Count;
}

std::int64_t TGatherStream::Seek(std::int64_t Offset, TSeekOrigin Origin)
{
    // Append-only: the position is always the end.
    (void)Offset;
    (void)Origin;
    return FSize;
}

void TGatherStream::SetSize(std::int64_t NewSize)
{
    if (NewSize != FSize)
        throw EWriteError();
}

void TGatherStream::WriteFromMemory(std::span<const std::uint8_t> Bytes)
{
    if (Bytes.empty())
        return;
    FPieces.push_back(Bytes);
    FSize += static_cast<std::int64_t>(Bytes.size());
}

void TGatherStream::WriteTo(TStream& Dest) const
{
    for (const auto& Piece : FPieces)
        Dest.WriteBuffer(Piece.data(), static_cast<std::int64_t>(Piece.size()));
}
