#include "FileDrop.h"

#include "Style.h"
#include "native_path.h"

#include <QSysInfo>
#include <QUrl>

// A file name is bytes; QUrl::toLocalFile would replace those that are not
// UTF-8, so the path is taken from its percent-encoded form and kept byte for
// byte, as the command line keeps it.
QString FileDrop::local_path_of(const QUrl& url)
{
    if (!url.isLocalFile())
        return {};
    const QString host = url.host();
    if (!host.isEmpty() && host != QLatin1String("localhost") && host != QSysInfo::machineHostName())
        return {};
    const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    if (bytes.isEmpty() || bytes.contains('\0'))
        return {};
    return trezorka::ui::qs(
        trezorka::utf16_from_native_bytes(std::string_view(bytes.constData(), std::size_t(bytes.size()))));
}
