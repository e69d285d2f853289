#pragma once

// A host that answers from a script, for the viewer's side of the
// conversation without a bus.

#include "host/HostLink.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace skyglide::test {

// What a scripted host answers.
struct THostScript
{
    std::int32_t ProcessNumber = 7; // ObtainProcessNumber
    bool ConfirmNew = true;
    bool Confirm = true;
    std::string Text = "text"; // every host text and short code
    std::string WorkingFolder = "/work/";
    std::vector<std::string> ResourceFolders;
    std::string Folder13, Folder52, Folder54; // empty: Text
    std::vector<std::string> Parameters = {"",  "skyglide", "t.rst", "none", "none",
                                           "1", "5",        "100",   "0"};
    std::set<std::string> Failing; // methods that answer with an error
};

// The twelve reads of a connection, in their order.
inline QStringList ConnectionReads()
{
    return {"GetWorkingFolder()", "HostText13()", "HostText52()", "HostText54()",
            "HostText37()",       "HostText17()", "HostCode74()", "HostCode73()",
            "HostCode72()",       "HostCode71()", "HostCode76()", "HostCode75()"};
}

// A host that answers from a script and writes every call, with its
// arguments, to Calls: "ConfirmProcess(42)".
class TScriptedHost : public IKartovaAPIServer
{
public:
    explicit TScriptedHost(THostScript script, QStringList* calls = nullptr)
        : Script(std::move(script)), Calls(calls)
    {
    }

    THostScript Script;
    QStringList* Calls; // outlives the host in tests

    int GetHostNumber() override { return Reply(1, __func__); }
    std::string HostText13() override { return Reply(Folder(Script.Folder13), __func__); }
    std::string HostText17() override { return Reply(Script.Text, __func__); }
    int ObtainProcessNumber() override { return Reply(Script.ProcessNumber, __func__); }
    int AbandonProcess(int pn) override { return Reply(0, __func__, pn); }
    int ReportProcessError(int pn, int code, const std::string& a, const std::string& b) override
    {
        return Reply(0, __func__, pn, code, a, b);
    }
    int ReportProgress(int pn, float fraction) override { return Reply(0, __func__, pn, fraction); }
    int ClearProgress(int pn) override { return Reply(0, __func__, pn); }
    bool ConfirmProcess(int pn) override { return Reply(Script.Confirm, __func__, pn); }
    std::string GetProcessParameter(int pn, int index) override
    {
        return Reply(Script.Parameters.at(std::size_t(index)), __func__, pn, index);
    }
    int FinishProcess(int pn) override { return Reply(0, __func__, pn); }
    std::string HostText37() override { return Reply(Script.Text, __func__); }
    std::string GetProcessTextA(int pn) override { return Reply("A", __func__, pn); }
    std::string GetProcessTextB(int pn) override { return Reply("B", __func__, pn); }
    std::string GetProcessTextC(int pn) override { return Reply("C", __func__, pn); }
    std::string GetProcessTextD(int pn) override { return Reply("D", __func__, pn); }
    std::string HostText52() override { return Reply(Folder(Script.Folder52), __func__); }
    std::string HostText54() override { return Reply(Folder(Script.Folder54), __func__); }
    std::string GetWorkingFolder() override
    {
        return Reply(Folder(Script.WorkingFolder), __func__);
    }
    int GetResourceFolderCount() override
    {
        return Reply(int(Script.ResourceFolders.size()), __func__);
    }
    std::string GetResourceFolder(int index) override
    {
        return Reply(Script.ResourceFolders.at(std::size_t(index - 1)), __func__, index);
    }
    bool ConfirmNewProcess(int pn) override { return Reply(Script.ConfirmNew, __func__, pn); }
    std::string HostCode71() override { return Reply(Script.Text, __func__); }
    std::string HostCode72() override { return Reply(Script.Text, __func__); }
    std::string HostCode73() override { return Reply(Script.Text, __func__); }
    std::string HostCode74() override { return Reply(Script.Text, __func__); }
    std::string HostCode75() override { return Reply(Script.Text, __func__); }
    std::string HostCode76() override { return Reply(Script.Text, __func__); }
    std::string ResolverText88(const std::string& text) override
    {
        return Reply("", __func__, text);
    }
    std::string GetHostText() override { return Reply(Script.Text, __func__); }

private:
    // A folder setting: the script's folder when it gives one.
    std::string Folder(const std::string& folder) const
    {
        return folder.empty() ? Script.Text : folder;
    }

    // Writes "method(args)" to Calls, then answers value or fails as scripted.
    template <class T, class... A> T Reply(T value, const char* method, const A&... args)
    {
        std::ostringstream text;
        text << method << '(';
        [[maybe_unused]] const char* separator = "";
        ((text << separator << args, separator = ","), ...);
        text << ')';
        if (Calls)
            Calls->push_back(QString::fromStdString(text.str()));
        if (Script.Failing.count(method))
            throw EHostServerError(method, "the host fails");
        return value;
    }
};

// Thrown where the program would end at once.
struct TProgramEnded
{
};

// A link to a scripted host whose end of the program can be observed.
// Every host call lands in Calls, every message of a failed connection in
// NotFound.
class THostLinkTest : public testing::Test
{
protected:
    THostLinkTest() : Host([this] { return std::make_unique<TScriptedHost>(Script, &Calls); })
    {
        Host.OnEndProgram = [] { throw TProgramEnded{}; };
        Host.OnServerNotFound = [this](const char* text) { NotFound << text; };
    }

    THostScript Script;
    QStringList Calls;
    QStringList NotFound;
    THostLink Host;
};

} // namespace skyglide::test
