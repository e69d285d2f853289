#include "host/UserDialogs.h"

#include <QApplication>
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
