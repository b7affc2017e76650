#include "platform/session_bus.h"

#include <QFileInfo>
#include <QString>
#include <QtGlobal>

namespace ostrel::platform {

bool SessionHasBus()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

} // namespace ostrel::platform
