#pragma once

class QString;
class QWidget;

namespace skyglide {

// Every message box and dialog the program shows goes through this
// interface, so that tests can answer them in-process. The program uses
// TQtUserDialogs; a test installs its own with SetUserDialogs().
// New kinds of dialog are added here as pure virtuals with a Qt version in
// TQtUserDialogs.
class TUserDialogs
{
public:
    virtual ~TUserDialogs() = default;

    // A plain message box with an OK button.
    virtual void ShowMessage(const QString& caption, const QString& text,
                             QWidget* parent = nullptr) = 0;

    // A confirmation with a question icon and the buttons Yes and No;
    // true when the user answers Yes.
    virtual bool Confirm(const QString& caption, const QString& text,
                         QWidget* parent = nullptr) = 0;

    // The error box: a critical icon and an OK button.
    virtual void ShowError(const QString& caption, const QString& text,
                           QWidget* parent = nullptr) = 0;
};

// The dialogs as Qt shows them (QMessageBox). Without a QApplication (a
// program or test that has no GUI) the texts go to the standard error stream
// instead, and Confirm answers No.
class TQtUserDialogs : public TUserDialogs
{
public:
    void ShowMessage(const QString& caption, const QString& text, QWidget* parent) override;
    bool Confirm(const QString& caption, const QString& text, QWidget* parent) override;
    void ShowError(const QString& caption, const QString& text, QWidget* parent) override;
};

// The process-wide dialogs: the installed ones, or Qt's.
TUserDialogs& UserDialogs();

// Installs dialogs (not owned; nullptr restores Qt's) and returns the
// previously installed ones (nullptr when they were Qt's).
TUserDialogs* SetUserDialogs(TUserDialogs* dialogs);

} // namespace skyglide
