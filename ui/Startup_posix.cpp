#include "Startup.h"

#include "Style.h"
#include "native_path.h"

#include <QFile>
#include <QFontDatabase>

#include <string>
#include <vector>

trezorka::rules::CommandLine trezorka::ui::command_line(int argc, char** argv)
{
    // Only the first two arguments can matter: "--" and the file after it.
    std::vector<std::u16string> args;
    for (int i = 1; i < argc && i < 3 && argv[i] != nullptr; ++i)
        args.push_back(trezorka::utf16_from_native_bytes(argv[i]));
    return rules::read_command_line(args);
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
