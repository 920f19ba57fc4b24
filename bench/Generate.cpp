// Writes the trees the benchmark runs on, and checks a tree afterwards.
//
//   nimbrel_bench_generate photos  --size-mb MB [--seed S] OUT
//       a photo library of about MB megabytes: camera-like JPEG files of 1 to
//       8 MB in nested folders (year / event / card), with a few sidecar
//       files that are not JPEG
//   nimbrel_bench_generate entries --entries N [--seed S] OUT
//       N directory entries (folders and small files), none of them a JPEG
//   nimbrel_bench_generate verify DIR
//       reads every .jpg/.jpeg below DIR and reports how many files, bytes
//       and APP1..APP15 bytes it holds, and how many are not well formed
//
// photos and entries print a manifest (key=value lines) on standard output;
// the same seed always gives the same tree. OUT must not exist yet.

#include "JpegSynth.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace fs = std::filesystem;
using namespace NimbrelBench;

namespace {

constexpr std::int64_t MB = 1 << 20;

struct TArguments {
    std::string Mode;
    std::optional<std::int64_t> SizeMB;
    std::optional<std::int64_t> Entries;
    std::uint64_t Seed = 1;
    fs::path Target;
};

std::int64_t ParseNumber(std::string_view Text, std::string_view Option)
{
    std::int64_t Value = 0;
    const auto [End, Error] = std::from_chars(Text.data(), Text.data() + Text.size(), Value);
    if (Error != std::errc() || End != Text.data() + Text.size() || Value < 0)
        throw std::invalid_argument("bad number for " + std::string(Option) + ": " + std::string(Text));
    return Value;
}

TArguments ParseArguments(int argc, char* argv[])
{
    if (argc < 2)
        throw std::invalid_argument("no mode given");
    TArguments Result;
    Result.Mode = argv[1];
    for (int I = 2; I < argc; ++I) {
        const std::string_view Argument = argv[I];
        auto Value = [&]() -> std::string_view {
            if (I + 1 >= argc)
                throw std::invalid_argument(std::string(Argument) + " needs a value");
            return argv[++I];
        };
        if (Argument == "--size-mb")
            Result.SizeMB = ParseNumber(Value(), Argument);
        else if (Argument == "--entries")
            Result.Entries = ParseNumber(Value(), Argument);
        else if (Argument == "--seed")
            Result.Seed = static_cast<std::uint64_t>(ParseNumber(Value(), Argument));
        else if (!Argument.empty() && Argument.front() == '-')
            throw std::invalid_argument("unknown option " + std::string(Argument));
        else if (Result.Target.empty())
            Result.Target = Argument;
        else
            throw std::invalid_argument("more than one directory given");
    }
    if (Result.Target.empty())
        throw std::invalid_argument("no directory given");
    return Result;
}

void WriteFile(const fs::path& Path, std::span<const std::uint8_t> Bytes)
{
    std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
    Out.write(reinterpret_cast<const char*>(Bytes.data()), static_cast<std::streamsize>(Bytes.size()));
    Out.close();
    if (!Out)
        throw std::runtime_error("cannot write " + Path.string());
}

void CreateFreshDirectory(const fs::path& Path)
{
    if (fs::exists(Path))
        throw std::runtime_error(Path.string() + " exists already");
    fs::create_directories(Path);
}

std::string Numbered(const char* Pattern, std::int64_t Number)
{
    std::array<char, 64> Buffer{};
    std::snprintf(Buffer.data(), Buffer.size(), Pattern, static_cast<long long>(Number));
    return Buffer.data();
}

// A photo library: year / "yyyy-mm-dd place" / card folder / IMG_nnnn.ext.
int WritePhotos(const TArguments& Arguments)
{
    if (!Arguments.SizeMB || *Arguments.SizeMB < 1)
        throw std::invalid_argument("photos needs --size-mb of at least 1");
    CreateFreshDirectory(Arguments.Target);

    static constexpr std::array<const char*, 6> Places{{"Lisbon", "Tromso", "Kyoto", "Valparaiso", "Tbilisi", "Hobart"}};
    static constexpr std::array<const char*, 4> Cards{{"100KORVL", "101ASTRB", "102LUMNK", "103PELLC"}};
    // Most cameras write upper case; editors and phones vary.
    static constexpr std::array<std::pair<int, const char*>, 4> Extensions{
        {{70, ".JPG"}, {20, ".jpg"}, {7, ".jpeg"}, {3, ".JPEG"}}};

    TRandom Random(Arguments.Seed);
    const std::int64_t Target = *Arguments.SizeMB * MB;
    std::int64_t Bytes = 0, MetadataBytes = 0, MetadataFiles = 0, Largest = 0, Files = 0, OtherFiles = 0,
                 Directories = 0;

    int Year = 2015, Event = 0;
    std::int64_t LeftInFolder = 0;
    fs::path Folder;
    while (Bytes < Target) {
        if (LeftInFolder == 0) {
            // A new event every few dozen pictures, a new year every few events.
            if (Event > 0 && Random.Chance(30))
                ++Year;
            ++Event;
            const std::string EventName = Numbered("%04lld-", Year) +
                                          Numbered("%02lld-", Random.Between(1, 12)) +
                                          Numbered("%02lld ", Random.Between(1, 28)) +
                                          Places[static_cast<std::size_t>(Random.Between(0, Places.size() - 1))] +
                                          Numbered(" %lld", Event);
            Folder = Arguments.Target / std::to_string(Year) / EventName /
                     Cards[static_cast<std::size_t>(Random.Between(0, Cards.size() - 1))];
            for (fs::path Up = Folder; Up != Arguments.Target && !fs::exists(Up); Up = Up.parent_path())
                ++Directories;
            fs::create_directories(Folder);
            LeftInFolder = Random.Between(3, 25);
        }
        --LeftInFolder;

        int Roll = static_cast<int>(Random.Between(0, 99));
        const char* Extension = Extensions.back().second;
        for (const auto& [Percent, Name] : Extensions) {
            if (Roll < Percent) {
                Extension = Name;
                break;
            }
            Roll -= Percent;
        }

        TPhotoOptions Options;
        // The last file takes what is left, so the tree comes out close to
        // its size.
        Options.TargetSize = std::max(1 * MB, std::min(Random.Between(1 * MB, 8 * MB), Target - Bytes));
        Options.WithMetadata = !Random.Chance(5); // some were cleaned before
        Options.Serial = static_cast<std::uint32_t>(Files + 1);
        TRandom FileRandom = Random.Fork();
        TPhotoFacts Facts;
        const TBytes Jpeg = MakeCameraJpeg(FileRandom, Options, &Facts);
        const std::string Stem = Numbered("IMG_%04lld", Files + 1);
        WriteFile(Folder / (Stem + Extension), Jpeg);

        ++Files;
        Bytes += Facts.Size;
        Largest = std::max(Largest, Facts.Size);
        if (Facts.HasMetadata()) {
            ++MetadataFiles;
            MetadataBytes += Facts.MetadataSize;
        }
        // Sidecars that a cleaner must leave alone.
        if (Random.Chance(12)) {
            const std::string Sidecar = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"/>\n";
            WriteFile(Folder / (Stem + ".xmp"),
                      std::span(reinterpret_cast<const std::uint8_t*>(Sidecar.data()), Sidecar.size()));
            ++OtherFiles;
        }
    }

    std::cout << "files=" << Files << '\n'
              << "bytes=" << Bytes << '\n'
              << "metadata_files=" << MetadataFiles << '\n'
              << "metadata_bytes=" << MetadataBytes << '\n'
              << "largest=" << Largest << '\n'
              << "directories=" << Directories << '\n'
              << "other_files=" << OtherFiles << '\n';
    return 0;
}

// Directory entries without a JPEG among them: a fan-out of folders, ten to a
// level, and small files spread over all of them.
int WriteEntries(const TArguments& Arguments)
{
    if (!Arguments.Entries || *Arguments.Entries < 1)
        throw std::invalid_argument("entries needs --entries of at least 1");
    CreateFreshDirectory(Arguments.Target);

    // Names that come close to the wanted extensions without being one.
    static constexpr std::array<const char*, 12> Suffixes{
        {".txt", ".png", ".raw", ".xmp", ".jpg.txt", ".jpe", ".jp", ".JPGX", ".jpeg~", "", ".mov", ".heic"}};
    constexpr int FanOut = 10;

    const std::int64_t Total = *Arguments.Entries;
    int Depth = 0;
    std::int64_t Directories = 0;
    for (std::int64_t Level = FanOut; Directories + Level <= Total / 20; Level *= FanOut) {
        Directories += Level;
        ++Depth;
    }

    std::vector<fs::path> Folders{Arguments.Target};
    std::vector<fs::path> Parents{Arguments.Target};
    for (int Level = 0; Level < Depth; ++Level) {
        std::vector<fs::path> Children;
        for (const auto& Parent : Parents)
            for (int I = 0; I < FanOut; ++I) {
                Children.push_back(Parent / Numbered("folder%02lld", I));
                fs::create_directory(Children.back());
            }
        Folders.insert(Folders.end(), Children.begin(), Children.end());
        Parents = std::move(Children);
    }

    TRandom Random(Arguments.Seed);
    const std::int64_t Files = Total - Directories;
    TBytes Content;
    for (std::int64_t I = 0; I < Files; ++I) {
        const fs::path& Folder = Folders[static_cast<std::size_t>(I % static_cast<std::int64_t>(Folders.size()))];
        const std::string Name = Numbered("item%06lld", I) +
                                 Suffixes[static_cast<std::size_t>(Random.Between(0, Suffixes.size() - 1))];
        Content.assign(static_cast<std::size_t>(Random.Between(0, 64)), static_cast<std::uint8_t>('x'));
        WriteFile(Folder / Name, Content);
    }

    std::cout << "entries=" << Total << '\n'
              << "directories=" << Directories << '\n'
              << "files=" << Files << '\n';
    return 0;
}

bool IsJpegName(const fs::path& Path)
{
    std::string Extension = Path.extension().string();
    std::transform(Extension.begin(), Extension.end(), Extension.begin(),
                   [](char C) { return C >= 'A' && C <= 'Z' ? static_cast<char>(C - 'A' + 'a') : C; });
    return Extension == ".jpg" || Extension == ".jpeg";
}

int Verify(const TArguments& Arguments)
{
    std::int64_t Files = 0, Bytes = 0, MetadataBytes = 0, Malformed = 0;
    for (const auto& Entry : fs::recursive_directory_iterator(Arguments.Target)) {
        if (!Entry.is_regular_file() || !IsJpegName(Entry.path()))
            continue;
        TBytes Content(static_cast<std::size_t>(Entry.file_size()));
        std::ifstream In(Entry.path(), std::ios::binary);
        In.read(reinterpret_cast<char*>(Content.data()), static_cast<std::streamsize>(Content.size()));
        if (!In)
            throw std::runtime_error("cannot read " + Entry.path().string());
        ++Files;
        Bytes += static_cast<std::int64_t>(Content.size());
        const std::int64_t Metadata = MetadataBytesInHeader(Content);
        const bool EndsWithEOI = Content.size() >= 2 && Content[Content.size() - 2] == 0xFF && Content.back() == 0xD9;
        if (Metadata < 0 || !EndsWithEOI)
            ++Malformed;
        else
            MetadataBytes += Metadata;
    }
    std::cout << "files=" << Files << '\n'
              << "bytes=" << Bytes << '\n'
              << "metadata_bytes=" << MetadataBytes << '\n'
              << "malformed=" << Malformed << '\n';
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    try {
        const TArguments Arguments = ParseArguments(argc, argv);
        if (Arguments.Mode == "photos")
            return WritePhotos(Arguments);
        if (Arguments.Mode == "entries")
            return WriteEntries(Arguments);
        if (Arguments.Mode == "verify")
            return Verify(Arguments);
        throw std::invalid_argument("unknown mode " + Arguments.Mode);
    } catch (const std::invalid_argument& Error) {
        std::cerr << argv[0] << ": " << Error.what() << "\nusage: " << argv[0]
                  << " photos --size-mb MB [--seed S] OUT | entries --entries N [--seed S] OUT | verify DIR\n";
        return 2;
    } catch (const std::exception& Error) {
        std::cerr << argv[0] << ": " << Error.what() << '\n';
        return 1;
    }
}
