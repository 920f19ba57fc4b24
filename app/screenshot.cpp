// Draws the main window into a PNG file, for the README:
//
//     nimbrel_screenshot OUTPUT.png [DIRECTORY]
//
// With a DIRECTORY the window first picks it, as if chosen in the folder
// picker, and erases it, so that the picture shows a finished run.

#include "NimbrelApplication.h"
#include "Unit1.h"

#include <QPixmap>
#include <QPushButton>

#include <cstdio>

namespace {

class TScreenshotForm : public TForm1 {
public:
    explicit TScreenshotForm(std::filesystem::path Directory) : FDirectory(std::move(Directory)) {}

protected:
    std::optional<std::filesystem::path> ChooseDirectory() override { return FDirectory; }

private:
    std::filesystem::path FDirectory;
};

} // namespace

int main(int argc, char* argv[])
{
    TNimbrelApplication Application(argc, argv);
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s OUTPUT.png [DIRECTORY]\n", argv[0]);
        return 2;
    }
    TScreenshotForm Form1(argc == 3 ? std::filesystem::path(argv[2]) : std::filesystem::path());
    Form1.show();
    if (argc == 3) {
        Form1.findChild<QPushButton*>(QStringLiteral("ButtonSelectDir"))->click();
        Form1.findChild<QPushButton*>(QStringLiteral("Button2"))->click();
    }
    QCoreApplication::processEvents();
    if (!Form1.grab().save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
