#pragma once

#include "app/UserDialogs.h"

#include <QColor>
#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace skyglide::test {

// Dialogs that answer at once and remember what they showed. Installed for
// the lifetime of the object.
class TFakeUserDialogs : public TUserDialogs
{
public:
    struct TShown
    {
        std::string Kind; // "message", "confirm", "error", "open", "save" or "color"
        std::string Caption;
        std::string Text;
    };

    TFakeUserDialogs() : m_previous(SetUserDialogs(this)) {}
    ~TFakeUserDialogs() override { SetUserDialogs(m_previous); }

    void ShowMessage(const QString& caption, const QString& text, QWidget*) override
    {
        Shown.push_back({"message", caption.toStdString(), text.toStdString()});
    }
    bool Confirm(const QString& caption, const QString& text, QWidget*) override
    {
        Shown.push_back({"confirm", caption.toStdString(), text.toStdString()});
        return ConfirmAnswer;
    }
    void ShowError(const QString& caption, const QString& text, QWidget*) override
    {
        Shown.push_back({"error", caption.toStdString(), text.toStdString()});
    }
    // File dialogs record their initial folder as Caption and the file name
    // they start with as Text.
    bool ExecuteOpenDialog(TFileDialogSettings& dialog, QWidget*) override
    {
        return AnswerFile("open", dialog);
    }
    bool ExecuteSaveDialog(TFileDialogSettings& dialog, QWidget*) override
    {
        return AnswerFile("save", dialog);
    }
    bool ExecuteColorDialog(QColor& color, QWidget*) override
    {
        Shown.push_back({"color", "", color.name().toStdString()});
        if (!ColorAnswer)
            return false;
        color = *ColorAnswer;
        return true;
    }

    std::vector<TShown> Shown;
    bool ConfirmAnswer = false;
    std::optional<QString> FileAnswer; // nullopt: the file dialogs are cancelled
    QString FilterAnswer;              // empty: the filter stays as it was
    std::optional<QColor> ColorAnswer; // nullopt: the colour dialog is cancelled

private:
    bool AnswerFile(const char* kind, TFileDialogSettings& dialog)
    {
        Shown.push_back({kind, dialog.InitialDir.toStdString(), dialog.FileName.toStdString()});
        if (!FileAnswer)
            return false;
        dialog.FileName = *FileAnswer;
        if (!FilterAnswer.isEmpty())
            dialog.SelectedFilter = FilterAnswer;
        return true;
    }

    TUserDialogs* m_previous;
};

} // namespace skyglide::test
