#include "NimbrelApplication.h"

#include "Exceptions.h"

#include <QFont>
#include <QMessageBox>

TNimbrelApplication::TNimbrelApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Nimbrel"));
    setApplicationDisplayName(QStringLiteral("Nimbrel"));
    setWindowIcon(QIcon(QStringLiteral(":/images/nimbrel.png")));
    // The window is laid out for Tahoma. Where it is missing, the condensed
    // DejaVu Sans comes closest to its widths; the wide default would run the
    // captions into the counters beside them.
    QFont::insertSubstitution(QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed"));
}

bool TNimbrelApplication::notify(QObject* Receiver, QEvent* Event)
{
    // Qt cannot unwind through its event loop, so this is the last place an
    // exception from a handler can be caught.
    try {
        return QApplication::notify(Receiver, Event);
    } catch (const Exception& E) {
        ShowError(QString::fromLocal8Bit(E.Message()));
    } catch (const std::exception& E) {
        ShowError(QString::fromLocal8Bit(E.what()));
    }
    return false;
}

void TNimbrelApplication::ShowError(const QString& Message)
{
    QMessageBox Box(QMessageBox::Critical, applicationDisplayName(), Message, QMessageBox::Ok);
    Box.exec();
}
