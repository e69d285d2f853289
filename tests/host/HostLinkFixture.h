#pragma once

#include "FakeUserDialogs.h"
#include "MockKartovaServer.h"

#include "host/AppLifecycle.h"
#include "host/KrtServices.h"

#include <gtest/gtest.h>

#include <memory>

namespace skyglide::test {

// Thrown where the program would end at once.
struct TProgramEnded
{
};

// A scripted host behind ConnectHostServer(), answered dialogs, and an end
// of the program that can be observed. Every host call lands in Calls.
class THostLinkTest : public testing::Test
{
protected:
    void SetUp() override
    {
        SetEndProgramHook([] { throw TProgramEnded{}; });
        SetApplicationShuttingDown(false);
        SetProcessNumber(0);
        UseHost(THostScript{});
    }

    void TearDown() override
    {
        ReleaseHostServer();
        SetHostServerFactory({});
        SetEndProgramHook({});
        SetApplicationShuttingDown(false);
    }

    void UseHost(const THostScript& script)
    {
        SetHostServerFactory([this, script] {
            auto host = std::make_unique<TScriptedHost>(script);
            host->Calls = &Calls;
            return host;
        });
    }

    void UseNoHost()
    {
        SetHostServerFactory([]() -> std::unique_ptr<IKartovaAPIServer> {
            throw EHostServerError("CreateKartovaAPIServer",
                                   "no process owns org.kartova.APIServer");
        });
    }

    // The twelve reads of the connection, in their order.
    static std::vector<std::string> ConnectionReads()
    {
        return {"GetWorkingFolder()", "HostText13()", "HostText52()", "HostText54()",
                "HostText37()",       "HostText17()", "HostCode74()", "HostCode73()",
                "HostCode72()",       "HostCode71()", "HostCode76()", "HostCode75()"};
    }

    std::vector<std::string> Calls;
    TFakeUserDialogs Dialogs;
};

} // namespace skyglide::test
