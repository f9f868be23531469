#include "FileDrop.h"

#include "Style.h"
#include "native_path.h"

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include <filesystem>
#include <system_error>

FileDrop::FileDrop(QWidget* window, std::function<bool()> accepting, std::function<void(const QString&)> take)
    : QObject(window), window_(window), accepting_(std::move(accepting)), take_(std::move(take))
{
    window->setAcceptDrops(true);
    window->installEventFilter(this);
}

void FileDrop::watch(QWidget* field)
{
    field->installEventFilter(this);
}

QString FileDrop::dropped_file(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return {};
    const QList<QUrl> urls = data->urls();
    for (const QUrl& url : urls) {
        const QString path = local_path_of(url);
        if (path.isEmpty())
            continue;
        // A folder cannot be encrypted; the user meant something else.
        std::error_code ec;
        if (std::filesystem::is_directory(trezorka::to_native_path(trezorka::ui::u16(path)), ec))
            continue;
        return path;
    }
    return {};
}

bool FileDrop::take_drag(QDropEvent* event) const
{
    if (!accepting_() || dropped_file(event->mimeData()).isEmpty())
        return false;
    // Never a move: the file manager would delete the source once it was
    // "moved" here.
    if (event->possibleActions().testFlag(Qt::CopyAction))
        event->setDropAction(Qt::CopyAction);
    else if (event->possibleActions().testFlag(Qt::LinkAction))
        event->setDropAction(Qt::LinkAction);
    else
        return false;
    return true;
}

bool FileDrop::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return false;
    auto* drop = static_cast<QDropEvent*>(event);
    // Over a field, only drags of files are ours.
    if (watched != window_ && !(drop->mimeData() && drop->mimeData()->hasUrls()))
        return false;
    if (!take_drag(drop)) {
        event->ignore();
        return true;
    }
    event->accept();
    if (type == QEvent::Drop) {
        const QString path = dropped_file(drop->mimeData());
        QMetaObject::invokeMethod(
            this,
            [this, path] {
                if (accepting_())
                    take_(path);
            },
            Qt::QueuedConnection);
    }
    return true;
}
