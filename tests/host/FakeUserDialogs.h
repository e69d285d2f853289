#pragma once

#include "host/UserDialogs.h"

#include <QString>

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
        std::string Kind; // "message", "confirm" or "error"
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

    std::vector<TShown> Shown;
    bool ConfirmAnswer = false;

private:
    TUserDialogs* m_previous;
};

} // namespace skyglide::test
