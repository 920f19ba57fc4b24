// The least that cleaning a photo tree in place can cost: every .jpg/.jpeg
// below DIR (names compared without regard to letter case, folders whose
// name starts with a dot left out, as the cleaner does) is read whole into
// memory and the same bytes are written back over it. One open and one read,
// one open and one write per file, through the same platform calls the
// cleaner uses.
//
//   nimbrel_bench_floor [--fresh-buffer] [--buffer-offset N] [--cut-bytes N] DIR
//
// By default one buffer serves every file; --fresh-buffer takes a new block
// for each file, as a cleaner that loads each file into its own stream does.
// The buffer starts on a page boundary (see AlignedBlock.h), or N bytes past
// one with --buffer-offset (16 is where malloc puts a large block).
// With --cut-bytes each file is written back without its last N bytes and
// cut to that length, as a cleaner that removes N bytes must: what shrinking
// a file costs on the file system (freeing its last blocks) is then counted.
// The files are damaged by that, so it is for scratch copies only.
// Prints key=value lines: files, bytes, errors, and run_wall / run_cpu, the
// seconds from the start of collection to the last write.

#include "AlignedBlock.h"
#include "Directory.h"
#include "File.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string_view>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool IsJpegName(const fs::path& Name)
{
    const std::string& Native = Name.native();
    const auto Dot = Native.rfind('.');
    if (Dot == std::string::npos)
        return false;
    std::string Extension = Native.substr(Dot);
    for (char& C : Extension)
        if (C >= 'A' && C <= 'Z')
            C = static_cast<char>(C - 'A' + 'a');
    return Extension == ".jpg" || Extension == ".jpeg";
}

void Collect(const fs::path& Directory, std::vector<fs::path>& Files)
{
    std::vector<fs::path> SubDirectories;
    {
        TDirectoryEnumerator Entries(Directory, TFindMask::faAnyFile);
        TDirectoryEntry Entry;
        while (Entries.Next(Entry)) {
            if (Entry.IsDirectory) {
                if (Entry.Name.native().front() != '.')
                    SubDirectories.push_back(Directory / Entry.Name);
            } else if (IsJpegName(Entry.Name)) {
                Files.push_back(Directory / Entry.Name);
            }
        }
    }
    for (const auto& SubDirectory : SubDirectories)
        Collect(SubDirectory, Files);
}

// A buffer that is either kept across files or taken anew for each, starting
// Offset bytes past a page boundary.
class TBuffer {
public:
    TBuffer(bool Fresh, std::size_t Offset) : FFresh(Fresh), FOffset(Offset) {}
    std::uint8_t* Get(std::int64_t Size)
    {
        if (FFresh || Size > FCapacity) {
            FBlock.reset(); // the old block goes before the new one comes
            FBlock = NimbrelBench::MakeAlignedBlock(FOffset + static_cast<std::size_t>(Size));
            FCapacity = Size;
        }
        return FBlock.get() + FOffset;
    }

private:
    bool FFresh;
    std::size_t FOffset;
    NimbrelBench::TAlignedBlock FBlock;
    std::int64_t FCapacity = 0;
};

// Reads the file whole and writes it back, Cut bytes shorter; false on any
// failure.
bool Rewrite(const fs::path& File, TBuffer& Buffer, std::int64_t Cut, std::int64_t& Bytes)
{
    std::int64_t Size;
    std::uint8_t* Data;
    {
        TFileHandle In = OpenFileForReading(File);
        Size = In.Size();
        if (Size < 0)
            return false;
        Data = Buffer.Get(Size);
        if (In.Read(Data, Size) != Size)
            return false;
    }
    const std::int64_t Keep = Size > Cut ? Size - Cut : 0;
    TFileHandle Out = OpenFileForRewrite(File);
    if (Out.Write(Data, Keep) != Keep)
        return false;
    if (Keep < Size && !Out.Truncate(Keep))
        return false;
    Bytes += Keep;
    return true;
}

template <typename T>
bool ParseNumber(std::string_view Text, T& Value)
{
    const auto [End, Error] = std::from_chars(Text.data(), Text.data() + Text.size(), Value);
    return Error == std::errc() && End == Text.data() + Text.size() && !(Value < T{0});
}

double CpuSeconds()
{
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

} // namespace

int main(int argc, char* argv[])
{
    bool Fresh = false;
    std::size_t Offset = 0;
    std::int64_t Cut = 0;
    fs::path Directory;
    bool Usable = true;
    for (int I = 1; I < argc; ++I) {
        const std::string_view Argument = argv[I];
        if (Argument == "--fresh-buffer") {
            Fresh = true;
        } else if (Argument == "--buffer-offset" && I + 1 < argc) {
            Usable = Usable && ParseNumber(argv[++I], Offset) && Offset < NimbrelBench::PageAlignment;
        } else if (Argument == "--cut-bytes" && I + 1 < argc) {
            Usable = Usable && ParseNumber(argv[++I], Cut);
        } else if (Directory.empty() && !Argument.empty() && Argument.front() != '-') {
            Directory = Argument;
        } else {
            Usable = false;
        }
    }
    if (!Usable || Directory.empty()) {
        std::fprintf(stderr, "usage: %s [--fresh-buffer] [--buffer-offset N] [--cut-bytes N] DIR\n", argv[0]);
        return 2;
    }

    const auto WallStart = std::chrono::steady_clock::now();
    const double CpuStart = CpuSeconds();

    std::vector<fs::path> Files;
    Collect(Directory, Files);
    TBuffer Buffer(Fresh, Offset);
    std::int64_t Bytes = 0, Errors = 0;
    for (const auto& File : Files) {
        try {
            if (!Rewrite(File, Buffer, Cut, Bytes))
                ++Errors;
        } catch (const std::exception&) {
            ++Errors;
        }
    }

    const double Wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - WallStart).count();
    const double Cpu = CpuSeconds() - CpuStart;
    std::printf("files=%zu\nbytes=%lld\nerrors=%lld\nrun_wall=%.6f\nrun_cpu=%.6f\n", Files.size(),
                static_cast<long long>(Bytes), static_cast<long long>(Errors), Wall, Cpu);
    return Errors == 0 ? 0 : 1;
}
