#pragma once
// The page renderer (Chromium) refuses to start its sandbox as root. Test
// programs turn the sandbox off for root only, as the run script does: an
// ordinary user runs them with the sandbox, as the program runs for them.
#include <unistd.h>

#include <QtGlobal>

namespace testutil {

// Call first in main(), before the application object exists.
inline void disableSandboxForRoot()
{
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
}

} // namespace testutil
