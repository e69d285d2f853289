#include "MockKartovaServer.h"

namespace skyglide::test {

using testing::_;
using testing::Invoke;

TScriptedHost::TScriptedHost(THostScript script) : Script(std::move(script))
{
    // A setting: its folder when the script gives one, else the script's text.
    const auto setting = [this](const char* method, const std::string* folder = nullptr) {
        return Invoke([this, method, folder] {
            Record(method);
            return folder && !folder->empty() ? *folder : Script.Text;
        });
    };
    // A call about the process, answered by answer().
    const auto process = [this](const char* method, auto answer) {
        return Invoke([this, method, answer](std::int32_t pn) {
            Record(method, pn);
            return answer();
        });
    };
    const auto zero = [] { return 0; };

    ON_CALL(*this, GetWorkingFolder())
        .WillByDefault(setting("GetWorkingFolder", &Script.WorkingFolder));
    ON_CALL(*this, HostText13()).WillByDefault(setting("HostText13", &Script.Folder13));
    ON_CALL(*this, HostText17()).WillByDefault(setting("HostText17"));
    ON_CALL(*this, HostText37()).WillByDefault(setting("HostText37"));
    ON_CALL(*this, HostText52()).WillByDefault(setting("HostText52", &Script.Folder52));
    ON_CALL(*this, HostText54()).WillByDefault(setting("HostText54", &Script.Folder54));
    ON_CALL(*this, HostCode71()).WillByDefault(setting("HostCode71"));
    ON_CALL(*this, HostCode72()).WillByDefault(setting("HostCode72"));
    ON_CALL(*this, HostCode73()).WillByDefault(setting("HostCode73"));
    ON_CALL(*this, HostCode74()).WillByDefault(setting("HostCode74"));
    ON_CALL(*this, HostCode75()).WillByDefault(setting("HostCode75"));
    ON_CALL(*this, HostCode76()).WillByDefault(setting("HostCode76"));
    ON_CALL(*this, GetHostText()).WillByDefault(setting("GetHostText"));
    ON_CALL(*this, GetHostNumber()).WillByDefault(Invoke([this] {
        Record("GetHostNumber");
        return 1;
    }));
    ON_CALL(*this, ObtainProcessNumber()).WillByDefault(Invoke([this] {
        Record("ObtainProcessNumber");
        return Script.ProcessNumber;
    }));
    ON_CALL(*this, GetResourceFolderCount()).WillByDefault(Invoke([this] {
        Record("GetResourceFolderCount");
        return static_cast<std::int32_t>(Script.ResourceFolders.size());
    }));
    ON_CALL(*this, GetResourceFolder(_)).WillByDefault(Invoke([this](std::int32_t index) {
        Record("GetResourceFolder", index);
        return Script.ResourceFolders.at(static_cast<std::size_t>(index - 1));
    }));
    ON_CALL(*this, ConfirmNewProcess(_)).WillByDefault(process("ConfirmNewProcess", [this] {
        return Script.ConfirmNew;
    }));
    ON_CALL(*this, ConfirmProcess(_)).WillByDefault(process("ConfirmProcess", [this] {
        return Script.Confirm;
    }));
    ON_CALL(*this, AbandonProcess(_)).WillByDefault(process("AbandonProcess", zero));
    ON_CALL(*this, ClearProgress(_)).WillByDefault(process("ClearProgress", zero));
    ON_CALL(*this, FinishProcess(_)).WillByDefault(process("FinishProcess", zero));
    ON_CALL(*this, GetProcessTextA(_)).WillByDefault(process("GetProcessTextA", [] {
        return std::string("A");
    }));
    ON_CALL(*this, GetProcessTextB(_)).WillByDefault(process("GetProcessTextB", [] {
        return std::string("B");
    }));
    ON_CALL(*this, GetProcessTextC(_)).WillByDefault(process("GetProcessTextC", [] {
        return std::string("C");
    }));
    ON_CALL(*this, GetProcessTextD(_)).WillByDefault(process("GetProcessTextD", [] {
        return std::string("D");
    }));
    ON_CALL(*this, ReportProgress(_, _)).WillByDefault(Invoke([this](std::int32_t pn, float f) {
        Record("ReportProgress", pn, f);
        return 0;
    }));
    ON_CALL(*this, ReportProcessError(_, _, _, _))
        .WillByDefault(Invoke(
            [this](std::int32_t pn, std::int32_t code, const std::string& a, const std::string& b) {
                Record("ReportProcessError", pn, code, a, b);
                return 0;
            }));
    ON_CALL(*this, GetProcessParameter(_, _))
        .WillByDefault(Invoke([this](std::int32_t pn, std::int32_t index) {
            Record("GetProcessParameter", pn, index);
            return Script.Parameters.at(static_cast<std::size_t>(index));
        }));
}

} // namespace skyglide::test
