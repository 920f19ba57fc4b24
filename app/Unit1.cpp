#include "Unit1.h"
#include "ui_Unit1.h"

#include "NimbrelApplication.h"

#include "Directory.h"
#include "Exceptions.h"
#include "Exif.JPEGUtils.h"
#include "File.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMouseEvent>
#include <QScopeGuard>
#include <QScreen>
#include <QUrl>

namespace {

// The application segments APP1..APP15. APP0 carries the JFIF header and stays.
const TJPEGMarkers MetadataMarkers = TJPEGMarkers::Range(JPEGMarker::APP1, JPEGMarker::APP15);

// During a run the progress area is drawn at most once per frame of a 60 Hz
// display. Its labels still change after every file, and everything else
// that is pending is handled every time; only the drawing waits.
constexpr qint64 FrameMilliseconds = 16;

// Compared with a name's extension once its letters A..Z are lower-cased.
const std::array<std::filesystem::path, 2> Extensions = {".jpeg", ".jpg"};

// The extension as the collection understands it: from the last dot to the
// end, so that a name that is only ".jpg" has one. std::filesystem's own
// extension() would call that name a stem.
std::filesystem::path::string_type ExtensionOf(const std::filesystem::path& Name)
{
    using TString = std::filesystem::path::string_type;
    const TString& Native = Name.native();
    const auto Dot = Native.rfind('.');
    if (Dot == TString::npos)
        return {};
    TString Result = Native.substr(Dot);
    for (auto& Ch : Result)
        if (Ch >= 'A' && Ch <= 'Z')
            Ch = static_cast<TString::value_type>(Ch - 'A' + 'a');
    return Result;
}

bool StartsWithDot(const std::filesystem::path& Name)
{
    return !Name.native().empty() && Name.native().front() == '.';
}

// Paths travel as std::filesystem::path from the picker to the engine; only
// what is shown is converted, and a name that is not valid in the system's
// encoding shows replacement characters there but is used as it is.
QString DisplayName(const std::filesystem::path& Path)
{
    if constexpr (std::is_same_v<std::filesystem::path::value_type, char>)
        return QFile::decodeName(QByteArray::fromStdString(Path.native()));
    else
        return QString::fromStdWString(Path.wstring());
}

std::filesystem::path PathFromQt(const QString& Name)
{
    if constexpr (std::is_same_v<std::filesystem::path::value_type, char>)
        return std::filesystem::path(QFile::encodeName(Name).toStdString());
    else
        return std::filesystem::path(Name.toStdWString());
}

// A handler as Qt calls it: what it throws is shown, and goes no further.
template <typename THandler> auto Guarded(TForm1* Form, THandler Handler)
{
    return [Form, Handler] { TNimbrelApplication::RunHandler([Form, Handler] { (Form->*Handler)(); }); };
}

// Designer stores point sizes; the layout is drawn for pixel heights, so they
// are pinned here and the window looks the same at any screen resolution.
void SetFontPixelSize(QWidget* Widget, int PixelSize)
{
    QFont Font = Widget->font();
    Font.setPixelSize(PixelSize);
    Widget->setFont(Font);
}

} // namespace

TForm1::TForm1(QWidget* Parent) : QWidget(Parent), ui(std::make_unique<Ui::Form1>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    SetFontPixelSize(this, 11);
    SetFontPixelSize(ui->Label4, 24);

    // The captions size themselves to their text; the counters keep the width
    // they were given. The web address keeps its right edge at the window's
    // margin, whatever width the font gives it.
    for (QLabel* Caption : {ui->Label4, ui->Label3, ui->LabelCleanedFiles, ui->Label11, ui->Label12})
        Caption->adjustSize();
    const int WebAddressRight = ui->Label5->geometry().right();
    ui->Label5->adjustSize();
    ui->Label5->move(WebAddressRight - ui->Label5->width() + 1, ui->Label5->y());

    ui->Edit1->installEventFilter(this);
    ui->Label5->installEventFilter(this);

    connect(ui->Button2, &QPushButton::clicked, this, Guarded(this, &TForm1::Button2Click));
    connect(ui->Button3, &QPushButton::clicked, this, Guarded(this, &TForm1::Button3Click));
    connect(ui->ButtonSelectDir, &QPushButton::clicked, this, Guarded(this, &TForm1::ButtonSelectDirClick));
    connect(ui->ButtonExit, &QPushButton::clicked, this, Guarded(this, &TForm1::ButtonExitClick));
}

TForm1::~TForm1() = default;

void TForm1::CleanFile(const std::filesystem::path& FileName)
{
    // A read-only file is still handed to the engine: its rewrite fails, and
    // the run counts that failure as the file's one error.
    if (FileIsReadOnly(FileName).value_or(false))
        ++ReadOnlyFiles;

    // The Adobe segment of an APP14 only tells decoders how the colours were
    // transformed; without it a CMYK picture shows the wrong colours.
    const TJPEGMarkers Removed = RemoveJPEGSegments(FileName, MetadataMarkers, IsAdobeColourSegment);
    if (!Removed.Empty())
        ++ExifFiles;
    else
        ++NoExifFiles;
}

void TForm1::CollectFiles(TFileList& List, std::filesystem::path Directory, const TExtensions& Extensions,
                          bool Recurse, TVisitedDirectories& Visited)
{
    // Links to directories are followed, so a link back to an ancestor would
    // lead round in a circle: a directory is walked at most once per run.
    if (const auto Id = FileIdOf(Directory)) {
        if (!Visited.insert(*Id).second)
            return;
    }

    TDirectoryEntry Entry;
    {
        TDirectoryEnumerator Files(Directory, TFindMask::faNonDirectories);
        while (Files.Next(Entry)) {
            const auto Extension = ExtensionOf(Entry.Name);
            for (const auto& Wanted : Extensions) {
                if (Extension == Wanted.native()) {
                    List.push_back(Directory / Entry.Name);
                    ++TotalFiles;
                    ui->LabelTotalFiles->setText(QString::number(TotalFiles));
                    ProcessPendingMessages();
                }
            }
        }
    }
    if (!Recurse)
        return;

    // The subdirectories are listed in full before the first is entered, so
    // that no enumeration stays open during the descent. Names starting with
    // a dot are left out: ".", "..", and folders such as ".thumbs".
    TFileList SubDirectories;
    {
        TDirectoryEnumerator All(Directory, TFindMask::faAnyFile);
        while (All.Next(Entry))
            if (Entry.IsDirectory && !StartsWithDot(Entry.Name))
                SubDirectories.push_back(Directory / Entry.Name);
    }
    for (const auto& SubDirectory : SubDirectories)
        CollectFiles(List, SubDirectory, Extensions, Recurse, Visited);
}

void TForm1::Button2Click()
{
    if (Dir.empty()) {
        ShowMessage(QStringLiteral("Please select a directory first"));
        return;
    }

    // However the run ends, the window goes back to its idle state, and a
    // close that was asked for meanwhile takes effect once this handler has
    // returned.
    FInRun = true;
    const auto RestoreIdle = qScopeGuard([this] {
        Running = false;
        ui->Button3->setEnabled(false);
        ui->ButtonExit->setEnabled(true);
        ui->ButtonSelectDir->setEnabled(true);
        ui->Button2->setEnabled(true);
        ui->CheckBoxSubDir->setEnabled(true);
        ui->GroupBox2->setUpdatesEnabled(true); // shows the final counts
        FInRun = false;
        if (FCloseRequested) {
            FCloseRequested = false;
            QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
        }
    });

    ui->ButtonSelectDir->setEnabled(false);
    ui->Button2->setEnabled(false);
    ui->CheckBoxSubDir->setEnabled(false);
    ui->GroupBox2->setUpdatesEnabled(false);
    FLastFrame.invalidate();
    Running = true;

    TFileList List;
    TotalFiles = 0;
    ExifFiles = 0;
    NoExifFiles = 0;
    ErrorFiles = 0;
    CurrentFile = 0;
    ReadOnlyFiles = 0;

    TVisitedDirectories Visited;
    CollectFiles(List, Dir, Extensions, ui->CheckBoxSubDir->isChecked(), Visited);

    ui->Button3->setEnabled(true);
    ui->ButtonExit->setEnabled(false);

    const std::size_t Count = List.size();
    for (std::size_t I = 0; I < Count; ++I) {
        if (!Running)
            break;
        try {
            CleanFile(List[I]);
            ++CurrentFile;
        } catch (const Exception&) {
            ++ErrorFiles;
        }
        ui->LabelTotalFiles->setText(QString::number(CurrentFile) + " of " + QString::number(TotalFiles));
        ui->LabelExifFiles->setText(QString::number(ExifFiles));
        ui->LabelNoExifFiles->setText(QString::number(NoExifFiles));
        ui->LabelErros->setText(QString::number(ErrorFiles) + " (" + QString::number(ReadOnlyFiles) +
                                " are read only)");
        ProcessPendingMessages();
    }
}

void TForm1::Button3Click()
{
    Running = false;
}

void TForm1::ButtonSelectDirClick()
{
    if (const auto Chosen = ChooseDirectory()) {
        ui->Edit1->setText(DisplayName(*Chosen));
        Dir = *Chosen;
    }
}

void TForm1::Label5Click()
{
    OpenWebAddress(QUrl(ui->Label5->text()));
}

void TForm1::ButtonExitClick()
{
    close();
}

void TForm1::ProcessPendingMessages()
{
    const bool DrawProgress = FInRun && (!FLastFrame.isValid() || FLastFrame.elapsed() >= FrameMilliseconds);
    if (DrawProgress) {
        ui->GroupBox2->setUpdatesEnabled(true); // asks for the progress area to be drawn
        FLastFrame.start();
    }
    QCoreApplication::processEvents();
    if (DrawProgress)
        ui->GroupBox2->setUpdatesEnabled(false);
}

std::optional<std::filesystem::path> TForm1::ChooseDirectory()
{
    // No folder is preselected, whatever Dir holds; read-only keeps the
    // dialog from creating (or renaming, or deleting) folders.
    QFileDialog Dialog(this, QStringLiteral("Select a directory"));
    Dialog.setFileMode(QFileDialog::Directory);
    Dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::ReadOnly);
    if (Dialog.exec() != QDialog::Accepted || Dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return PathFromQt(Dialog.selectedFiles().constFirst());
}

void TForm1::ShowMessage(const QString& Text)
{
    QMessageBox Box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), Text, QMessageBox::Ok, this);
    Box.exec();
}

void TForm1::OpenWebAddress(const QUrl& Address)
{
    QDesktopServices::openUrl(Address);
}

bool TForm1::eventFilter(QObject* Watched, QEvent* Event)
{
    // Neither a line edit nor a label has a click of its own: a left-button
    // release inside the control counts as one.
    if (Event->type() == QEvent::MouseButtonRelease) {
        const auto* Mouse = static_cast<QMouseEvent*>(Event);
        const auto* Control = qobject_cast<QWidget*>(Watched);
        if (Mouse->button() == Qt::LeftButton && Control && Control->rect().contains(Mouse->position().toPoint())) {
            if (Watched == ui->Edit1)
                Guarded(this, &TForm1::ButtonSelectDirClick)();
            else if (Watched == ui->Label5)
                Guarded(this, &TForm1::Label5Click)();
        }
    }
    return QWidget::eventFilter(Watched, Event);
}

void TForm1::closeEvent(QCloseEvent* Event)
{
    // A run is never cut short by a close: it is noted, and the run ends it.
    if (FInRun) {
        FCloseRequested = true;
        Event->ignore();
        return;
    }
    Event->accept();
}

void TForm1::showEvent(QShowEvent* Event)
{
    // Centred on the whole desktop, the area spanned by all screens, the first
    // time the window appears.
    if (!FPlaced) {
        FPlaced = true;
        if (const QScreen* Screen = screen()) {
            QRect Frame = frameGeometry();
            Frame.moveCenter(Screen->virtualGeometry().center());
            move(Frame.topLeft());
        }
    }
    QWidget::showEvent(Event);
}
