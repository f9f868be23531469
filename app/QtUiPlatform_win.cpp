#include "QtUiPlatform.h"

#include <QCoreApplication>

// The program's own file: no folder can be made below it.
QString QtUiPlatform::unreachable_settings_path()
{
    const QString program = QCoreApplication::applicationFilePath();
    if (!program.isEmpty())
        return program + QStringLiteral("/settings");
    return QStringLiteral("//./NUL/trezorka");
}
