#pragma once

#include <QApplication>

namespace skyglide {

// The application object: title "SkyGlide", no quitting when a window
// closes (the hidden message window and the scene window decide when the
// program ends), and the standard error box for any exception that no
// handler caught, after which the program goes on.
class TSkyGlideApplication : public QApplication
{
    Q_OBJECT

public:
    TSkyGlideApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

protected:
    bool event(QEvent* event) override;
};

} // namespace skyglide
