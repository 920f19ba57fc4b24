#include "TestSupport.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>

#include <fstream>
#include <iterator>

namespace Fixture {

QByteArray Segment(unsigned char MarkerNum, const QByteArray& Payload)
{
    const int Length = Payload.size() + 2;
    QByteArray Result;
    Result.append(char(0xFF)).append(char(MarkerNum));
    Result.append(char(Length >> 8)).append(char(Length & 0xFF));
    return Result + Payload;
}

QByteArray App0Jfif()
{
    return Segment(0xE0, QByteArray("JFIF\0\x01\x02\x00\x00\x01\x00\x01\x00\x00", 14));
}

QByteArray App1Exif()
{
    return Segment(0xE1, QByteArray("Exif\0\0MM\0*\0\0\0\x08\0\0", 16));
}

QByteArray App13Iptc()
{
    return Segment(0xED, QByteArray("Photoshop 3.0\0008BIM\x04\x04\0\0\0\0\0\0", 26));
}

QByteArray AdobeApp14()
{
    // "Adobe", version 100, flags 0 and 0, colour transform 1 (YCbCr)
    return Segment(0xEE, QByteArray("Adobe\x00\x64\x00\x00\x00\x00\x01", 12));
}

QByteArray Dqt()
{
    QByteArray Table(1, '\0');
    for (int I = 1; I <= 64; ++I)
        Table.append(char(I));
    return Segment(0xDB, Table);
}

QByteArray ScanAndEnd()
{
    const QByteArray Sos = Segment(0xDA, QByteArray("\x01\x01\x00\x00\x3F\x00", 6));
    return Sos + QByteArray("\x12\x34\xFF\x00\x56\x78\xFF\xD9", 8);
}

QByteArray Jpeg(std::initializer_list<QByteArray> Segments)
{
    QByteArray Result("\xFF\xD8", 2);
    for (const QByteArray& S : Segments)
        Result += S;
    return Result + ScanAndEnd();
}

QByteArray JpegWithExif()
{
    return Jpeg({App0Jfif(), App1Exif(), Dqt()});
}

QByteArray JpegWithoutExif()
{
    return Jpeg({App0Jfif(), Dqt()});
}

void Write(const std::filesystem::path& File, const QByteArray& Content)
{
    std::ofstream Out(File, std::ios::binary | std::ios::trunc);
    Out.write(Content.constData(), Content.size());
    if (!Out)
        qFatal("cannot write a fixture file");
}

QByteArray Read(const std::filesystem::path& File)
{
    std::ifstream In(File, std::ios::binary);
    const std::string Content{std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
    return QByteArray::fromStdString(Content);
}

TScratchDir::TScratchDir() : FPath(QFile::encodeName(FDir.path()).toStdString())
{
    if (!FDir.isValid())
        qFatal("cannot create a temporary directory");
}

TScratchDir::~TScratchDir()
{
    std::error_code Ignored;
    std::filesystem::remove_all(FPath, Ignored);
}

} // namespace Fixture

QString DescribeStates(bool Erase, bool Abort, bool Exit, bool Select, bool Edit, bool SubDir)
{
    const auto State = [](const char* Name, bool Enabled) {
        return QString::fromLatin1(Name) + (Enabled ? " on" : " off");
    };
    return QStringList{State("Erase", Erase),   State("Abort", Abort), State("Exit", Exit),
                       State("Select", Select), State("Edit1", Edit),  State("SubDir", SubDir)}
        .join(", ");
}

QString TTestForm::States() const
{
    return DescribeStates(Control("Button2")->isEnabled(), Control("Button3")->isEnabled(),
                          Control("ButtonExit")->isEnabled(), Control("ButtonSelectDir")->isEnabled(),
                          Control("Edit1")->isEnabled(), Control("CheckBoxSubDir")->isEnabled());
}

QString TTestForm::Counters() const
{
    return QStringList{Text("LabelTotalFiles"), Text("LabelExifFiles"), Text("LabelNoExifFiles"),
                       Text("LabelErros")}
        .join(" | ");
}

TTestForm::TPhase TTestForm::Phase() const
{
    if (Control("Button2")->isEnabled())
        return TPhase::Idle;
    return Control("ButtonExit")->isEnabled() ? TPhase::Collecting : TPhase::Cleaning;
}

void TTestForm::Click(const char* ControlName)
{
    QTest::mouseClick(Control(ControlName), Qt::LeftButton);
}

void TTestForm::ClickWhenPumped(const char* ControlName)
{
    QWidget* Target = Control(ControlName);
    QMetaObject::invokeMethod(
        Target, [Target] { QTest::mouseClick(Target, Qt::LeftButton); }, Qt::QueuedConnection);
}

void TTestForm::Choose(const std::filesystem::path& Directory)
{
    PickerAnswers.push_back(Directory);
    Click("ButtonSelectDir");
}

void TTestForm::ProcessPendingMessages()
{
    ++Pumps;
    if (OnPump)
        OnPump();
    TForm1::ProcessPendingMessages();
}

std::optional<std::filesystem::path> TTestForm::ChooseDirectory()
{
    ++PickerOpened;
    if (PickerAnswers.empty())
        return std::nullopt;
    auto Answer = PickerAnswers.front();
    PickerAnswers.pop_front();
    return Answer;
}

void TTestForm::ShowMessage(const QString& Text)
{
    Messages.append(Text);
}

void TTestForm::OpenWebAddress(const QUrl& Address)
{
    OpenedAddresses.push_back(Address);
}

void TTestApplication::ShowError(const QString& Message)
{
    Errors.append(Message);
    if (ShowRealBox)
        TNimbrelApplication::ShowError(Message);
}
