#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QDropEvent;
class QMimeData;
class QUrl;
class QWidget;

// Files dropped on the window: the first local file that is not a folder is
// taken as a command-line argument would be, once the drop is over. Drags
// carrying files or links are the window's wherever they are, also over the
// password fields (which would type the path in); plain text stays the edit
// boxes' own.
class FileDrop : public QObject {
    Q_OBJECT
public:
    // `accepting`: whether a drop may be taken now; `take`: runs with the path
    // after the drop is over (the program the file came from waits for it).
    FileDrop(QWidget* window, std::function<bool()> accepting, std::function<void(const QString&)> take);

    // Also takes the drags over `field`.
    void watch(QWidget* field);

    // The file a drag brings, as a command-line argument would name it; empty
    // when there is none.
    static QString dropped_file(const QMimeData* data);

    // The path of a local file the address names, as a command-line argument
    // would name it; empty for anything else. One implementation per platform.
    static QString local_path_of(const QUrl& url);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool take_drag(QDropEvent* event) const;

    QWidget* window_;
    std::function<bool()> accepting_;
    std::function<void(const QString&)> take_;
};
