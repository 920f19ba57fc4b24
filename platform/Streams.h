// Byte streams: a seekable sequence of bytes with 64-bit positions, held in
// memory (TMemoryStream) or in an open file (TFileStream).
#pragma once

#include "File.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <vector>

class TStream {
public:
    virtual ~TStream() = default;

    // Reads up to Count bytes and returns how many were delivered. At or past
    // the end nothing is delivered and the position stays where it is.
    virtual std::int64_t Read(void* Buffer, std::int64_t Count) = 0;
    // Writes up to Count bytes and returns how many were taken.
    virtual std::int64_t Write(const void* Buffer, std::int64_t Count) = 0;
    // Moves the position and returns the new one. Positions are not clamped:
    // a position past the end stays where it was set.
    virtual std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) = 0;
    virtual std::int64_t GetSize();
    virtual void SetSize(std::int64_t NewSize) = 0;

    std::int64_t GetPosition() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(std::int64_t Position) { Seek(Position, TSeekOrigin::soBeginning); }

    // Reads exactly Count bytes. A short read consumes what was still there
    // and then raises EReadError. Count 0 reads nothing and never raises.
    void ReadBuffer(void* Buffer, std::int64_t Count);
    // Writes exactly Count bytes or raises EWriteError.
    void WriteBuffer(const void* Buffer, std::int64_t Count);
    // Copies Count bytes from Source, starting at Source's position, through
    // read-exactly and write-exactly: a source that runs short raises
    // EReadError after the bytes it had were copied. Returns Count.
    std::int64_t CopyFrom(TStream& Source, std::int64_t Count);

    // The bytes from the position to the end, when the stream holds them in
    // one block of memory; empty for streams that do not.
    virtual std::optional<std::span<const std::uint8_t>> RemainingBytes() { return std::nullopt; }

protected:
    // Writes exactly the given bytes of a memory-held source, as CopyFrom
    // does for one. A stream may keep a reference to them instead of a copy.
    virtual void WriteFromMemory(std::span<const std::uint8_t> Bytes)
    {
        WriteBuffer(Bytes.data(), static_cast<std::int64_t>(Bytes.size()));
    }
};

// A stream whose content lies in one contiguous block of memory.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    TMemoryStream(const TMemoryStream&) = delete;
    TMemoryStream& operator=(const TMemoryStream&) = delete;

    std::int64_t Read(void* Buffer, std::int64_t Count) override;
    std::int64_t Write(const void* Buffer, std::int64_t Count) override;
    std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
    std::int64_t GetSize() override { return FSize; }
    // Grows the block to fit (raising EOutOfMemory when it cannot); a
    // position beyond the new size stays where it is.
    void SetSize(std::int64_t NewSize) override;
    std::optional<std::span<const std::uint8_t>> RemainingBytes() override;

    std::uint8_t* Memory() { return FMemory.get(); }
    const std::uint8_t* Memory() const { return FMemory.get(); }
    std::int64_t Size() const { return FSize; }
    void Clear();

    // Replaces the content with the whole file: opened for reading (other
    // writers refused), read completely, closed again. Positioned at 0.
    void LoadFromFile(const std::filesystem::path& FileName);

private:
    void Reserve(std::int64_t NewCapacity);

    // Blocks start on a cache line (see Reserve).
    struct TBlockDelete {
        void operator()(std::uint8_t* Block) const noexcept;
    };
    std::unique_ptr<std::uint8_t[], TBlockDelete> FMemory;
    std::int64_t FSize = 0;
    std::int64_t FCapacity = 0;
    std::int64_t FPosition = 0;
};

enum class TFileMode {
    fmOpenRead, // an existing file, for reading
    fmRewrite   // created or rewritten, for reading and writing (see OpenFileForRewrite)
};

// A stream over an open file; the file is closed with the stream.
class TFileStream : public TStream {
public:
    TFileStream(const std::filesystem::path& FileName, TFileMode Mode);
    explicit TFileStream(TFileHandle Handle) : FHandle(std::move(Handle)) {}

    std::int64_t Read(void* Buffer, std::int64_t Count) override;
    std::int64_t Write(const void* Buffer, std::int64_t Count) override;
    std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
    std::int64_t GetSize() override;
    // Raises EWriteError when the file cannot be cut or extended.
    void SetSize(std::int64_t NewSize) override;

private:
    TFileHandle FHandle;
};

// An output stream that keeps, in order, what is written to it without
// copying bytes that are copied in from a memory-held stream: it refers to
// them in the source's block. The sources must outlive it. WriteTo writes the
// gathered content out in one forward pass.
class TGatherStream : public TStream {
public:
    std::int64_t Read(void* Buffer, std::int64_t Count) override;
    std::int64_t Write(const void* Buffer, std::int64_t Count) override;
    std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
    std::int64_t GetSize() override { return FSize; }
    std::int64_t Size() const { return FSize; }
    // Only the current size is accepted: the gathered content is append-only.
    void SetSize(std::int64_t NewSize) override;

    // Writes everything gathered to Dest with write-exactly.
    void WriteTo(TStream& Dest) const;

protected:
    void WriteFromMemory(std::span<const std::uint8_t> Bytes) override;

private:
    std::vector<std::span<const std::uint8_t>> FPieces;
    std::vector<std::vector<std::uint8_t>> FOwned; // bytes written from plain buffers
    std::int64_t FSize = 0;
};
