#include "ScriptedHost.h"

namespace skyglide::test {

QStringList ConnectionReads()
{
    return {"GetWorkingFolder()", "HostText13()", "HostText52()", "HostText54()",
            "HostText37()",       "HostText17()", "HostCode74()", "HostCode73()",
            "HostCode72()",       "HostCode71()", "HostCode76()", "HostCode75()"};
}

} // namespace skyglide::test
