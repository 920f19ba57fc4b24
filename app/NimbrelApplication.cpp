#include "NimbrelApplication.h"

#include "Exceptions.h"

#include <QFont>
#include <QIcon>
#include <QMessageBox>

#include <exception>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

// Each file is loaded into a block of its own size. Above glibc's mmap
// threshold every such block is fresh memory, faulted in page by page while
// the file is read into it; from the heap, the pages of the last file's block
// serve the next one.
void KeepFileBlocksOnTheHeap()
{
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
#endif
}

} // namespace

TNimbrelApplication::TNimbrelApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    KeepFileBlocksOnTheHeap();
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
    // Qt cannot carry an exception through its event loop: this is the last
    // place where one can still be caught.
    try {
        return QApplication::notify(Receiver, Event);
    } catch (...) {
        ShowCurrentException();
    }
    return false;
}

void TNimbrelApplication::ShowCurrentException()
{
    auto* Application = qobject_cast<TNimbrelApplication*>(QCoreApplication::instance());
    if (!Application)
        throw;
    try {
        throw;
    } catch (const Exception& E) {
        Application->ShowError(QString::fromUtf8(E.Message()));
    } catch (const std::exception& E) {
        Application->ShowError(QString::fromUtf8(E.what()));
    }
}

void TNimbrelApplication::ShowError(const QString& Message)
{
    QMessageBox Box(QMessageBox::Critical, applicationDisplayName(), Message, QMessageBox::Ok);
    Box.exec();
}
