// The application object, and the program's default error display: an
// exception that escapes an event handler is shown in a message box, and the
// program goes on.
#pragma once

#include <QApplication>

#include <utility>

class TNimbrelApplication : public QApplication {
    Q_OBJECT

public:
    TNimbrelApplication(int& argc, char** argv);

    // Runs an event handler and shows what it throws. Handlers are run
    // through this, so that an exception stops before it would unwind through
    // Qt's own code, which is not written for that.
    template <typename THandler> static void RunHandler(THandler&& Handler)
    {
        try {
            std::forward<THandler>(Handler)();
        } catch (...) {
            ShowCurrentException();
        }
    }

    // The last resort, for an exception from anywhere else.
    bool notify(QObject* Receiver, QEvent* Event) override;

protected:
    // A modal box captioned with the application's name; the program goes on
    // once it is closed.
    virtual void ShowError(const QString& Message);

private:
    // Called inside a catch block. The program's own errors and the standard
    // library's are shown; anything else goes on.
    static void ShowCurrentException();
};
