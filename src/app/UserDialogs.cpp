#include "app/UserDialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QString>

#include <cstdio>

namespace skyglide {

namespace {

TUserDialogs* g_installed = nullptr;

bool HaveWidgets()
{
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

void PrintInstead(const QString& caption, const QString& text)
{
    std::fprintf(stderr, "%s: %s\n", caption.toLocal8Bit().constData(),
                 text.toLocal8Bit().constData());
}

bool ExecuteFileDialog(TFileDialogSettings& settings, QFileDialog::AcceptMode mode, QWidget* parent)
{
    if (!HaveWidgets())
        return false;
    QFileDialog dialog(parent);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    // The replace question belongs to whoever writes the file.
    if (mode == QFileDialog::AcceptSave)
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!settings.InitialDir.isEmpty())
        dialog.setDirectory(settings.InitialDir);
    dialog.setDefaultSuffix(settings.DefaultExt);
    dialog.setNameFilter(settings.Filter);
    if (!settings.SelectedFilter.isEmpty())
        dialog.selectNameFilter(settings.SelectedFilter);
    if (!settings.FileName.isEmpty())
        dialog.selectFile(settings.FileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    settings.FileName = dialog.selectedFiles().constFirst();
    settings.SelectedFilter = dialog.selectedNameFilter();
    return true;
}

} // namespace

void TQtUserDialogs::ShowMessage(const QString& caption, const QString& text, QWidget* parent)
{
    if (!HaveWidgets())
        return PrintInstead(caption, text);
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, parent);
    box.exec();
}

bool TQtUserDialogs::Confirm(const QString& caption, const QString& text, QWidget* parent)
{
    if (!HaveWidgets()) {
        PrintInstead(caption, text);
        return false;
    }
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No,
                    parent);
    return box.exec() == QMessageBox::Yes;
}

void TQtUserDialogs::ShowError(const QString& caption, const QString& text, QWidget* parent)
{
    if (!HaveWidgets())
        return PrintInstead(caption, text);
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, parent);
    box.exec();
}

bool TQtUserDialogs::ExecuteOpenDialog(TFileDialogSettings& dialog, QWidget* parent)
{
    return ExecuteFileDialog(dialog, QFileDialog::AcceptOpen, parent);
}

bool TQtUserDialogs::ExecuteSaveDialog(TFileDialogSettings& dialog, QWidget* parent)
{
    return ExecuteFileDialog(dialog, QFileDialog::AcceptSave, parent);
}

bool TQtUserDialogs::ExecuteColorDialog(QColor& color, QWidget* parent)
{
    if (!HaveWidgets())
        return false;
    const QColor chosen = QColorDialog::getColor(color, parent);
    if (!chosen.isValid())
        return false;
    color = chosen;
    return true;
}

TUserDialogs& UserDialogs()
{
    static TQtUserDialogs qtDialogs;
    return g_installed ? *g_installed : qtDialogs;
}

TUserDialogs* SetUserDialogs(TUserDialogs* dialogs)
{
    TUserDialogs* previous = g_installed;
    g_installed = dialogs;
    return previous;
}

} // namespace skyglide
