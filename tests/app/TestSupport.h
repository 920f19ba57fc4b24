// What the window tests share: small JPEG files built byte by byte, a form
// whose dialogs and message pump the tests control, and an application
// object that records the errors it would show.
#pragma once

#include "NimbrelApplication.h"
#include "Unit1.h"

#include <QByteArray>
#include <QLabel>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <deque>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <optional>
#include <vector>

namespace Fixture {

// FF, the marker number, the big-endian length field and the payload.
QByteArray Segment(unsigned char MarkerNum, const QByteArray& Payload);

QByteArray App0Jfif();
QByteArray App1Exif(); // a tiny Exif block: TIFF header and an empty directory
QByteArray App13Iptc();
QByteArray AdobeApp14(); // the 12-byte Adobe segment of the DCT coders
QByteArray Dqt();
// SOS with a few entropy-coded bytes (a stuffed FF 00 among them) and EOI.
QByteArray ScanAndEnd();

// FF D8, the given segments, then ScanAndEnd().
QByteArray Jpeg(std::initializer_list<QByteArray> Segments);
// The usual camera file: APP0, APP1, DQT, the scan.
QByteArray JpegWithExif();
// The same without its APP1: what JpegWithExif() becomes once cleaned.
QByteArray JpegWithoutExif();

void Write(const std::filesystem::path& File, const QByteArray& Content);
QByteArray Read(const std::filesystem::path& File);

// A directory of its own for one test, removed with everything in it, names
// that are not valid UTF-8 included (which QTemporaryDir cannot remove).
class TScratchDir {
public:
    TScratchDir();
    ~TScratchDir();
    TScratchDir(const TScratchDir&) = delete;
    TScratchDir& operator=(const TScratchDir&) = delete;
    const std::filesystem::path& Path() const { return FPath; }

private:
    QTemporaryDir FDir;
    std::filesystem::path FPath;
};

inline const std::filesystem::path& PathOf(const TScratchDir& Directory)
{
    return Directory.Path();
}

} // namespace Fixture

// How the six controls that a run locks and unlocks stand, as one string, so
// that a mismatch shows every control at once.
QString DescribeStates(bool Erase, bool Abort, bool Exit, bool Select, bool Edit, bool SubDir);
inline const QString IdleStates = DescribeStates(true, false, true, true, true, true);
inline const QString CollectingStates = DescribeStates(false, false, true, false, true, false);
inline const QString CleaningStates = DescribeStates(false, true, false, false, true, false);

class TTestForm : public TForm1 {
public:
    enum class TPhase { Idle, Collecting, Cleaning };

    template <typename T = QWidget> T* Control(const char* Name) const
    {
        T* Widget = findChild<T*>(QLatin1String(Name));
        if (!Widget)
            qFatal("no control named %s", Name);
        return Widget;
    }
    QString Text(const char* LabelName) const { return Control<QLabel>(LabelName)->text(); }
    QString States() const;
    // The four counter labels, as "LabelTotalFiles | LabelExifFiles | ...".
    QString Counters() const;
    // Read from the controls: the phase of the run the window is in.
    TPhase Phase() const;

    // A left click, as the user makes it.
    void Click(const char* ControlName);
    // The same click, made while the run lets pending messages through.
    void ClickWhenPumped(const char* ControlName);

    // Picks Directory through Select, as the user would in the picker.
    void Choose(const std::filesystem::path& Directory);
    // Presses Erase; returns when the run is over.
    void Erase() { Click("Button2"); }

    // Answers the picker gives, oldest first; an empty one is a cancel.
    std::deque<std::optional<std::filesystem::path>> PickerAnswers;
    int PickerOpened = 0;
    QStringList Messages;
    std::vector<QUrl> OpenedAddresses;

    // Called every time the run lets pending messages through, before they
    // are processed.
    std::function<void()> OnPump;
    int Pumps = 0;

protected:
    void ProcessPendingMessages() override;
    std::optional<std::filesystem::path> ChooseDirectory() override;
    void ShowMessage(const QString& Text) override;
    void OpenWebAddress(const QUrl& Address) override;
};

// Keeps the error display from blocking a test: the messages are recorded
// instead, unless ShowRealBox is set.
class TTestApplication : public TNimbrelApplication {
public:
    using TNimbrelApplication::TNimbrelApplication;
    static TTestApplication& Instance() { return *static_cast<TTestApplication*>(qApp); }

    QStringList Errors;
    bool ShowRealBox = false;

protected:
    void ShowError(const QString& Message) override;
};

// Runs the test class under the program's own application object.
#define NIMBREL_TEST_MAIN(TestClass)                                                                         \
    int main(int argc, char** argv)                                                                          \
    {                                                                                                        \
        TTestApplication Application(argc, argv);                                                            \
        TestClass Test;                                                                                      \
        return QTest::qExec(&Test, argc, argv);                                                              \
    }
