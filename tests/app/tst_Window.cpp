// The window itself: its layout, the folder picker, the web address and the
// message box.

#include "TestSupport.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

using namespace Fixture;
namespace fs = std::filesystem;

class TestWindow : public QObject {
    Q_OBJECT

private slots:
    void cleanup();

    void layout_data();
    void layout();
    void tabOrder();
    void lookAndStartState();
    void centredOnTheDesktopWhenFirstShown();

    void pickerChoosesTheDirectory_data();
    void pickerChoosesTheDirectory();
    void webAddressOpens_data();
    void webAddressOpens();

    void messageBoxWithoutDirectory();
    void folderPicker();
};

namespace {

QString CaptionOf(const QWidget* Widget)
{
    if (const auto* Box = qobject_cast<const QGroupBox*>(Widget))
        return Box->title();
    if (const auto* Button = qobject_cast<const QAbstractButton*>(Widget))
        return Button->text();
    if (const auto* Label = qobject_cast<const QLabel*>(Widget))
        return Label->text();
    if (const auto* Edit = qobject_cast<const QLineEdit*>(Widget))
        return Edit->text();
    return {};
}

} // namespace

void TestWindow::cleanup()
{
    QCOMPARE(TTestApplication::Instance().Errors, QStringList());
    TTestApplication::Instance().Errors.clear();
}

void TestWindow::layout_data()
{
    QTest::addColumn<QString>("Parent");
    QTest::addColumn<QRect>("Geometry");
    QTest::addColumn<bool>("SizedToText"); // only the position is fixed
    QTest::addColumn<QString>("Caption");
    QTest::addColumn<bool>("Enabled");

    const auto Row = [](const char* Name, const char* Parent, QRect Geometry, bool SizedToText, const char* Caption,
                        bool Enabled = true) {
        QTest::newRow(Name) << QString(Parent) << Geometry << SizedToText << QString(Caption) << Enabled;
    };
    Row("Image1", "Form1", {8, 8, 49, 49}, false, "");
    Row("Label4", "Form1", {67, 15, 114, 29}, true, "Nimbrel");
    Row("Button2", "Form1", {8, 247, 73, 25}, false, "Erase");
    Row("Button3", "Form1", {87, 247, 73, 25}, false, "Abort", false);
    Row("GroupBox1", "Form1", {8, 63, 481, 74}, false, " Directory ");
    Row("ButtonSelectDir", "GroupBox1", {400, 17, 65, 25}, false, "Select");
    Row("Edit1", "GroupBox1", {16, 19, 378, 21}, false, "");
    Row("CheckBoxSubDir", "GroupBox1", {16, 46, 193, 17}, false, "Erase in subdirectories");
    Row("GroupBox2", "Form1", {8, 143, 481, 98}, false, " Progress ");
    Row("Label3", "GroupBox2", {16, 20, 67, 13}, true, "Scanned files:");
    Row("LabelCleanedFiles", "GroupBox2", {16, 39, 64, 13}, true, "Cleaned exif:");
    Row("Label11", "GroupBox2", {16, 58, 84, 13}, true, "Files with no exif:");
    Row("Label12", "GroupBox2", {16, 77, 33, 13}, true, "Errors:");
    Row("LabelTotalFiles", "GroupBox2", {106, 20, 142, 13}, false, "0");
    Row("LabelExifFiles", "GroupBox2", {106, 39, 142, 13}, false, "0");
    Row("LabelNoExifFiles", "GroupBox2", {106, 58, 142, 13}, false, "0");
    Row("LabelErros", "GroupBox2", {106, 77, 343, 13}, false, "0");
    Row("ButtonExit", "Form1", {416, 247, 73, 25}, false, "Exit");
}

void TestWindow::layout()
{
    QFETCH(QString, Parent);
    QFETCH(QRect, Geometry);
    QFETCH(bool, SizedToText);
    QFETCH(QString, Caption);
    QFETCH(bool, Enabled);

    TTestForm Form;
    const QWidget* Control = Form.Control(QTest::currentDataTag());
    QCOMPARE(Control->parentWidget()->objectName(), Parent);
    if (SizedToText)
        QCOMPARE(Control->pos(), Geometry.topLeft());
    else
        QCOMPARE(Control->geometry(), Geometry);
    QCOMPARE(CaptionOf(Control), Caption);
    QCOMPARE(Control->isEnabled(), Enabled);
}

void TestWindow::tabOrder()
{
    TTestForm Form;
    QStringList Order;
    QWidget* Widget = Form.Control("Button2");
    do {
        if (Widget->focusPolicy() & Qt::TabFocus)
            Order.append(Widget->objectName());
        Widget = Widget->nextInFocusChain();
    } while (Widget != Form.Control("Button2"));
    QCOMPARE(Order, (QStringList{"Button2", "Button3", "ButtonSelectDir", "Edit1", "CheckBoxSubDir", "ButtonExit"}));
}

void TestWindow::lookAndStartState()
{
    TTestForm Form;
    QCOMPARE(Form.windowTitle(), QString("Nimbrel"));
    QCOMPARE(Form.minimumSize(), QSize(497, 279));
    QCOMPARE(Form.maximumSize(), QSize(497, 279));
    QCOMPARE(Form.font().family(), QString("Tahoma"));
    QCOMPARE(Form.font().pixelSize(), 11);
    QCOMPARE(Form.Control("Label4")->font().pixelSize(), 24);
    QVERIFY(Form.windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(Form.windowFlags() & Qt::WindowMaximizeButtonHint);

    const QWidget* WebAddress = Form.Control("Label5");
    QVERIFY(WebAddress->font().underline());
    QCOMPARE(WebAddress->cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(WebAddress->geometry().topRight(), QPoint(488, 8)); // grows to the left

    const QPixmap Logo = Form.Control<QLabel>("Image1")->pixmap();
    QCOMPARE(Logo.size(), QSize(48, 48));
    QVERIFY(Logo.hasAlphaChannel());
    QVERIFY(!Form.windowIcon().isNull());

    QVERIFY(Form.Control<QLineEdit>("Edit1")->isReadOnly());
    QVERIFY(Form.Control<QCheckBox>("CheckBoxSubDir")->isChecked());
}

void TestWindow::centredOnTheDesktopWhenFirstShown()
{
    TTestForm Form;
    Form.show();
    const QPoint Centre = Form.screen()->virtualGeometry().center();
    QVERIFY((Form.frameGeometry().center() - Centre).manhattanLength() <= 2);

    // Moved by the user, it stays there when shown again.
    Form.hide();
    Form.move(Form.pos() + QPoint(-40, 30));
    const QPoint Moved = Form.pos();
    Form.show();
    QCOMPARE(Form.pos(), Moved);
}

void TestWindow::pickerChoosesTheDirectory_data()
{
    QTest::addColumn<QString>("Control");
    QTest::newRow("Select") << "ButtonSelectDir";
    QTest::newRow("click in the directory box") << "Edit1";
}

void TestWindow::pickerChoosesTheDirectory()
{
    // Choosing a folder shows it and makes it the run's; cancelling the
    // picker later changes nothing.
    QFETCH(QString, Control);
    const QByteArray Name = Control.toLatin1();

    TScratchDir Temp;
    Write(PathOf(Temp) / "a.jpg", JpegWithExif());

    TTestForm Form;
    Form.PickerAnswers = {PathOf(Temp), std::nullopt};
    Form.Click(Name.constData());
    const QString Shown = QFile::decodeName(PathOf(Temp).c_str());
    QCOMPARE(Form.Control<QLineEdit>("Edit1")->text(), Shown);

    Form.Click(Name.constData());
    QCOMPARE(Form.PickerOpened, 2);
    QCOMPARE(Form.Control<QLineEdit>("Edit1")->text(), Shown);

    Form.Erase();
    QCOMPARE(Form.Text("LabelTotalFiles"), QString("1 of 1"));
    QVERIFY(Form.Messages.isEmpty());
}

void TestWindow::webAddressOpens_data()
{
    QTest::addColumn<bool>("DuringRun");
    QTest::newRow("idle") << false;
    QTest::newRow("during a run") << true;
}

void TestWindow::webAddressOpens()
{
    QFETCH(bool, DuringRun);

    TScratchDir Temp;
    Write(PathOf(Temp) / "a.jpg", JpegWithExif());
    Write(PathOf(Temp) / "b.jpg", JpegWithExif());

    TTestForm Form;
    if (DuringRun) {
        Form.Choose(PathOf(Temp));
        Form.OnPump = [&Form] {
            if (Form.Pumps == 1)
                Form.ClickWhenPumped("Label5");
        };
        Form.Erase();
        QCOMPARE(Form.Text("LabelTotalFiles"), QString("2 of 2"));
    } else {
        Form.Click("Label5");
    }

    QCOMPARE(Form.OpenedAddresses.size(), std::size_t(1));
    const QUrl Address = Form.OpenedAddresses.front();
    QCOMPARE(Address.toString(), Form.Text("Label5"));
    QCOMPARE(Address.scheme(), QString("https"));
}

void TestWindow::messageBoxWithoutDirectory()
{
    // The window's own box, not the test's stand-in.
    TForm1 Form;
    QString Title, Text;
    QMessageBox::Icon Icon = QMessageBox::Critical;
    QMessageBox::StandardButtons Buttons;
    bool OverTheWindow = false;
    QTimer::singleShot(0, &Form, [&] {
        for (QWidget* Widget : QApplication::topLevelWidgets()) {
            if (auto* Box = qobject_cast<QMessageBox*>(Widget); Box && Box->isVisible()) {
                Title = Box->windowTitle();
                Text = Box->text();
                Icon = Box->icon();
                Buttons = Box->standardButtons();
                OverTheWindow = Box->parentWidget() == &Form && Box->isModal();
                Box->accept();
            }
        }
    });
    QTest::mouseClick(Form.findChild<QPushButton*>("Button2"), Qt::LeftButton);

    QCOMPARE(Text, QString("Please select a directory first"));
    QCOMPARE(Title, QString("Nimbrel"));
    QCOMPARE(Icon, QMessageBox::NoIcon);
    QCOMPARE(Buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(OverTheWindow);
}

void TestWindow::folderPicker()
{
    // The window's own picker: a folder is chosen in it, and the second time
    // it opens it does not start at that folder, and is cancelled.
    TScratchDir Temp;
    const fs::path Chosen = PathOf(Temp) / "Photos";
    fs::create_directory(Chosen);
    const QString ChosenName = QFile::decodeName(Chosen.c_str());

    TForm1 Form;
    QStringList Seen;
    int Opened = 0;
    const auto Handle = [&](bool Accept) {
        for (QWidget* Widget : QApplication::topLevelWidgets()) {
            auto* Dialog = qobject_cast<QFileDialog*>(Widget);
            if (!Dialog || !Dialog->isVisible())
                continue;
            ++Opened;
            Seen.append(QStringList{Dialog->windowTitle(),
                                    Dialog->fileMode() == QFileDialog::Directory ? "directories" : "files",
                                    Dialog->testOption(QFileDialog::ShowDirsOnly) ? "only folders shown" : "files shown",
                                    Dialog->testOption(QFileDialog::ReadOnly) ? "no new folders" : "new folders",
                                    Dialog->parentWidget() == &Form && Dialog->isModal() ? "modal over the window"
                                                                                        : "not modal"}
                            .join(", "));
            if (Accept) {
                Dialog->selectFile(ChosenName);
                QMetaObject::invokeMethod(Dialog, "accept");
            } else {
                QVERIFY(QDir(Dialog->directory()) != QDir(ChosenName));
            }
            if (Dialog->isVisible())
                Dialog->reject();
        }
    };
    auto* Select = Form.findChild<QPushButton*>("ButtonSelectDir");
    auto* Edit1 = Form.findChild<QLineEdit*>("Edit1");

    QTimer::singleShot(0, &Form, [&] { Handle(true); });
    QTest::mouseClick(Select, Qt::LeftButton);
    QCOMPARE(Edit1->text(), ChosenName);

    QTimer::singleShot(0, &Form, [&] { Handle(false); });
    QTest::mouseClick(Edit1, Qt::LeftButton);
    QCOMPARE(Edit1->text(), ChosenName);

    QCOMPARE(Opened, 2);
    const QString Expected = "Select a directory, directories, only folders shown, no new folders, modal over the window";
    QCOMPARE(Seen, (QStringList{Expected, Expected}));
}

NIMBREL_TEST_MAIN(TestWindow)
#include "tst_Window.moc"
