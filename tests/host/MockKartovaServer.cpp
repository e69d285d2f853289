#include "MockKartovaServer.h"

namespace skyglide::test {

using testing::_;
using testing::Invoke;

TScriptedHost::TScriptedHost(THostScript script) : Script(std::move(script))
{
    const auto text = [this](const char* method) {
        return [this, method] {
            Record(method);
            return Script.Text;
        };
    };
    const auto processText = [this](const char* method, const char* value) {
        return [this, method, value](std::int32_t pn) {
            Record(method, pn);
            return std::string(value);
        };
    };
    const auto zero = [this](const char* method) {
        return [this, method](std::int32_t pn) {
            Record(method, pn);
            return 0;
        };
    };
    ON_CALL(*this, GetHostNumber()).WillByDefault(Invoke([this] {
        Record("GetHostNumber");
        return 1;
    }));
    ON_CALL(*this, HostText13()).WillByDefault(Invoke([this] {
        Record("HostText13");
        return Script.Folder13.empty() ? Script.Text : Script.Folder13;
    }));
    ON_CALL(*this, HostText17()).WillByDefault(Invoke(text("HostText17")));
    ON_CALL(*this, HostText37()).WillByDefault(Invoke(text("HostText37")));
    ON_CALL(*this, HostText52()).WillByDefault(Invoke([this] {
        Record("HostText52");
        return Script.Folder52.empty() ? Script.Text : Script.Folder52;
    }));
    ON_CALL(*this, HostText54()).WillByDefault(Invoke([this] {
        Record("HostText54");
        return Script.Folder54.empty() ? Script.Text : Script.Folder54;
    }));
    ON_CALL(*this, HostCode71()).WillByDefault(Invoke(text("HostCode71")));
    ON_CALL(*this, HostCode72()).WillByDefault(Invoke(text("HostCode72")));
    ON_CALL(*this, HostCode73()).WillByDefault(Invoke(text("HostCode73")));
    ON_CALL(*this, HostCode74()).WillByDefault(Invoke(text("HostCode74")));
    ON_CALL(*this, HostCode75()).WillByDefault(Invoke(text("HostCode75")));
    ON_CALL(*this, HostCode76()).WillByDefault(Invoke(text("HostCode76")));
    ON_CALL(*this, GetHostText()).WillByDefault(Invoke(text("GetHostText")));
    ON_CALL(*this, GetWorkingFolder()).WillByDefault(Invoke([this] {
        Record("GetWorkingFolder");
        return Script.WorkingFolder;
    }));
    ON_CALL(*this, GetResourceFolderCount()).WillByDefault(Invoke([this] {
        Record("GetResourceFolderCount");
        return static_cast<std::int32_t>(Script.ResourceFolders.size());
    }));
    ON_CALL(*this, GetResourceFolder(_)).WillByDefault(Invoke([this](std::int32_t index) {
        Record("GetResourceFolder", index);
        return Script.ResourceFolders.at(static_cast<std::size_t>(index - 1));
    }));
    ON_CALL(*this, ObtainProcessNumber()).WillByDefault(Invoke([this] {
        Record("ObtainProcessNumber");
        return Script.ProcessNumber;
    }));
    ON_CALL(*this, ConfirmNewProcess(_)).WillByDefault(Invoke([this](std::int32_t pn) {
        Record("ConfirmNewProcess", pn);
        return Script.ConfirmNew;
    }));
    ON_CALL(*this, ConfirmProcess(_)).WillByDefault(Invoke([this](std::int32_t pn) {
        Record("ConfirmProcess", pn);
        return Script.Confirm;
    }));
    ON_CALL(*this, AbandonProcess(_)).WillByDefault(Invoke(zero("AbandonProcess")));
    ON_CALL(*this, ClearProgress(_)).WillByDefault(Invoke(zero("ClearProgress")));
    ON_CALL(*this, FinishProcess(_)).WillByDefault(Invoke(zero("FinishProcess")));
    ON_CALL(*this, ReportProgress(_, _)).WillByDefault(Invoke([this](std::int32_t pn, float f) {
        Record("ReportProgress", pn, f);
        return 0;
    }));
    ON_CALL(*this, ReportProcessError(_, _, _, _))
        .WillByDefault(Invoke([this](std::int32_t pn, std::int32_t code, const std::string& a,
                                     const std::string& b) {
            Record("ReportProcessError", pn, code, a, b);
            return 0;
        }));
    ON_CALL(*this, GetProcessTextA(_)).WillByDefault(Invoke(processText("GetProcessTextA", "A")));
    ON_CALL(*this, GetProcessTextB(_)).WillByDefault(Invoke(processText("GetProcessTextB", "B")));
    ON_CALL(*this, GetProcessTextC(_)).WillByDefault(Invoke(processText("GetProcessTextC", "C")));
    ON_CALL(*this, GetProcessTextD(_)).WillByDefault(Invoke(processText("GetProcessTextD", "D")));
    ON_CALL(*this, GetProcessParameter(_, _))
        .WillByDefault(Invoke([this](std::int32_t pn, std::int32_t index) {
            Record("GetProcessParameter", pn, index);
            return Script.Parameters.at(static_cast<std::size_t>(index));
        }));
    ON_CALL(*this, ResolverText88(_)).WillByDefault(Invoke([this](const std::string& text) {
        Record("ResolverText88", text);
        return std::string();
    }));
}

} // namespace skyglide::test
