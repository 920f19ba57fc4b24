// Micro-benchmarks of the segment engine: the header parser, the stream form
// of the remover, and the file form on real files next to the floor (read
// the file whole, write the same bytes back).
//
//   nimbrel_engine_benchmarks [--work-dir=DIR] [Google Benchmark flags]
//
// The files for the file-form benchmarks are written under DIR (by default
// the system's temporary directory) and removed at the end.

#include "AlignedBlock.h"
#include "Exif.JPEGUtils.h"
#include "File.h"
#include "JpegSynth.h"
#include "Streams.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;
using namespace NimbrelBench;

namespace {

constexpr std::int64_t MB = 1 << 20;

const TJPEGMarkers MetadataMarkers = TJPEGMarkers::Range(JPEGMarker::APP1, JPEGMarker::APP15);

// A directory that is removed with everything in it when it goes.
class TScratchDirectory {
public:
    explicit TScratchDirectory(fs::path Path) : FPath(std::move(Path)) { fs::create_directories(FPath); }
    ~TScratchDirectory()
    {
        std::error_code Ignored;
        fs::remove_all(FPath, Ignored);
    }
    TScratchDirectory(const TScratchDirectory&) = delete;
    TScratchDirectory& operator=(const TScratchDirectory&) = delete;
    const fs::path& Path() const { return FPath; }

private:
    fs::path FPath;
};

void Fill(TMemoryStream& Stream, const TBytes& Bytes)
{
    Stream.Clear();
    Stream.WriteBuffer(Bytes.data(), static_cast<std::int64_t>(Bytes.size()));
    Stream.SetPosition(0);
}

// Puts Bytes into the file, from position 0, and cuts it to their size.
void Restore(const fs::path& File, const TBytes& Bytes)
{
    TFileStream Stream(File, TFileMode::fmRewrite);
    Stream.WriteBuffer(Bytes.data(), static_cast<std::int64_t>(Bytes.size()));
    Stream.SetSize(static_cast<std::int64_t>(Bytes.size()));
}

TBytes CameraFile(std::int64_t Size, std::uint64_t Seed)
{
    TRandom Random(Seed);
    TPhotoOptions Options;
    Options.TargetSize = Size;
    Options.Serial = static_cast<std::uint32_t>(Seed);
    return MakeCameraJpeg(Random, Options);
}

void ParseManySegments(benchmark::State& State)
{
    TRandom Random(7);
    const TBytes Bytes = MakeManySegmentJpeg(Random, static_cast<int>(State.range(0)));
    TMemoryStream Stream;
    Fill(Stream, Bytes);
    std::int64_t Found = 0;
    for (auto _ : State) {
        Stream.SetPosition(0);
        auto Parser = JPEGHeader(Stream, MetadataMarkers);
        for (const auto& Segment : *Parser->GetEnumerator()) {
            benchmark::DoNotOptimize(Segment->Offset());
            ++Found;
        }
    }
    State.SetItemsProcessed(Found);
    State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations()) * static_cast<std::int64_t>(Bytes.size()));
}

void StreamFormToGather(benchmark::State& State)
{
    const TBytes Bytes = CameraFile(State.range(0) * MB, 11);
    TMemoryStream Source;
    Fill(Source, Bytes);
    for (auto _ : State) {
        Source.SetPosition(0);
        TGatherStream Cleaned;
        benchmark::DoNotOptimize(RemoveJPEGSegments(Source, Cleaned, MetadataMarkers, IsAdobeColourSegment));
        benchmark::DoNotOptimize(Cleaned.Size());
    }
    State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations()) * static_cast<std::int64_t>(Bytes.size()));
}

void StreamFormToMemory(benchmark::State& State)
{
    const TBytes Bytes = CameraFile(State.range(0) * MB, 11);
    TMemoryStream Source;
    Fill(Source, Bytes);
    for (auto _ : State) {
        Source.SetPosition(0);
        TMemoryStream Cleaned;
        benchmark::DoNotOptimize(RemoveJPEGSegments(Source, Cleaned, MetadataMarkers, IsAdobeColourSegment));
        benchmark::DoNotOptimize(Cleaned.Memory());
    }
    State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations()) * static_cast<std::int64_t>(Bytes.size()));
}

// The file form on a file that gets its metadata back, untimed, before each
// call.
void FileForm(benchmark::State& State, const fs::path& Directory)
{
    const TBytes Bytes = CameraFile(State.range(0) * MB, 13);
    const fs::path File = Directory / ("file-form-" + std::to_string(State.range(0)) + ".jpg");
    for (auto _ : State) {
        State.PauseTiming();
        Restore(File, Bytes);
        State.ResumeTiming();
        benchmark::DoNotOptimize(RemoveJPEGSegments(File, MetadataMarkers, IsAdobeColourSegment));
    }
    State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations()) * static_cast<std::int64_t>(Bytes.size()));
}

// What the file form cannot go below: one whole read into a buffer kept
// across calls, one write of the same bytes. Restored untimed like FileForm.
void FloorFile(benchmark::State& State, const fs::path& Directory)
{
    const TBytes Bytes = CameraFile(State.range(0) * MB, 13);
    const fs::path File = Directory / ("floor-" + std::to_string(State.range(0)) + ".jpg");
    const TAlignedBlock Buffer = MakeAlignedBlock(Bytes.size());
    for (auto _ : State) {
        State.PauseTiming();
        Restore(File, Bytes);
        State.ResumeTiming();
        std::int64_t Size;
        {
            TFileHandle In = OpenFileForReading(File);
            Size = In.Size();
            if (In.Read(Buffer.get(), Size) != Size)
                State.SkipWithError("short read");
        }
        TFileHandle Out = OpenFileForRewrite(File);
        if (Out.Write(Buffer.get(), Size) != Size)
            State.SkipWithError("short write");
    }
    State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations()) * static_cast<std::int64_t>(Bytes.size()));
}

// Only the loading half of the file form: the file read into a new stream.
void LoadFromFile(benchmark::State& State, const fs::path& Directory)
{
    const TBytes Bytes = CameraFile(State.range(0) * MB, 17);
    const fs::path File = Directory / ("load-" + std::to_string(State.range(0)) + ".jpg");
    Restore(File, Bytes);
    for (auto _ : State) {
        TMemoryStream Stream;
        Stream.LoadFromFile(File);
        benchmark::DoNotOptimize(Stream.Memory());
    }
    State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations()) * static_cast<std::int64_t>(Bytes.size()));
}

// One read of a cached 8 MB file into a buffer that starts range(0) bytes
// past a page boundary: 16 is where malloc puts a large block, such as the
// one a memory stream loads a file into.
void ReadAtOffset(benchmark::State& State, const fs::path& Directory)
{
    const TBytes Bytes = CameraFile(8 * MB, 19);
    const fs::path File = Directory / "read-at-offset.jpg";
    Restore(File, Bytes);
    const auto Offset = static_cast<std::size_t>(State.range(0));
    const TAlignedBlock Buffer = MakeAlignedBlock(Offset + Bytes.size());
    TFileHandle In = OpenFileForReading(File);
    for (auto _ : State) {
        In.Seek(0, TSeekOrigin::soBeginning);
        if (In.Read(Buffer.get() + Offset, static_cast<std::int64_t>(Bytes.size())) !=
            static_cast<std::int64_t>(Bytes.size()))
            State.SkipWithError("short read");
    }
    State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations()) * static_cast<std::int64_t>(Bytes.size()));
}

} // namespace

int main(int argc, char* argv[])
{
    benchmark::Initialize(&argc, argv);

    fs::path WorkRoot = fs::temp_directory_path();
    std::vector<char*> Unknown;
    constexpr std::string_view WorkDirFlag = "--work-dir=";
    for (int I = 1; I < argc; ++I) {
        const std::string_view Argument = argv[I];
        if (Argument.starts_with(WorkDirFlag))
            WorkRoot = Argument.substr(WorkDirFlag.size());
        else
            Unknown.push_back(argv[I]);
    }
    if (!Unknown.empty()) {
        std::fprintf(stderr, "%s: unknown argument %s\n", argv[0], Unknown.front());
        return 2;
    }
    const TScratchDirectory Scratch(WorkRoot / ("nimbrel-engine-bench-" + std::to_string(::getpid())));
    const fs::path& Directory = Scratch.Path();

    benchmark::RegisterBenchmark("Parser/segments", ParseManySegments)->Arg(16)->Arg(256);
    benchmark::RegisterBenchmark("StreamForm/to_gather/MB", StreamFormToGather)->Arg(4)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("StreamForm/to_memory/MB", StreamFormToMemory)->Arg(4)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("FileForm/MB", [&Directory](benchmark::State& State) { FileForm(State, Directory); })
        ->Arg(1)->Arg(8)->Unit(benchmark::kMicrosecond)->UseRealTime();
    benchmark::RegisterBenchmark("FloorFile/MB", [&Directory](benchmark::State& State) { FloorFile(State, Directory); })
        ->Arg(1)->Arg(8)->Unit(benchmark::kMicrosecond)->UseRealTime();
    benchmark::RegisterBenchmark("LoadFromFile/MB",
                                 [&Directory](benchmark::State& State) { LoadFromFile(State, Directory); })
        ->Arg(8)->Unit(benchmark::kMicrosecond)->UseRealTime();
    benchmark::RegisterBenchmark("ReadAtOffset/8MB/offset",
                                 [&Directory](benchmark::State& State) { ReadAtOffset(State, Directory); })
        ->Arg(0)->Arg(16)->Arg(64)->Unit(benchmark::kMicrosecond)->UseRealTime();

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
