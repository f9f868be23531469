#include "FileDrop.h"

#include <QDir>
#include <QUrl>

QString FileDrop::local_path_of(const QUrl& url)
{
    return url.isLocalFile() ? QDir::toNativeSeparators(url.toLocalFile()) : QString();
}
