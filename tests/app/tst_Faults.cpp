// Real faults of the file system and the machine met by a run of the window:
// files that change under the run, folders and files the user may not read,
// a file larger than the memory the process may use, entries that are not
// regular files, paths longer than the system accepts and a very large tree.
// Whatever happens, every file is either cleaned or keeps its content, the
// run goes on to the next file, the counters say what happened and the window
// ends idle.
//
// The permission cases mean something only for a user without root; the
// build also runs this program as such a user when it is built as root.

#include "Exceptions.h"
#include "File.h"
#include "Streams.h"
#include "Sanitizers.h"
#include "TestSupport.h"

#include <QScopeGuard>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Fixture;
namespace fs = std::filesystem;

namespace {

bool RunsAsRoot()
{
    return ::geteuid() == 0;
}

// "cleaned of total | with metadata | without | errors (read-only)", as
// TTestForm::Counters() reads the four labels.
QString CountersOf(int Cleaned, int Total, int Exif, int NoExif, int Errors, int ReadOnly)
{
    return QString("%1 of %2 | %3 | %4 | %5 (%6 are read only)")
        .arg(Cleaned)
        .arg(Total)
        .arg(Exif)
        .arg(NoExif)
        .arg(Errors)
        .arg(ReadOnly);
}

// The head of a camera file: start of image, JFIF, Exif and a table.
QByteArray JpegHead()
{
    return QByteArray("\xFF\xD8", 2) + App0Jfif() + App1Exif() + Dqt();
}

QByteArray ReadHead(const fs::path& File, qsizetype Count)
{
    std::ifstream In(File, std::ios::binary);
    QByteArray Head(Count, '\0');
    In.read(Head.data(), Count);
    Head.resize(In.gcount());
    return Head;
}

// An open file descriptor, closed when it goes.
class TFd {
public:
    explicit TFd(int Fd = -1) : FFd(Fd) {}
    TFd(TFd&& Other) noexcept : FFd(std::exchange(Other.FFd, -1)) {}
    TFd& operator=(TFd&& Other) noexcept
    {
        std::swap(FFd, Other.FFd);
        return *this;
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    ~TFd()
    {
        if (FFd >= 0)
            ::close(FFd);
    }
    int Get() const { return FFd; }
    bool IsOpen() const { return FFd >= 0; }
    int Release() { return std::exchange(FFd, -1); }

private:
    int FFd;
};

struct TDirCloser {
    void operator()(DIR* Listing) const { ::closedir(Listing); }
};

TFd OpenDirectoryAt(int ParentFd, const std::string& Name)
{
    return TFd(::openat(ParentFd, Name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

bool WriteAt(int DirFd, const std::string& Name, const QByteArray& Content)
{
    TFd File(::openat(DirFd, Name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    return File.IsOpen() && ::write(File.Get(), Content.constData(), Content.size()) == Content.size();
}

QByteArray ReadAt(int DirFd, const std::string& Name)
{
    TFd File(::openat(DirFd, Name.c_str(), O_RDONLY | O_CLOEXEC));
    QByteArray Content;
    if (!File.IsOpen())
        return Content;
    char Buffer[4096];
    ssize_t Got;
    while ((Got = ::read(File.Get(), Buffer, sizeof Buffer)) > 0)
        Content.append(Buffer, Got);
    return Content;
}

// Removes Name below ParentFd with everything in it, one step at a time, so
// that a tree deeper than any full path the system accepts goes too.
void RemoveTreeAt(int ParentFd, const std::string& Name)
{
    if (TFd Directory = OpenDirectoryAt(ParentFd, Name); Directory.IsOpen()) {
        std::vector<std::string> Entries;
        TFd Copy(::dup(Directory.Get()));
        const std::unique_ptr<DIR, TDirCloser> Listing(Copy.IsOpen() ? ::fdopendir(Copy.Get()) : nullptr);
        if (Listing) {
            Copy.Release(); // the listing owns it now
            while (const dirent* Found = ::readdir(Listing.get()))
                if (std::strcmp(Found->d_name, ".") != 0 && std::strcmp(Found->d_name, "..") != 0)
                    Entries.emplace_back(Found->d_name);
        }
        for (const auto& EntryName : Entries)
            if (::unlinkat(Directory.Get(), EntryName.c_str(), 0) != 0)
                RemoveTreeAt(Directory.Get(), EntryName);
        ::unlinkat(ParentFd, Name.c_str(), AT_REMOVEDIR);
    } else {
        ::unlinkat(ParentFd, Name.c_str(), 0);
    }
}

// Gives a file or folder the mode it had again when it goes, so that the
// scratch directory can be read and removed.
class TModeChange {
public:
    TModeChange(fs::path Path, mode_t Mode) : FPath(std::move(Path))
    {
        struct stat Info {};
        FValid = ::stat(FPath.c_str(), &Info) == 0 && ::chmod(FPath.c_str(), Mode) == 0;
        FOld = Info.st_mode & 07777;
    }
    TModeChange(const TModeChange&) = delete;
    TModeChange& operator=(const TModeChange&) = delete;
    ~TModeChange() { Undo(); }
    bool Valid() const { return FValid; }
    void Undo()
    {
        if (FValid)
            ::chmod(FPath.c_str(), FOld);
        FValid = false;
    }

private:
    fs::path FPath;
    mode_t FOld = 0;
    bool FValid = false;
};

// Lowers the soft limit of the process's address space for as long as it
// lives; the old limit comes back when it goes.
class TAddressSpaceLimit {
public:
    explicit TAddressSpaceLimit(rlim_t Bytes)
    {
        FValid = ::getrlimit(RLIMIT_AS, &FOld) == 0;
        rlimit Lowered = FOld;
        Lowered.rlim_cur = Bytes;
        if (FOld.rlim_max != RLIM_INFINITY && FOld.rlim_max < Bytes)
            Lowered.rlim_cur = FOld.rlim_max;
        FValid = FValid && ::setrlimit(RLIMIT_AS, &Lowered) == 0;
    }
    TAddressSpaceLimit(const TAddressSpaceLimit&) = delete;
    TAddressSpaceLimit& operator=(const TAddressSpaceLimit&) = delete;
    ~TAddressSpaceLimit()
    {
        if (FValid)
            ::setrlimit(RLIMIT_AS, &FOld);
    }
    bool Valid() const { return FValid; }

private:
    rlimit FOld{};
    bool FValid = false;
};

// The address space the process has mapped now.
std::uint64_t MappedBytes()
{
    std::ifstream Statm("/proc/self/statm");
    std::uint64_t Pages = 0;
    Statm >> Pages;
    return Pages * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
}

// The most memory the process has held at once so far.
std::uint64_t PeakResidentBytes()
{
    rusage Usage{};
    ::getrusage(RUSAGE_SELF, &Usage);
    return static_cast<std::uint64_t>(Usage.ru_maxrss) * 1024;
}

enum class TChange { Deleted, Renamed, ReplacedByDirectory };
enum class TNode { NamedPipe, Socket, CharacterDevice };

} // namespace

Q_DECLARE_METATYPE(TChange)
Q_DECLARE_METATYPE(TNode)

class TestFaults : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void fileChangedAfterCollection_data();
    void fileChangedAfterCollection();
    void folderWithoutPermission_data();
    void folderWithoutPermission();
    void fileWithoutPermission_data();
    void fileWithoutPermission();
    void fileLargerThanMemory();
    void notARegularFile_data();
    void notARegularFile();
    void pathsBeyondTheLimit_data();
    void pathsBeyondTheLimit();
    void hundredThousandEntries();
};

void TestFaults::initTestCase()
{
    if (RunsAsRoot())
        qInfo("running as root: permissions do not keep root from reading, so the permission cases check "
              "what still holds for root; a run as an ordinary user checks the rest");
    else
        qInfo("running as uid %u: the permission cases check what an ordinary user meets", ::geteuid());
}

void TestFaults::cleanup()
{
    QCOMPARE(TTestApplication::Instance().Errors, QStringList());
    TTestApplication::Instance().Errors.clear();
}

void TestFaults::fileChangedAfterCollection_data()
{
    QTest::addColumn<TChange>("Change");
    QTest::newRow("deleted") << TChange::Deleted;
    QTest::newRow("renamed") << TChange::Renamed;
    QTest::newRow("replaced by a directory") << TChange::ReplacedByDirectory;
}

void TestFaults::fileChangedAfterCollection()
{
    // The top folder's file comes first in the list, the two below it after
    // it. The change happens once all three are collected, before the first
    // is cleaned.
    QFETCH(TChange, Change);
    TScratchDir Temp;
    const fs::path Root = PathOf(Temp);
    const fs::path Target = Root / "target.jpg";
    const fs::path Renamed = Root / "target.renamed";
    const std::vector<fs::path> Later{Root / "sub" / "later1.jpg", Root / "sub" / "later2.jpg"};
    fs::create_directory(Root / "sub");
    Write(Target, JpegWithExif());
    for (const auto& File : Later)
        Write(File, JpegWithExif());

    TTestForm Form;
    Form.Choose(Root);
    bool Changed = false;
    QStringList ErrorsWhileCleaning;
    Form.OnPump = [&] {
        if (Form.Phase() == TTestForm::TPhase::Collecting && Form.Text("LabelTotalFiles") == "3" && !Changed) {
            Changed = true;
            switch (Change) {
            case TChange::Deleted:
                fs::remove(Target);
                break;
            case TChange::Renamed:
                fs::rename(Target, Renamed);
                break;
            case TChange::ReplacedByDirectory:
                fs::remove(Target);
                fs::create_directory(Target);
                Write(Target / "inside.jpg", JpegWithExif());
                break;
            }
        }
        if (Form.Phase() == TTestForm::TPhase::Cleaning)
            ErrorsWhileCleaning.append(Form.Text("LabelErros"));
    };
    Form.Erase();

    QVERIFY(Changed);
    // The error is counted when the first file is done, and the two after it
    // are still cleaned.
    QCOMPARE(ErrorsWhileCleaning, QStringList(3, "1 (0 are read only)"));
    QCOMPARE(Form.Counters(), CountersOf(2, 3, 2, 0, 1, 0));
    for (const auto& File : Later)
        QCOMPARE(Read(File), JpegWithoutExif());
    switch (Change) {
    case TChange::Deleted:
        QVERIFY(!fs::exists(Target));
        break;
    case TChange::Renamed:
        QVERIFY(!fs::exists(Target));
        QCOMPARE(Read(Renamed), JpegWithExif());
        break;
    case TChange::ReplacedByDirectory:
        QVERIFY(fs::is_directory(Target));
        QCOMPARE(Read(Target / "inside.jpg"), JpegWithExif());
        break;
    }
    QCOMPARE(Form.States(), IdleStates);
    QVERIFY(Form.Messages.isEmpty());
}

void TestFaults::folderWithoutPermission_data()
{
    QTest::addColumn<int>("Mode");
    QTest::addColumn<QString>("AsUser");

    // Without read permission the folder cannot be listed: what is in it and
    // below it is not collected, and nothing counts as an error. Without
    // search permission its names can still be listed but none of them can
    // be opened: its photo is collected and fails, so the user learns that a
    // photo was left as it was; its subfolder cannot be entered.
    QTest::newRow("no read") << 0300 << CountersOf(2, 2, 2, 0, 0, 0);
    QTest::newRow("no search") << 0600 << CountersOf(2, 3, 2, 0, 1, 0);
    QTest::newRow("neither") << 0000 << CountersOf(2, 2, 2, 0, 0, 0);
}

void TestFaults::folderWithoutPermission()
{
    // Whatever the folder allows, the rest of the tree is cleaned and what is
    // inside the folder keeps its content.
    QFETCH(int, Mode);
    QFETCH(QString, AsUser);
    TScratchDir Temp;
    const fs::path Root = PathOf(Temp);
    const fs::path Locked = Root / "locked";
    const std::vector<fs::path> Inside{Locked / "inside.jpg", Locked / "deeper" / "below.jpg"};
    const std::vector<fs::path> Outside{Root / "a.jpg", Root / "open" / "b.jpg"};
    fs::create_directories(Locked / "deeper");
    fs::create_directory(Root / "open");
    for (const auto& File : Inside)
        Write(File, JpegWithExif());
    for (const auto& File : Outside)
        Write(File, JpegWithExif());

    TModeChange Lock(Locked, static_cast<mode_t>(Mode));
    QVERIFY(Lock.Valid());
    TTestForm Form;
    Form.Choose(Root);
    Form.Erase();
    Lock.Undo();

    QCOMPARE(Form.States(), IdleStates);
    for (const auto& File : Outside)
        QCOMPARE(Read(File), JpegWithoutExif());
    if (RunsAsRoot()) {
        qInfo("as root the folder is read all the same: every file is cleaned");
        QCOMPARE(Form.Counters(), CountersOf(4, 4, 4, 0, 0, 0));
        for (const auto& File : Inside)
            QCOMPARE(Read(File), JpegWithoutExif());
    } else {
        QCOMPARE(Form.Counters(), AsUser);
        for (const auto& File : Inside)
            QCOMPARE(Read(File), JpegWithExif());
    }
}

void TestFaults::fileWithoutPermission_data()
{
    QTest::addColumn<int>("Mode");
    QTest::addColumn<QString>("AsUser");
    QTest::addColumn<QString>("AsRoot");
    QTest::addColumn<bool>("KeptByRoot");

    // Without read permission the file cannot be loaded: one error. Without
    // the owner's write permission it is read-only too, which keeps even root
    // from rewriting it.
    QTest::newRow("write only") << 0200 << CountersOf(1, 2, 1, 0, 1, 0) << CountersOf(2, 2, 2, 0, 0, 0) << false;
    QTest::newRow("no permission at all")
        << 0000 << CountersOf(1, 2, 1, 0, 1, 1) << CountersOf(1, 2, 1, 0, 1, 1) << true;
}

void TestFaults::fileWithoutPermission()
{
    QFETCH(int, Mode);
    QFETCH(QString, AsUser);
    QFETCH(QString, AsRoot);
    QFETCH(bool, KeptByRoot);
    TScratchDir Temp;
    const fs::path Root = PathOf(Temp);
    const fs::path Locked = Root / "locked.jpg";
    const fs::path After = Root / "sub" / "after.jpg";
    fs::create_directory(Root / "sub");
    Write(Locked, JpegWithExif());
    Write(After, JpegWithExif());

    TModeChange Lock(Locked, static_cast<mode_t>(Mode));
    QVERIFY(Lock.Valid());
    TTestForm Form;
    Form.Choose(Root);
    Form.Erase();
    Lock.Undo();

    QCOMPARE(Form.States(), IdleStates);
    QCOMPARE(Read(After), JpegWithoutExif());
    if (RunsAsRoot()) {
        qInfo("as root only the missing write permission keeps the file from being cleaned");
        QCOMPARE(Form.Counters(), AsRoot);
        QCOMPARE(Read(Locked), KeptByRoot ? JpegWithExif() : JpegWithoutExif());
    } else {
        QCOMPARE(Form.Counters(), AsUser);
        QCOMPARE(Read(Locked), JpegWithExif());
    }
}

void TestFaults::fileLargerThanMemory()
{
    if (UnderAddressSanitizer)
        QSKIP("AddressSanitizer reserves far more address space than any limit this test could set");

    // 8 GiB that take no room on the disk: a camera file's head, then a hole.
    // The process may map only half a gigabyte more than it already has.
    TScratchDir Temp;
    const fs::path Root = PathOf(Temp);
    const fs::path Large = Root / "large.jpg";
    const fs::path Next = Root / "sub" / "next.jpg";
    const std::uintmax_t LargeSize = std::uintmax_t(8) << 30;
    fs::create_directory(Root / "sub");
    Write(Large, JpegHead());
    fs::resize_file(Large, LargeSize);
    Write(Next, JpegWithExif());

    TTestForm Form;
    Form.Choose(Root);
    {
        const std::uint64_t Limit = MappedBytes() + (std::uint64_t(512) << 20);
        QVERIFY(Limit < LargeSize / 2);
        TAddressSpaceLimit Lowered(Limit);
        QVERIFY(Lowered.Valid());
        // The limit is what the file runs into.
        TMemoryStream Probe;
        QVERIFY_THROWS_EXCEPTION(EOutOfMemory, Probe.LoadFromFile(Large));
        Form.Erase();
    }

    QCOMPARE(Form.Counters(), CountersOf(1, 2, 1, 0, 1, 0));
    QCOMPARE(fs::file_size(Large), LargeSize);
    QCOMPARE(ReadHead(Large, JpegHead().size() + 64), JpegHead() + QByteArray(64, '\0'));
    QCOMPARE(Read(Next), JpegWithoutExif());
    QCOMPARE(Form.States(), IdleStates);
}

void TestFaults::notARegularFile_data()
{
    QTest::addColumn<TNode>("Node");
    QTest::newRow("named pipe") << TNode::NamedPipe;
    QTest::newRow("socket") << TNode::Socket;
    QTest::newRow("character device") << TNode::CharacterDevice;
}

void TestFaults::notARegularFile()
{
    // Nothing writes to the pipe and nothing listens on the socket: a run
    // that waited for either would never end.
    QFETCH(TNode, Node);
    TScratchDir Temp;
    const fs::path Root = PathOf(Temp);
    const fs::path Special = Root / "special.jpg";
    const fs::path After = Root / "sub" / "after.jpg";
    fs::create_directory(Root / "sub");
    Write(After, JpegWithExif());

    mode_t Kind = 0;
    switch (Node) {
    case TNode::NamedPipe:
        Kind = S_IFIFO;
        QVERIFY2(::mkfifo(Special.c_str(), 0644) == 0, std::strerror(errno));
        break;
    case TNode::Socket: {
        Kind = S_IFSOCK;
        sockaddr_un Address{};
        Address.sun_family = AF_UNIX;
        QVERIFY2(Special.native().size() < sizeof Address.sun_path, "the scratch directory's path is too long");
        std::strcpy(Address.sun_path, Special.c_str());
        TFd Socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        QVERIFY(Socket.IsOpen());
        QVERIFY2(::bind(Socket.Get(), reinterpret_cast<const sockaddr*>(&Address), sizeof Address) == 0,
                 std::strerror(errno));
        QVERIFY(::chmod(Special.c_str(), 0644) == 0);
        break;
    }
    case TNode::CharacterDevice:
        Kind = S_IFCHR;
        if (!RunsAsRoot())
            QSKIP("only root may make a device node; the run as root checks this row");
        // The same device as /dev/null.
        if (::mknod(Special.c_str(), S_IFCHR | 0644, ::makedev(1, 3)) != 0)
            QSKIP(qPrintable(QString("this machine does not let even root make a device node: ") +
                             std::strerror(errno)));
        break;
    }

    TTestForm Form;
    Form.Choose(Root);
    Form.Erase();

    QCOMPARE(Form.Counters(), CountersOf(1, 2, 1, 0, 1, 0));
    QCOMPARE(Read(After), JpegWithoutExif());
    struct stat Info {};
    QCOMPARE(::lstat(Special.c_str(), &Info), 0);
    QCOMPARE(Info.st_mode & S_IFMT, Kind);
    QCOMPARE(Form.States(), IdleStates);
}

void TestFaults::pathsBeyondTheLimit_data()
{
    // Where the folder nearest below the limit ends: its full path's length.
    QTest::addColumn<int>("LastListable");
    QTest::newRow("files clear of the limit") << PATH_MAX - 1 - 120;
    QTest::newRow("a file's own name crosses it") << PATH_MAX - 3;
}

void TestFaults::pathsBeyondTheLimit()
{
    // A chain of folders with long names and a photo in each, going on well
    // past the longest full path the system accepts (PATH_MAX bytes, its
    // terminating zero included). The program reaches files by their full
    // path, so what it observes is:
    // - the folders whose full path the system still accepts are listed, and
    //   their photos are cleaned;
    // - a deeper folder cannot be listed: the walk passes over it and all
    //   below it without an error, and those photos are not touched;
    // - a photo in a folder that can still be listed but whose own full path
    //   is too long is collected, cannot be opened, and counts as one error;
    //   it keeps its content.
    // Either way the walk completes and the window ends idle.
    QFETCH(int, LastListable);
    TScratchDir Temp;
    const fs::path Root = PathOf(Temp);
    const std::string Photo = "p.jpg";
    constexpr int Step = 251; // a separator and a name of 250 characters
    const std::string Name(Step - 1, 'd');

    // The first folder's name sets where the later ones end: one of them
    // ends exactly at LastListable.
    const int RootLength = static_cast<int>(Root.native().size());
    int PadLength = (LastListable - RootLength - 1) % Step;
    if (PadLength == 0)
        PadLength = Step;
    const std::string Pad(PadLength, 'p');

    TFd RootFd(::open(Root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    QVERIFY(RootFd.IsOpen());
    QVERIFY(::mkdirat(RootFd.Get(), Pad.c_str(), 0755) == 0);
    const auto Removal = qScopeGuard([&] { RemoveTreeAt(RootFd.Get(), Pad); });

    // Folder lengths: Pad, then one step more for each folder below it.
    std::vector<int> FolderLengths;
    std::vector<TFd> Folders;
    Folders.push_back(OpenDirectoryAt(RootFd.Get(), Pad));
    FolderLengths.push_back(RootLength + 1 + PadLength);
    while (FolderLengths.back() <= PATH_MAX + 2 * Step) {
        QVERIFY(::mkdirat(Folders.back().Get(), Name.c_str(), 0755) == 0);
        TFd Below = OpenDirectoryAt(Folders.back().Get(), Name);
        QVERIFY(Below.IsOpen());
        Folders.push_back(std::move(Below));
        FolderLengths.push_back(FolderLengths.back() + Step);
    }
    for (const TFd& Folder : Folders)
        QVERIFY(WriteAt(Folder.Get(), Photo, JpegWithExif()));

    int Listable = 0;
    int Reachable = 0;
    for (const int Length : FolderLengths) {
        Listable += Length < PATH_MAX;
        Reachable += Length + 1 + static_cast<int>(Photo.size()) < PATH_MAX;
    }
    QVERIFY(Listable > 0 && Listable < int(Folders.size()));
    QCOMPARE(FolderLengths[Listable - 1], LastListable);

    TTestForm Form;
    Form.Choose(Root);
    Form.Erase();

    const int Errors = Listable - Reachable;
    QCOMPARE(Form.Counters(), CountersOf(Reachable, Listable, Reachable, 0, Errors, 0));
    for (int I = 0; I < int(Folders.size()); ++I)
        QCOMPARE(ReadAt(Folders[I].Get(), Photo), I < Reachable ? JpegWithoutExif() : JpegWithExif());
    QCOMPARE(Form.States(), IdleStates);
}

void TestFaults::hundredThousandEntries()
{
    // 1,000 folders of 100 files each. Three folders in ten hold one photo,
    // all the rest are other files.
    constexpr int FolderCount = 1000;
    constexpr int FilesPerFolder = 100;
    TScratchDir Temp;
    const fs::path Root = PathOf(Temp);
    const auto Other = [](int Folder, int File) {
        return QByteArray("entry ") + QByteArray::number(Folder) + '/' + QByteArray::number(File);
    };
    const auto FolderName = [](int Folder) { return "f" + std::to_string(Folder); };
    const auto FileName = [](int File) { return "n" + std::to_string(File) + (File % 2 ? ".txt" : ".png"); };
    const auto HasPhoto = [](int Folder) { return Folder % 10 < 3; };

    TFd RootFd(::open(Root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    QVERIFY(RootFd.IsOpen());
    int Photos = 0;
    for (int Folder = 0; Folder < FolderCount; ++Folder) {
        QVERIFY(::mkdirat(RootFd.Get(), FolderName(Folder).c_str(), 0755) == 0);
        TFd FolderFd = OpenDirectoryAt(RootFd.Get(), FolderName(Folder));
        QVERIFY(FolderFd.IsOpen());
        int File = 0;
        if (HasPhoto(Folder)) {
            QVERIFY(WriteAt(FolderFd.Get(), "photo.jpg", JpegWithExif()));
            ++Photos;
            ++File;
        }
        for (; File < FilesPerFolder; ++File)
            QVERIFY(WriteAt(FolderFd.Get(), FileName(File), Other(Folder, File)));
    }

    TTestForm Form;
    Form.Choose(Root);
    const std::uint64_t PeakBefore = PeakResidentBytes();
    Form.Erase();
    const std::uint64_t Growth = PeakResidentBytes() - PeakBefore;

    // Collected once each: a photo collected twice would be cleaned a second
    // time and count as one without metadata.
    QCOMPARE(Form.Counters(), CountersOf(Photos, Photos, Photos, 0, 0, 0));
    for (int Folder = 0; Folder < FolderCount; ++Folder)
        if (HasPhoto(Folder))
            QCOMPARE(Read(Root / FolderName(Folder) / "photo.jpg"), JpegWithoutExif());
    for (const auto& [Folder, File] : {std::pair{0, 1}, {1, 2}, {499, 50}, {999, 99}})
        QCOMPARE(Read(Root / FolderName(Folder) / FileName(File)), Other(Folder, File));
    QVERIFY2(Growth < (std::uint64_t(100) << 20),
             qPrintable(QString("the run's peak memory grew by %1 bytes").arg(Growth)));
    QCOMPARE(Form.States(), IdleStates);
}

NIMBREL_TEST_MAIN(TestFaults)
#include "tst_Faults.moc"
