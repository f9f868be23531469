#include "Startup.h"

#include "Style.h"
#include "native_path.h"

#include <QFile>
#include <QFontDatabase>

#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

trezorka::rules::CommandLine trezorka::ui::command_line(int argc, char** argv)
{
    // Only the first two arguments can matter: "--" and the file after it.
    std::vector<std::u16string> args;
    for (int i = 1; i < argc && i < 3 && argv[i] != nullptr; ++i)
        args.push_back(trezorka::utf16_from_native_bytes(argv[i]));
    return rules::read_command_line(args);
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
