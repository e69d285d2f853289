#pragma once

#include <QString>

class QColor;
class QWidget;

namespace skyglide {

// An open or save dialog for one kind of file, as a window keeps it between
// runs of the dialog: it starts in InitialDir, shows the files of Filter
// (Qt's form: "Path File Format (*.csv)"; several separated by ";;"), adds
// DefaultExt (without the dot) to a name typed without an extension, and
// keeps the FileName and the filter (SelectedFilter) chosen last.
struct TFileDialogSettings
{
    QString InitialDir;
    QString DefaultExt;
    QString Filter;
    QString FileName;
    QString SelectedFilter;
};

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

    // The open and save dialogs: true when the user confirms a file, whose
    // full name is then in dialog.FileName; false (dialog unchanged) when
    // cancelled. The save dialog does not ask about replacing a file.
    virtual bool ExecuteOpenDialog(TFileDialogSettings& dialog, QWidget* parent = nullptr) = 0;
    virtual bool ExecuteSaveDialog(TFileDialogSettings& dialog, QWidget* parent = nullptr) = 0;

    // The colour dialog, starting from color: true when the user confirms,
    // with the chosen colour in color; false (color unchanged) when cancelled.
    virtual bool ExecuteColorDialog(QColor& color, QWidget* parent = nullptr) = 0;
};

// The dialogs as Qt shows them (QMessageBox, QFileDialog, QColorDialog).
// Without a QApplication (a program or test that has no GUI) the texts go to
// the standard error stream instead, Confirm answers No and every other
// dialog counts as cancelled.
class TQtUserDialogs : public TUserDialogs
{
public:
    void ShowMessage(const QString& caption, const QString& text, QWidget* parent) override;
    bool Confirm(const QString& caption, const QString& text, QWidget* parent) override;
    void ShowError(const QString& caption, const QString& text, QWidget* parent) override;
    bool ExecuteOpenDialog(TFileDialogSettings& dialog, QWidget* parent) override;
    bool ExecuteSaveDialog(TFileDialogSettings& dialog, QWidget* parent) override;
    bool ExecuteColorDialog(QColor& color, QWidget* parent) override;
};

// The process-wide dialogs: the installed ones, or Qt's.
TUserDialogs& UserDialogs();

// Installs dialogs (not owned; nullptr restores Qt's) and returns the
// previously installed ones (nullptr when they were Qt's).
TUserDialogs* SetUserDialogs(TUserDialogs* dialogs);

} // namespace skyglide
