// Which files a run collects, and in what order it cleans them.

#include "TestSupport.h"

#include <QCheckBox>

#include <algorithm>
#include <set>

#include <sys/stat.h>

using namespace Fixture;
namespace fs = std::filesystem;

class TestCollection : public QObject {
    Q_OBJECT

private slots:
    void cleanup();

    void whatIsCollected_data();
    void whatIsCollected();
    void filesBeforeSubdirectoriesDepthFirst();
    void onlyTheTopDirectoryWithoutSubdirectories();
    void directoryLinksAreWalkedOnce_data();
    void directoryLinksAreWalkedOnce();
};

namespace {

// Records, at every message pump of the cleaning phase, which of Files has
// just been cleaned: the order in which the run took them.
void RecordCleaningOrder(TTestForm& Form, const std::vector<fs::path>& Files, std::vector<fs::path>& Order)
{
    Form.OnPump = [&Form, &Files, &Order] {
        if (Form.Phase() != TTestForm::TPhase::Cleaning)
            return;
        for (const auto& File : Files)
            if (Read(File) == JpegWithoutExif() && std::find(Order.begin(), Order.end(), File) == Order.end())
                Order.push_back(File);
    };
}

} // namespace

void TestCollection::cleanup()
{
    QCOMPARE(TTestApplication::Instance().Errors, QStringList());
    TTestApplication::Instance().Errors.clear();
}

void TestCollection::whatIsCollected_data()
{
    // One entry per directory: a file, a directory holding "inner.jpg", or a
    // named pipe. The name is raw bytes, so that it need not be UTF-8.
    QTest::addColumn<QByteArray>("Name");
    QTest::addColumn<QString>("Kind");
    QTest::addColumn<bool>("Recurse");
    QTest::addColumn<bool>("Collected");

    QTest::newRow("A.JPG") << QByteArray("A.JPG") << "file" << true << true;
    QTest::newRow("b.jpeg") << QByteArray("b.jpeg") << "file" << true << true;
    QTest::newRow("mixed case .JpEg") << QByteArray("x.JpEg") << "file" << true << true;
    QTest::newRow("c.Jpe") << QByteArray("c.Jpe") << "file" << true << false;
    QTest::newRow("d.jpg.txt") << QByteArray("d.jpg.txt") << "file" << true << false;
    QTest::newRow("no dot: jpg") << QByteArray("jpg") << "file" << true << false;
    QTest::newRow("only an extension: .jpg") << QByteArray(".jpg") << "file" << true << true;
    QTest::newRow("hidden .x.jpg") << QByteArray(".x.jpg") << "file" << true << true;
    QTest::newRow("non-ASCII capital is not folded") << QByteArray("e.JP\xC4\x9E") << "file" << true << false;
    QTest::newRow("Latin-1 name, not UTF-8") << QByteArray("caf\xE9.jpg") << "file" << true << true;

    QTest::newRow("directory album.jpg, recursing") << QByteArray("album.jpg") << "dir" << true << true;
    QTest::newRow("directory album.jpg, not recursing") << QByteArray("album.jpg") << "dir" << false << false;
    QTest::newRow("directory .thumbs") << QByteArray(".thumbs") << "dir" << true << false;
    QTest::newRow("directory thumbs") << QByteArray("thumbs") << "dir" << true << true;
    QTest::newRow("directory not UTF-8") << QByteArray("Fotos \xFF") << "dir" << true << true;

    QTest::newRow("named pipe p.jpg") << QByteArray("p.jpg") << "fifo" << true << true;
}

void TestCollection::whatIsCollected()
{
    QFETCH(QByteArray, Name);
    QFETCH(QString, Kind);
    QFETCH(bool, Recurse);
    QFETCH(bool, Collected);

    TScratchDir Temp;
    const fs::path Entry = PathOf(Temp) / Name.toStdString();
    fs::path Photo = Entry;
    if (Kind == "dir") {
        fs::create_directory(Entry);
        Photo = Entry / "inner.jpg";
    }
    if (Kind == "fifo") {
#ifdef Q_OS_UNIX
        QCOMPARE(::mkfifo(Entry.c_str(), 0600), 0);
#else
        QSKIP("named pipes are a POSIX thing");
#endif
    } else {
        Write(Photo, JpegWithExif());
    }

    TTestForm Form;
    Form.Choose(PathOf(Temp));
    Form.Control<QCheckBox>("CheckBoxSubDir")->setChecked(Recurse);
    Form.Erase();

    if (Kind == "fifo") {
        // Collected like any file of that name; it cannot be opened as one,
        // and that is an error, not a window that hangs.
        QCOMPARE(Form.Counters(), QString("0 of 1 | 0 | 0 | 1 (0 are read only)"));
    } else if (Collected) {
        QCOMPARE(Form.Counters(), QString("1 of 1 | 1 | 0 | 0 (0 are read only)"));
        QCOMPARE(Read(Photo), JpegWithoutExif());
    } else {
        QCOMPARE(Form.Counters(), QString("0 | 0 | 0 | 0"));
        QCOMPARE(Read(Photo), JpegWithExif());
    }
}

void TestCollection::filesBeforeSubdirectoriesDepthFirst()
{
    // D: x1.jpg, x2.jpg, s1/ (y.jpg, t/ (z.jpg)), s2/ (w.jpg). The file
    // system decides the order within a directory; whatever it is, the
    // files of a directory come before its subdirectories, and a
    // subdirectory's whole tree comes before the next subdirectory.
    TScratchDir Temp;
    const fs::path D = PathOf(Temp);
    fs::create_directories(D / "s1" / "t");
    fs::create_directories(D / "s2");
    const fs::path X1 = D / "x1.jpg", X2 = D / "x2.jpg", Y = D / "s1" / "y.jpg", Z = D / "s1" / "t" / "z.jpg",
                   W = D / "s2" / "w.jpg";
    const std::vector<fs::path> Files{X1, X2, Y, Z, W};
    for (const auto& File : Files)
        Write(File, JpegWithExif());

    TTestForm Form;
    Form.Choose(D);
    std::vector<fs::path> Order;
    RecordCleaningOrder(Form, Files, Order);
    Form.Erase();

    QCOMPARE(Order.size(), std::size_t(5));
    QCOMPARE((std::set<fs::path>{Order[0], Order[1]}), (std::set<fs::path>{X1, X2}));
    const std::vector<fs::path> Rest(Order.begin() + 2, Order.end());
    const std::vector<fs::path> S1First{Y, Z, W}, S2First{W, Y, Z};
    QVERIFY(Rest == S1First || Rest == S2First);
    QCOMPARE(Form.Text("LabelTotalFiles"), QString("5 of 5"));
}

void TestCollection::onlyTheTopDirectoryWithoutSubdirectories()
{
    TScratchDir Temp;
    const fs::path D = PathOf(Temp);
    fs::create_directories(D / "sub");
    Write(D / "top.jpg", JpegWithExif());
    Write(D / "sub" / "below.jpg", JpegWithExif());

    TTestForm Form;
    Form.Choose(D);
    Form.Click("CheckBoxSubDir");
    QVERIFY(!Form.Control<QCheckBox>("CheckBoxSubDir")->isChecked());
    Form.Erase();

    QCOMPARE(Form.Text("LabelTotalFiles"), QString("1 of 1"));
    QCOMPARE(Read(D / "top.jpg"), JpegWithoutExif());
    QCOMPARE(Read(D / "sub" / "below.jpg"), JpegWithExif());
}

void TestCollection::directoryLinksAreWalkedOnce_data()
{
    // Links are followed, but no directory is walked twice in a run. The
    // cases are kept apart: a walk without that rule would go round the
    // cycle until the system refuses the path, and with a second link in the
    // same tree it would branch at every turn and never end.
    QTest::addColumn<QString>("Links");
    QTest::addColumn<int>("Expected");

    QTest::newRow("D/sub/up leads back to D") << "cycle" << 2;
    QTest::newRow("D/alias is a second way into D/sub, D/elsewhere leads out") << "alias" << 3;
}

void TestCollection::directoryLinksAreWalkedOnce()
{
    QFETCH(QString, Links);
    QFETCH(int, Expected);

    // D: x.jpg, sub/ (y.jpg); E outside D: z.jpg
    TScratchDir Temp;
    const fs::path D = PathOf(Temp) / "D";
    const fs::path E = PathOf(Temp) / "E";
    fs::create_directories(D / "sub");
    fs::create_directories(E);
    Write(D / "x.jpg", JpegWithExif());
    Write(D / "sub" / "y.jpg", JpegWithExif());
    Write(E / "z.jpg", JpegWithExif());
    std::vector<fs::path> Reached{D / "x.jpg", D / "sub" / "y.jpg"};
    if (Links == "cycle") {
        fs::create_directory_symlink(D, D / "sub" / "up");
    } else {
        fs::create_directory_symlink(D / "sub", D / "alias");
        fs::create_directory_symlink(E, D / "elsewhere");
        Reached.push_back(E / "z.jpg");
    }

    TTestForm Form;
    Form.Choose(D);
    Form.Erase();

    const QString Count = QString::number(Expected);
    QCOMPARE(Form.Counters(), Count + " of " + Count + " | " + Count + " | 0 | 0 (0 are read only)");
    for (const auto& File : Reached)
        QCOMPARE(Read(File), JpegWithoutExif());
}

NIMBREL_TEST_MAIN(TestCollection)
#include "tst_Collection.moc"
