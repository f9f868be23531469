#include "Startup.h"

#include "Style.h"
#include "native_path.h"

QString trezorka::ui::first_argument(int argc, char** argv)
{
    if (argc < 2 || argv[1] == nullptr)
        return {};
    return qs(trezorka::utf16_from_native_bytes(argv[1]));
}
