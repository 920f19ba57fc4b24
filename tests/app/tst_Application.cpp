// Errors that escape a handler: the application object shows them, the
// window is back to idle, and the program goes on.

#include "Exceptions.h"
#include "TestSupport.h"

#include <QMessageBox>
#include <QTimer>

#include <stdexcept>

using namespace Fixture;
namespace fs = std::filesystem;

class TestApplication : public QObject {
    Q_OBJECT

private slots:
    void init();

    void escapingErrorIsShownAndTheRunCleansUp_data();
    void escapingErrorIsShownAndTheRunCleansUp();
    void errorBoxShowsTheMessage();
};

void TestApplication::init()
{
    TTestApplication::Instance().Errors.clear();
    TTestApplication::Instance().ShowRealBox = false;
}

void TestApplication::escapingErrorIsShownAndTheRunCleansUp_data()
{
    QTest::addColumn<bool>("WhileCleaning");
    QTest::addColumn<bool>("ProgramError"); // one of the program's own errors, or any other
    QTest::addColumn<bool>("CloseRequested");
    QTest::addColumn<QString>("Message");
    QTest::addColumn<QString>("TotalShown");
    QTest::addColumn<QString>("NextRun"); // the counters after a second run over the same files

    const QString NotCleaned = "3 of 3 | 3 | 0 | 0 (0 are read only)";
    const QString OneCleaned = "3 of 3 | 2 | 1 | 0 (0 are read only)";
    QTest::newRow("while collecting") << false << false << false << "no more directory handles" << "1" << NotCleaned;
    QTest::newRow("while cleaning") << true << false << false << "no more directory handles" << "1 of 3"
                                    << OneCleaned;
    QTest::newRow("program's error while cleaning") << true << true << false << "Out of memory" << "1 of 3"
                                                    << OneCleaned;
    QTest::newRow("after a held close") << false << false << true << "no more directory handles" << "1" << "";
}

void TestApplication::escapingErrorIsShownAndTheRunCleansUp()
{
    QFETCH(bool, WhileCleaning);
    QFETCH(bool, ProgramError);
    QFETCH(bool, CloseRequested);
    QFETCH(QString, Message);
    QFETCH(QString, TotalShown);
    QFETCH(QString, NextRun);

    TScratchDir Temp;
    for (const char* Name : {"a.jpg", "b.jpg", "c.jpg"})
        Write(PathOf(Temp) / Name, JpegWithExif());

    TTestForm Form;
    Form.Choose(PathOf(Temp));
    Form.show();
    const auto Phase = WhileCleaning ? TTestForm::TPhase::Cleaning : TTestForm::TPhase::Collecting;
    bool Thrown = false;
    Form.OnPump = [&] {
        if (Thrown || Form.Phase() != Phase)
            return;
        if (CloseRequested)
            Form.close();
        Thrown = true;
        if (ProgramError)
            throw EOutOfMemory();
        throw std::runtime_error("no more directory handles");
    };
    Form.Erase();

    QCOMPARE(TTestApplication::Instance().Errors, QStringList{Message});
    QCOMPARE(Form.States(), IdleStates);
    QCOMPARE(Form.Text("LabelTotalFiles"), TotalShown);

    QCoreApplication::processEvents();
    QCOMPARE(Form.isVisible(), !CloseRequested);
    if (CloseRequested)
        return;

    // The program goes on: the next run works as usual.
    Form.Erase();
    QCOMPARE(Form.Counters(), NextRun);
    QCOMPARE(TTestApplication::Instance().Errors.size(), 1);
}

void TestApplication::errorBoxShowsTheMessage()
{
    // The application's own box this time, closed as soon as it is up.
    TTestApplication::Instance().ShowRealBox = true;
    TScratchDir Temp;
    Write(PathOf(Temp) / "a.jpg", JpegWithExif());

    TTestForm Form;
    Form.Choose(PathOf(Temp));
    Form.OnPump = [] { throw std::runtime_error("no more directory handles"); };

    QString Title, Text;
    QMessageBox::StandardButtons Buttons;
    bool Modal = false;
    QTimer::singleShot(0, &Form, [&] {
        for (QWidget* Widget : QApplication::topLevelWidgets()) {
            if (auto* Box = qobject_cast<QMessageBox*>(Widget); Box && Box->isVisible()) {
                Title = Box->windowTitle();
                Text = Box->text();
                Buttons = Box->standardButtons();
                Modal = Box->isModal();
                Box->accept();
            }
        }
    });
    Form.Erase();

    QCOMPARE(Title, QString("Nimbrel"));
    QCOMPARE(Text, QString("no more directory handles"));
    QCOMPARE(Buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(Modal);
    QCOMPARE(Form.States(), IdleStates);
}

NIMBREL_TEST_MAIN(TestApplication)
#include "tst_Application.moc"
