// The window writes nothing but its target: running and confirming the real
// open and save dialogs must leave the user's home and XDG folders empty.
#include "QtUiPlatform.h"
#include "SharedJob.h"
#include "Startup.h"
#include "Tmain.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <cstdlib>
#include <memory>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// Set before Qt reads any of it: the home and XDG folders of this process.
std::unique_ptr<QTemporaryDir> home;
// Where the dialogs point: outside the watched home.
std::unique_ptr<QTemporaryDir> work;

QStringList everything_in(const QString& folder)
{
    QStringList found;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next();
    return found;
}

// Confirms the file dialog found open shortly, with `name` typed in when given.
void confirm_dialog_soon(int* confirmed, const QString& name = {})
{
    QTimer::singleShot(300, [confirmed, name] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* d = qobject_cast<QFileDialog*>(w); d && d->isVisible()) {
                if (!name.isEmpty()) {
                    auto* edit = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                    if (edit)
                        edit->setText(name);
                }
                QMetaObject::invokeMethod(d, "accept");
                ++*confirmed;
                // A new name is followed by the question before creating it.
                QTimer::singleShot(300, [] {
                    for (QWidget* w : QApplication::topLevelWidgets())
                        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
                            box->button(QMessageBox::Yes)->click();
                });
                return;
            }
        }
    });
}

} // namespace

class TmainPortableTest : public QObject {
    Q_OBJECT

private slots:
    // The session bus the program will use: the desktop's, or none, never
    // one the bus library would start (and leave running) for it.
    void sessionBus_data()
    {
        QTest::addColumn<QByteArray>("given");    // DBUS_SESSION_BUS_ADDRESS; null: unset
        QTest::addColumn<QString>("runtime");     // XDG_RUNTIME_DIR below a fresh folder; null: unset
        QTest::addColumn<QString>("bus");         // at $XDG_RUNTIME_DIR/bus: "socket", "file" or nothing
        QTest::addColumn<QByteArray>("expected"); // %1: the fresh folder
        QTest::newRow("the desktop's address kept") << QByteArray("unix:path=/run/user/1/bus") << "run" << "socket"
                                                    << QByteArray("unix:path=/run/user/1/bus");
        QTest::newRow("none given: the runtime folder's bus") << QByteArray() << "run" << "socket"
                                                              << QByteArray("unix:path=%1/run/bus");
        QTest::newRow("an empty one is none") << QByteArray("") << "run" << "socket"
                                              << QByteArray("unix:path=%1/run/bus");
        QTest::newRow("the folder's name escaped") << QByteArray() << "run time~" << "socket"
                                                   << QByteArray("unix:path=%1/run%20time%7E/bus");
        QTest::newRow("no bus there: none, nothing started") << QByteArray() << "run" << "" << QByteArray("disabled:");
        QTest::newRow("a file is no bus") << QByteArray() << "run" << "file" << QByteArray("disabled:");
        QTest::newRow("no runtime folder") << QByteArray() << QString() << "" << QByteArray("disabled:");
    }

    void sessionBus()
    {
        QFETCH(QByteArray, given);
        QFETCH(QString, runtime);
        QFETCH(QString, bus);
        QFETCH(QByteArray, expected);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QByteArray folder = QFile::encodeName(dir.filePath(runtime));
        const QByteArray bus_path = folder + "/bus";
        const int listening = ::socket(AF_UNIX, SOCK_STREAM, 0);
        QVERIFY(listening >= 0);
        const auto close_socket = qScopeGuard([listening] { ::close(listening); });
        if (!runtime.isNull()) {
            QVERIFY(QDir().mkpath(QFile::decodeName(folder)));
            if (bus == u"socket"_s) {
                sockaddr_un address{};
                address.sun_family = AF_UNIX;
                QVERIFY(std::size_t(bus_path.size()) < sizeof address.sun_path);
                std::copy(bus_path.begin(), bus_path.end(), address.sun_path);
                QCOMPARE(::bind(listening, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
            }
            if (bus == u"file"_s) {
                QFile f(QFile::decodeName(bus_path));
                QVERIFY(f.open(QIODevice::WriteOnly));
            }
        }
        const QByteArray saved_address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        const QByteArray saved_runtime = qgetenv("XDG_RUNTIME_DIR");
        given.isNull() ? qunsetenv("DBUS_SESSION_BUS_ADDRESS") : qputenv("DBUS_SESSION_BUS_ADDRESS", given);
        runtime.isNull() ? qunsetenv("XDG_RUNTIME_DIR") : qputenv("XDG_RUNTIME_DIR", folder);
        trezorka::ui::use_desktop_session_bus();
        const QByteArray chosen = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        for (const auto& [name, value] : {std::pair{"DBUS_SESSION_BUS_ADDRESS", saved_address},
                                          std::pair{"XDG_RUNTIME_DIR", saved_runtime}})
            value.isNull() ? qunsetenv(name) : qputenv(name, value);
        QCOMPARE(chosen, QByteArray(expected).replace("%1", QFile::encodeName(dir.path())));
    }

    void dialogsLeaveNoTrace()
    {
        QVERIFY(home->isValid());
        QVERIFY(work->isValid());
        const QString source = work->filePath(u"report.pdf"_s);
        {
            QFile f(source);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("plain");
        }

        SharedJob job;
        QtUiPlatform platform;
        Tmain w(job, platform, source);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.finalfile->text(), source + u".t2k"_s);

        int confirmed = 0;
        confirm_dialog_soon(&confirmed);
        w.chosefilelabelClick();
        QCOMPARE(confirmed, 1);
        QCOMPARE(w.filetocrypt->text(), source);

        // A new name: confirming the proposed one would ask before overwriting.
        confirm_dialog_soon(&confirmed, work->filePath(u"x.t2k"_s));
        w.savetochose_labelClick();
        QCOMPARE(confirmed, 2);
        QCOMPARE(w.finalfile->text(), work->filePath(u"x.pdf.t2k"_s));
        QCOMPARE(w.saveto_confirmed_path(), work->filePath(u"x.t2k"_s));

        w.close();
        QTest::qWait(100);
        QCOMPARE(everything_in(home->path()), QStringList());
        // Nor anything beside the source in its own folder.
        QCOMPARE(QDir(work->path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"report.pdf"_s});
    }
};

int main(int argc, char** argv)
{
    home = std::make_unique<QTemporaryDir>();
    work = std::make_unique<QTemporaryDir>();
    const QByteArray h = home->path().toLocal8Bit();
    for (const char* var : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"}) {
        const QByteArray path = h + (qstrcmp(var, "HOME") == 0 ? QByteArray() : QByteArray("/") + var);
        qputenv(var, path);
    }
    QApplication app(argc, argv);
    TmainPortableTest test;
    const int status = QTest::qExec(&test, argc, argv);
    work.reset();
    home.reset();
    return status;
}

#include "tst_tmain_portable.moc"
