// The main window: the directory choice, the Erase/Abort/Exit buttons and the
// progress counters, and the erase run behind them.
#pragma once

#include <QElapsedTimer>
#include <QWidget>

#include <array>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <vector>

class QCloseEvent;
class QEvent;
class QShowEvent;
class QUrl;
struct TFileId;

namespace Ui {
class Form1;
}

class TForm1 : public QWidget {
    Q_OBJECT

public:
    explicit TForm1(QWidget* Parent = nullptr);
    ~TForm1() override;

public slots:
    void Button2Click();         // Erase: the whole run
    void Button3Click();         // Abort: no further file is started
    void ButtonSelectDirClick(); // Select, and a click in the directory box
    void Label5Click();          // the web address
    void ButtonExitClick();

protected:
    // The places where the run lets the window handle what is pending (clicks,
    // close requests, repaints): after every matching file while collecting
    // and after every file while cleaning, and nowhere else.
    virtual void ProcessPendingMessages();

    // The folder picker; empty when the user cancels.
    virtual std::optional<std::filesystem::path> ChooseDirectory();
    // A modal box captioned with the application's name, no icon, one OK button.
    virtual void ShowMessage(const QString& Text);
    virtual void OpenWebAddress(const QUrl& Address);

    bool eventFilter(QObject* Watched, QEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;
    void showEvent(QShowEvent* Event) override;

private:
    using TFileList = std::vector<std::filesystem::path>;
    using TExtensions = std::array<std::filesystem::path, 2>;
    using TVisitedDirectories = std::set<TFileId>;

    void CleanFile(const std::filesystem::path& FileName);
    void CollectFiles(TFileList& List, std::filesystem::path Directory, const TExtensions& Extensions,
                      bool Recurse, TVisitedDirectories& Visited);

    std::unique_ptr<Ui::Form1> ui;

    // Run state
    std::filesystem::path Dir;
    int TotalFiles = 0;    // files collected for this run
    int CurrentFile = 0;   // files cleaned without an error
    int ExifFiles = 0;     // files that lost at least one segment
    int NoExifFiles = 0;   // files cleaned with nothing to remove
    int ErrorFiles = 0;    // files whose cleaning failed
    int ReadOnlyFiles = 0; // files found read-only (they fail, and count as errors too)
    bool Running = false;  // a run is in progress and has not been aborted

    bool FInRun = false;          // Erase is being handled, aborted or not
    bool FCloseRequested = false; // a close arrived during the run; honoured at its end
    bool FPlaced = false;         // centred on the desktop at the first show
    QElapsedTimer FLastFrame;     // when the progress area was last drawn during the run
};
