#include "Startup.h"

#include "Style.h"
#include "native_path.h"

#include <QFile>
#include <QFontDatabase>

#include <sys/stat.h>
#include <unistd.h>

QString trezorka::ui::first_argument(int argc, char** argv)
{
    if (argc < 2 || argv[1] == nullptr)
        return {};
    return qs(trezorka::utf16_from_native_bytes(argv[1]));
}

void trezorka::ui::use_desktop_session_bus()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return;
    // An address of a kind no bus library knows: connecting fails at once,
    // and nothing is launched in its place.
    QByteArray address = "disabled:";
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (runtime.startsWith('/')) {
        const QByteArray bus = runtime + "/bus";
        struct stat st {};
        if (::stat(bus.constData(), &st) == 0 && S_ISSOCK(st.st_mode) && st.st_uid == ::getuid())
            // Every byte but letters, digits and "-_/." as %XX, as bus addresses allow.
            address = "unix:path=" + bus.toPercentEncoding("/", "~");
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
}

// Debian's fonts-wine ships a free Tahoma outside fontconfig's folders.
void trezorka::ui::register_tahoma()
{
    static const bool done = [] {
        for (const char* face : {"tahoma.ttf", "tahomabd.ttf"}) {
            const QString file = QStringLiteral("/usr/share/wine/fonts/") + QLatin1String(face);
            if (QFile::exists(file))
                QFontDatabase::addApplicationFont(file);
        }
        return true;
    }();
    (void)done;
}
