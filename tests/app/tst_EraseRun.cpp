// The erase run as the user sees it: the controls of each phase, the counters
// and what happens to the files.

#include "File.h"
#include "TestSupport.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QTimer>

using namespace Fixture;
namespace fs = std::filesystem;

class TestEraseRun : public QObject {
    Q_OBJECT

private slots:
    void cleanup();

    void controlsFollowThePhases();
    void eraseWithoutDirectory();
    void threeFiles();
    void cleaningResults_data();
    void cleaningResults();
    void abortStopsBeforeTheNextFile();
    void closeIsHeldUntilTheRunEnds_data();
    void closeIsHeldUntilTheRunEnds();
    void closeOutsideRunIsImmediate();
    void secondRunRestartsCounters();
    void runCollectingNothingKeepsLabels_data();
    void runCollectingNothingKeepsLabels();
    void pickerDuringRunChangesOnlyTheNextRun();
};

namespace {

std::vector<fs::path> WriteExifFiles(const fs::path& Directory, int Count)
{
    std::vector<fs::path> Files;
    for (int I = 1; I <= Count; ++I) {
        Files.push_back(Directory / ("photo" + std::to_string(I) + ".jpg"));
        Write(Files.back(), JpegWithExif());
    }
    return Files;
}

int CountCleaned(const std::vector<fs::path>& Files)
{
    int Cleaned = 0;
    for (const auto& File : Files) {
        const QByteArray Content = Read(File);
        if (Content == JpegWithoutExif())
            ++Cleaned;
        else if (Content != JpegWithExif())
            qFatal("a file was damaged");
    }
    return Cleaned;
}

} // namespace

void TestEraseRun::cleanup()
{
    QCOMPARE(TTestApplication::Instance().Errors, QStringList());
    TTestApplication::Instance().Errors.clear();
}

void TestEraseRun::controlsFollowThePhases()
{
    // Three JPEG files, one per directory, among two others: the run lets
    // messages through after each of the three while collecting and after
    // each of them while cleaning, and nowhere else.
    TScratchDir Temp;
    const fs::path Root = PathOf(Temp);
    fs::create_directories(Root / "sub" / "deeper");
    Write(Root / "a.jpg", JpegWithExif());
    Write(Root / "notes.txt", "text");
    Write(Root / "sub" / "b.jpg", "not a picture");
    Write(Root / "sub" / "d.png", "png");
    Write(Root / "sub" / "deeper" / "c.jpeg", JpegWithExif());

    TTestForm Form;
    QCOMPARE(Form.States(), IdleStates);
    QVERIFY(Form.Control<QCheckBox>("CheckBoxSubDir")->isChecked());
    Form.Choose(Root);
    QCOMPARE(Form.States(), IdleStates);

    QStringList Seen;
    Form.OnPump = [&] { Seen.append(Form.States() + " / " + Form.Text("LabelTotalFiles")); };
    Form.Erase();

    const QStringList Expected{CollectingStates + " / 1", CollectingStates + " / 2", CollectingStates + " / 3",
                               CleaningStates + " / 1 of 3", CleaningStates + " / 1 of 3",
                               CleaningStates + " / 2 of 3"};
    QCOMPARE(Seen, Expected);
    QCOMPARE(Form.States(), IdleStates);
}

void TestEraseRun::eraseWithoutDirectory()
{
    TTestForm Form;
    int PumpsBefore = Form.Pumps;
    Form.Erase();
    QCOMPARE(Form.Messages, QStringList{"Please select a directory first"});
    QCOMPARE(Form.States(), IdleStates);
    QCOMPARE(Form.Counters(), QString("0 | 0 | 0 | 0"));
    QCOMPARE(Form.Pumps, PumpsBefore);
}

void TestEraseRun::threeFiles()
{
    // a.jpg has Exif, b.jpg is read-only, c.jpg is no JPEG at all. The
    // read-only file is one error, like the broken one, and it is also
    // counted among the read-only ones.
    TScratchDir Temp;
    const fs::path Root = PathOf(Temp);
    Write(Root / "a.jpg", JpegWithExif());
    Write(Root / "b.jpg", JpegWithExif());
    Write(Root / "c.jpg", "This is not a JPEG file.");
    QVERIFY(SetFileReadOnly(Root / "b.jpg", true));

    TTestForm Form;
    Form.Choose(Root);
    Form.Erase();

    QCOMPARE(Form.Text("LabelTotalFiles"), QString("1 of 3"));
    QCOMPARE(Form.Text("LabelExifFiles"), QString("1"));
    QCOMPARE(Form.Text("LabelNoExifFiles"), QString("0"));
    QCOMPARE(Form.Text("LabelErros"), QString("2 (1 are read only)"));
    QCOMPARE(Read(Root / "a.jpg"), JpegWithoutExif());
    QCOMPARE(Read(Root / "b.jpg"), JpegWithExif());
    QCOMPARE(Read(Root / "c.jpg"), QByteArray("This is not a JPEG file."));
    QVERIFY(Form.Messages.isEmpty());
}

void TestEraseRun::cleaningResults_data()
{
    QTest::addColumn<QByteArray>("Before");
    QTest::addColumn<QByteArray>("After");
    QTest::addColumn<QString>("ExpectedCounters");

    const QByteArray Plain = Jpeg({App0Jfif(), Dqt()});
    QTest::newRow("Exif goes") << JpegWithExif() << JpegWithoutExif() << "1 of 1 | 1 | 0 | 0 (0 are read only)";
    QTest::newRow("IPTC goes") << Jpeg({App0Jfif(), App13Iptc(), Dqt()}) << Plain
                               << "1 of 1 | 1 | 0 | 0 (0 are read only)";
    QTest::newRow("only JFIF: no exif") << Plain << Plain << "1 of 1 | 0 | 1 | 0 (0 are read only)";

    // The 12-byte Adobe segment stays; any other APP14 goes.
    const QByteArray WithAdobe = Jpeg({App0Jfif(), AdobeApp14(), Dqt()});
    QTest::newRow("Adobe segment stays") << WithAdobe << WithAdobe << "1 of 1 | 0 | 1 | 0 (0 are read only)";
    QTest::newRow("Adobe stays, Exif goes") << Jpeg({App0Jfif(), App1Exif(), AdobeApp14(), Dqt()}) << WithAdobe
                                            << "1 of 1 | 1 | 0 | 0 (0 are read only)";
    QTest::newRow("longer Adobe segment goes")
        << Jpeg({App0Jfif(), Segment(0xEE, QByteArray("Adobe\x00\x64\x00\x00\x00\x00\x01\x00", 13)), Dqt()})
        << Plain << "1 of 1 | 1 | 0 | 0 (0 are read only)";
    QTest::newRow("other 12-byte APP14 goes")
        << Jpeg({App0Jfif(), Segment(0xEE, QByteArray("Adobf\x00\x64\x00\x00\x00\x00\x01", 12)), Dqt()})
        << Plain << "1 of 1 | 1 | 0 | 0 (0 are read only)";

    QTest::newRow("empty file") << QByteArray() << QByteArray() << "0 of 1 | 0 | 0 | 1 (0 are read only)";
    QTest::newRow("ends inside Exif") << JpegWithExif().left(24) << JpegWithExif().left(24)
                                      << "0 of 1 | 0 | 0 | 1 (0 are read only)";
}

void TestEraseRun::cleaningResults()
{
    QFETCH(QByteArray, Before);
    QFETCH(QByteArray, After);
    QFETCH(QString, ExpectedCounters);

    TScratchDir Temp;
    const fs::path File = PathOf(Temp) / "photo.jpg";
    Write(File, Before);

    TTestForm Form;
    Form.Choose(PathOf(Temp));
    Form.Erase();

    QCOMPARE(Form.Counters(), ExpectedCounters);
    QCOMPARE(Read(File), After);
}

void TestEraseRun::abortStopsBeforeTheNextFile()
{
    TScratchDir Temp;
    const auto Files = WriteExifFiles(PathOf(Temp), 10);

    TTestForm Form;
    Form.Choose(PathOf(Temp));
    int CleaningPumps = 0;
    Form.OnPump = [&] {
        if (Form.Phase() == TTestForm::TPhase::Cleaning && ++CleaningPumps == 5) {
            QCOMPARE(CountCleaned(Files), 5);
            Form.ClickWhenPumped("Button3");
        }
    };
    Form.Erase();

    QCOMPARE(CleaningPumps, 5);
    QCOMPARE(Form.Text("LabelTotalFiles"), QString("5 of 10"));
    QCOMPARE(Form.Text("LabelExifFiles"), QString("5"));
    QCOMPARE(CountCleaned(Files), 5);
    QCOMPARE(Form.States(), IdleStates);
}

void TestEraseRun::closeIsHeldUntilTheRunEnds_data()
{
    QTest::addColumn<bool>("WhileCleaning");
    QTest::addColumn<bool>("ByExitButton");

    // Exit is disabled while cleaning; the window's own close is not.
    QTest::newRow("Exit while collecting") << false << true;
    QTest::newRow("window closed while collecting") << false << false;
    QTest::newRow("window closed while cleaning") << true << false;
}

void TestEraseRun::closeIsHeldUntilTheRunEnds()
{
    // The program runs its own event loop here, so that the test sees it end.
    QFETCH(bool, WhileCleaning);
    QFETCH(bool, ByExitButton);
    const auto Phase = WhileCleaning ? TTestForm::TPhase::Cleaning : TTestForm::TPhase::Collecting;

    TScratchDir Temp;
    const auto Files = WriteExifFiles(PathOf(Temp), 10);

    TTestForm Form;
    Form.Choose(PathOf(Temp));
    Form.show();

    int PhasePumps = 0;
    bool StillShownAfterRequest = false;
    Form.OnPump = [&] {
        if (Form.Phase() != Phase)
            return;
        ++PhasePumps;
        if (PhasePumps == 3) {
            if (ByExitButton)
                Form.ClickWhenPumped("ButtonExit");
            else
                QMetaObject::invokeMethod(&Form, [&Form] { Form.close(); }, Qt::QueuedConnection);
        } else if (PhasePumps == 4) {
            StillShownAfterRequest = Form.isVisible();
        }
    };

    QString CountersAtEnd;
    QString StatesAtEnd;
    const auto Connection = connect(qApp, &QGuiApplication::lastWindowClosed, [&] {
        CountersAtEnd = Form.Counters();
        StatesAtEnd = Form.States();
    });
    QTimer::singleShot(0, &Form, [&Form] { Form.Erase(); });
    QApplication::exec();
    disconnect(Connection);

    QVERIFY(StillShownAfterRequest);
    QCOMPARE(CountersAtEnd, QString("10 of 10 | 10 | 0 | 0 (0 are read only)"));
    QCOMPARE(StatesAtEnd, IdleStates);
    QCOMPARE(CountCleaned(Files), 10);
    QVERIFY(!Form.isVisible());
}

void TestEraseRun::closeOutsideRunIsImmediate()
{
    TTestForm Form;
    Form.show();
    QVERIFY(Form.close());
    QVERIFY(!Form.isVisible());
}

void TestEraseRun::secondRunRestartsCounters()
{
    TScratchDir First;
    Write(PathOf(First) / "a.jpg", JpegWithExif());
    Write(PathOf(First) / "b.jpg", JpegWithoutExif());
    Write(PathOf(First) / "c.jpg", "broken");
    TScratchDir Second;
    const auto Files = WriteExifFiles(PathOf(Second), 2);

    TTestForm Form;
    Form.Choose(PathOf(First));
    Form.Erase();
    QCOMPARE(Form.Counters(), QString("2 of 3 | 1 | 1 | 1 (0 are read only)"));

    // While the second run collects, only the scanned count starts again; the
    // others change with the first file cleaned.
    QStringList Seen;
    Form.OnPump = [&] { Seen.append(Form.Counters()); };
    Form.Choose(PathOf(Second));
    Form.Erase();

    const QStringList Expected{"1 | 1 | 1 | 1 (0 are read only)", "2 | 1 | 1 | 1 (0 are read only)",
                               "1 of 2 | 1 | 0 | 0 (0 are read only)", "2 of 2 | 2 | 0 | 0 (0 are read only)"};
    QCOMPARE(Seen, Expected);
    QCOMPARE(CountCleaned(Files), 2);
}

void TestEraseRun::runCollectingNothingKeepsLabels_data()
{
    QTest::addColumn<QString>("Case");
    QTest::newRow("empty directory") << "empty";
    QTest::newRow("no JPEG file") << "others";
    QTest::newRow("directory removed since chosen") << "removed";
}

void TestEraseRun::runCollectingNothingKeepsLabels()
{
    QFETCH(QString, Case);

    TScratchDir Temp;
    const fs::path Before = PathOf(Temp) / "before";
    const fs::path Target = PathOf(Temp) / "target";
    fs::create_directories(Before);
    fs::create_directories(Target);
    Write(Before / "a.jpg", JpegWithExif());
    if (Case == "others")
        Write(Target / "a.jpg.txt", JpegWithExif());

    TTestForm Form;
    Form.Choose(Before);
    Form.Erase();
    const QString Shown = Form.Counters();
    QCOMPARE(Shown, QString("1 of 1 | 1 | 0 | 0 (0 are read only)"));

    Form.Choose(Target);
    if (Case == "removed")
        fs::remove_all(Target);
    const int PumpsBefore = Form.Pumps;
    Form.Erase();

    QCOMPARE(Form.Counters(), Shown);
    QCOMPARE(Form.Pumps, PumpsBefore);
    QCOMPARE(Form.States(), IdleStates);
    QVERIFY(Form.Messages.isEmpty());
}

void TestEraseRun::pickerDuringRunChangesOnlyTheNextRun()
{
    // A click in the directory box opens the picker during a run too; the run
    // goes on with the files it has, and the next one uses the new folder.
    TScratchDir First;
    const auto FirstFiles = WriteExifFiles(PathOf(First), 3);
    TScratchDir Second;
    const auto SecondFiles = WriteExifFiles(PathOf(Second), 2);

    TTestForm Form;
    Form.Choose(PathOf(First));
    Form.OnPump = [&] {
        if (Form.Pumps == 1) {
            Form.PickerAnswers.push_back(PathOf(Second));
            Form.ClickWhenPumped("Edit1");
        }
    };
    Form.Erase();

    QCOMPARE(Form.PickerOpened, 2);
    QCOMPARE(Form.Text("LabelTotalFiles"), QString("3 of 3"));
    QCOMPARE(CountCleaned(FirstFiles), 3);
    QCOMPARE(CountCleaned(SecondFiles), 0);
    QCOMPARE(Form.Control<QLineEdit>("Edit1")->text(), QFile::decodeName(PathOf(Second).c_str()));

    Form.OnPump = nullptr;
    Form.Erase();
    QCOMPARE(Form.Text("LabelTotalFiles"), QString("2 of 2"));
    QCOMPARE(CountCleaned(SecondFiles), 2);
}

NIMBREL_TEST_MAIN(TestEraseRun)
#include "tst_EraseRun.moc"
