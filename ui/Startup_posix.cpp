#include "Startup.h"

#include "Style.h"
#include "native_path.h"

#include <QFile>
#include <QFontDatabase>

QString trezorka::ui::first_argument(int argc, char** argv)
{
    if (argc < 2 || argv[1] == nullptr)
        return {};
    return qs(trezorka::utf16_from_native_bytes(argv[1]));
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
