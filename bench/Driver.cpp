// Runs Nimbrel's real main window on the offscreen platform over one folder,
// as a user would: the window is shown, the folder is chosen through the
// Select button (the picker answers with DIR), Erase is pressed, and the
// program waits for the run to return. Collection, cleaning, the label
// updates and the event processing inside the run are all counted.
//
//   nimbrel_bench_driver [--hidden] DIR
//
// With --hidden the window is never shown, so nothing is painted: the
// difference to a normal run is what drawing the progress costs.
//
// Prints key=value lines: the counters as the window shows them (files,
// cleaned, no_metadata, errors, read_only), and run_wall / run_cpu, the
// seconds from pressing Erase to its return. Exits with 1 when the run
// showed a message or an error escaped it.

#include "NimbrelApplication.h"
#include "Unit1.h"

#include <QLabel>
#include <QPushButton>
#include <QUrl>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string_view>

namespace {

class TBenchApplication : public TNimbrelApplication {
public:
    using TNimbrelApplication::TNimbrelApplication;
    bool Failed() const { return FFailed; }

protected:
    void ShowError(const QString& Message) override
    {
        std::fprintf(stderr, "error: %s\n", qPrintable(Message));
        FFailed = true;
    }

private:
    bool FFailed = false;
};

class TBenchForm : public TForm1 {
public:
    explicit TBenchForm(std::filesystem::path Directory) : FDirectory(std::move(Directory)) {}
    bool ShowedMessage() const { return FShowedMessage; }

protected:
    std::optional<std::filesystem::path> ChooseDirectory() override { return FDirectory; }
    void ShowMessage(const QString& Text) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(Text));
        FShowedMessage = true;
    }
    void OpenWebAddress(const QUrl&) override {}

private:
    std::filesystem::path FDirectory;
    bool FShowedMessage = false;
};

QString LabelText(const QWidget& Form, const char* Name)
{
    const auto* Label = Form.findChild<QLabel*>(QString::fromLatin1(Name));
    return Label ? Label->text() : QString();
}

void Click(const QWidget& Form, const char* Name)
{
    if (auto* Button = Form.findChild<QPushButton*>(QString::fromLatin1(Name)))
        Button->click();
    else
        std::fprintf(stderr, "no button %s\n", Name);
}

double CpuSeconds()
{
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TBenchApplication Application(argc, argv);
    const bool Hidden = argc == 3 && std::string_view(argv[1]) == "--hidden";
    if (argc != 2 && !Hidden) {
        std::fprintf(stderr, "usage: %s [--hidden] DIR\n", argv[0]);
        return 2;
    }

    TBenchForm Form{std::filesystem::path(argv[argc - 1])};
    if (!Hidden)
        Form.show();
    QCoreApplication::processEvents(); // the first paint is not part of the run
    Click(Form, "ButtonSelectDir");
    QCoreApplication::processEvents();

    const auto WallStart = std::chrono::steady_clock::now();
    const double CpuStart = CpuSeconds();
    Click(Form, "Button2");
    const double Wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - WallStart).count();
    const double Cpu = CpuSeconds() - CpuStart;

    // "cleaned of collected" once a file was done; the bare count before.
    const QString Total = LabelText(Form, "LabelTotalFiles");
    const QStringList Parts = Total.split(QStringLiteral(" of "));
    const QString Files = Parts.size() == 2 ? Parts[1] : Parts[0];
    // "errors (n are read only)"
    const QStringList Errors = LabelText(Form, "LabelErros").split(QLatin1Char(' '));
    const QString ReadOnly = Errors.size() > 1 ? Errors[1].mid(1) : QStringLiteral("0");

    std::printf("files=%s\ncleaned=%s\nno_metadata=%s\nerrors=%s\nread_only=%s\nrun_wall=%.6f\nrun_cpu=%.6f\n",
                qPrintable(Files), qPrintable(LabelText(Form, "LabelExifFiles")),
                qPrintable(LabelText(Form, "LabelNoExifFiles")), qPrintable(Errors.value(0)), qPrintable(ReadOnly),
                Wall, Cpu);
    return Application.Failed() || Form.ShowedMessage() ? 1 : 0;
}
