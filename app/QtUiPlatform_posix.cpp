#include "QtUiPlatform.h"

// Below a device file: no folder can be made there.
QString QtUiPlatform::unreachable_settings_path()
{
    return QStringLiteral("/dev/null/trezorka");
}
