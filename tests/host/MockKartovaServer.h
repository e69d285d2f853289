#pragma once

#include "host/KartovaServer.h"

#include <gmock/gmock.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace skyglide::test {

class TMockKartovaServer : public IKartovaAPIServer
{
public:
    MOCK_METHOD(std::int32_t, GetHostNumber, (), (override));
    MOCK_METHOD(std::string, HostText13, (), (override));
    MOCK_METHOD(std::string, HostText17, (), (override));
    MOCK_METHOD(std::int32_t, ObtainProcessNumber, (), (override));
    MOCK_METHOD(std::int32_t, AbandonProcess, (std::int32_t), (override));
    MOCK_METHOD(std::int32_t, ReportProcessError,
                (std::int32_t, std::int32_t, const std::string&, const std::string&), (override));
    MOCK_METHOD(std::int32_t, ReportProgress, (std::int32_t, float), (override));
    MOCK_METHOD(std::int32_t, ClearProgress, (std::int32_t), (override));
    MOCK_METHOD(bool, ConfirmProcess, (std::int32_t), (override));
    MOCK_METHOD(std::string, GetProcessParameter, (std::int32_t, std::int32_t), (override));
    MOCK_METHOD(std::int32_t, FinishProcess, (std::int32_t), (override));
    MOCK_METHOD(std::string, HostText37, (), (override));
    MOCK_METHOD(std::string, GetProcessTextA, (std::int32_t), (override));
    MOCK_METHOD(std::string, GetProcessTextB, (std::int32_t), (override));
    MOCK_METHOD(std::string, GetProcessTextC, (std::int32_t), (override));
    MOCK_METHOD(std::string, GetProcessTextD, (std::int32_t), (override));
    MOCK_METHOD(std::string, HostText52, (), (override));
    MOCK_METHOD(std::string, HostText54, (), (override));
    MOCK_METHOD(std::string, GetWorkingFolder, (), (override));
    MOCK_METHOD(std::int32_t, GetResourceFolderCount, (), (override));
    MOCK_METHOD(std::string, GetResourceFolder, (std::int32_t), (override));
    MOCK_METHOD(bool, ConfirmNewProcess, (std::int32_t), (override));
    MOCK_METHOD(std::string, HostCode71, (), (override));
    MOCK_METHOD(std::string, HostCode72, (), (override));
    MOCK_METHOD(std::string, HostCode73, (), (override));
    MOCK_METHOD(std::string, HostCode74, (), (override));
    MOCK_METHOD(std::string, HostCode75, (), (override));
    MOCK_METHOD(std::string, HostCode76, (), (override));
    MOCK_METHOD(std::string, ResolverText88, (const std::string&), (override));
    MOCK_METHOD(std::string, GetHostText, (), (override));
};

// What a scripted host answers.
struct THostScript
{
    std::int32_t ProcessNumber = 7; // ObtainProcessNumber
    bool ConfirmNew = true;
    bool Confirm = true;
    std::string Text = "text"; // every host text and short code
    std::string WorkingFolder = "/work/";
    std::vector<std::string> ResourceFolders;
    std::string Folder13, Folder52, Folder54;
    std::vector<std::string> Parameters = {"",  "skyglide", "t.rst", "none", "none",
                                           "1", "5",        "100",   "0"};
    std::set<std::string> Failing; // methods that answer with an error
};

// A host that answers from a script and writes every call, with its
// arguments, to Calls: "ConfirmProcess(42)".
class TScriptedHost : public testing::NiceMock<TMockKartovaServer>
{
public:
    explicit TScriptedHost(THostScript script);

    THostScript Script;
    std::vector<std::string>* Calls = nullptr; // outlives the host in tests

private:
    template <class... A> void Record(const char* method, const A&... args)
    {
        std::ostringstream text;
        text << method << '(';
        [[maybe_unused]] const char* separator = "";
        ((text << separator << args, separator = ","), ...);
        text << ')';
        if (Calls)
            Calls->push_back(text.str());
        if (Script.Failing.count(method))
            throw EHostServerError(method, "the host fails");
    }
};

} // namespace skyglide::test
