// The application object. It keeps exceptions that escape an event handler
// away from Qt's event loop and shows them instead.
#pragma once

#include <QApplication>

class TNimbrelApplication : public QApplication {
    Q_OBJECT

public:
    TNimbrelApplication(int& argc, char** argv);

    bool notify(QObject* Receiver, QEvent* Event) override;

protected:
    // A modal box captioned with the application's name; the program goes on
    // once it is closed.
    virtual void ShowError(const QString& Message);
};
