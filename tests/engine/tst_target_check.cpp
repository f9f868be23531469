// What a job is refused before it starts, and the texts both faces print.

#include "printable_name.h"
#include "target_check.h"
#include "test_util.h"

#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace trezorka;
using namespace test_util;
namespace fs = std::filesystem;

Q_DECLARE_METATYPE(trezorka::EndpointProblem)

class TestTargetCheck : public QObject {
    Q_OBJECT

private slots:
    void endpoints_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("replace");
        QTest::addColumn<EndpointProblem>("expected");
        using P = EndpointProblem;
        QTest::newRow("a new target") << "plain" << "plain.t2k" << false << P::None;
        QTest::newRow("an existing target, replaced") << "plain" << "old" << true << P::None;
        QTest::newRow("an existing target, kept") << "plain" << "old" << false << P::TargetExists;
        QTest::newRow("a dangling link, kept") << "plain" << "dangling" << false << P::TargetExists;
        QTest::newRow("no source name") << "" << "out" << true << P::NoSource;
        QTest::newRow("no target name") << "plain" << "" << true << P::NoTarget;
        QTest::newRow("missing source") << "nothing" << "out" << true << P::SourceUnusable;
        QTest::newRow("source is a folder") << "sub" << "out" << true << P::SourceUnusable;
        QTest::newRow("source is a named pipe") << "fifo" << "out" << true << P::SourceUnusable;
        QTest::newRow("source is /dev/zero") << "/dev/zero" << "out" << true << P::SourceUnusable;
        QTest::newRow("source is a file of /proc") << "/proc/self/status" << "out" << true << P::SourceUnusable;
        QTest::newRow("target is the source") << "plain" << "plain" << true << P::SameFile;
        QTest::newRow("target is a hard link to the source") << "plain" << "hard" << true << P::SameFile;
        QTest::newRow("target links to the source") << "plain" << "link" << true << P::SameFile;
        QTest::newRow("target is a folder") << "plain" << "sub" << true << P::TargetUnusable;
        QTest::newRow("target is a named pipe") << "plain" << "fifo" << true << P::TargetUnusable;
        QTest::newRow("missing target folder") << "plain" << "nowhere/out" << true << P::TargetUnusable;
        QTest::newRow("target folder is a file") << "plain" << "old/out" << true << P::TargetUnusable;
        QTest::newRow("target name too long") << "plain" << QString(300, 'n') << true << P::TargetUnusable;
        QTest::newRow("target name just short enough") << "plain" << QString(255, 'n') << true << P::None;
        QTest::newRow("read-only target folder") << "plain" << "ro/out" << true << P::TargetUnusable;
    }
    void endpoints()
    {
        QFETCH(QString, source);
        QFETCH(QString, target);
        QFETCH(bool, replace);
        QFETCH(EndpointProblem, expected);
        if (QByteArray(QTest::currentDataTag()).startsWith("read-only") && ::geteuid() == 0)
            QSKIP("root may write anywhere");
        QTemporaryDir temp;
        const fs::path dir = temp.path().toStdString();
        write_file(dir / "plain", Bytes{'p'});
        write_file(dir / "old", Bytes{'o'});
        fs::create_directory(dir / "sub");
        fs::create_directory(dir / "ro");
        fs::permissions(dir / "ro", fs::perms(0555));
        fs::create_hard_link(dir / "plain", dir / "hard");
        fs::create_symlink("plain", dir / "link");
        fs::create_symlink("nowhere", dir / "dangling");
        QCOMPARE(::mkfifo((dir / "fifo").c_str(), 0600), 0);
        const auto endpoint = [&](const QString& name) {
            return Endpoint::file(name.isEmpty() ? fs::path() : name.startsWith('/') ? fs::path(name.toStdString())
                                                                                     : dir / name.toStdString());
        };
        const auto before = entries(dir);

        const EndpointCheck check = check_endpoints(endpoint(source), endpoint(target), replace);
        QCOMPARE(check.problem, expected);
        QCOMPARE(check.message.empty(), expected == EndpointProblem::None);
        QCOMPARE(entries(dir), before); // only looked
        fs::permissions(dir / "ro", fs::perms::owner_all);
    }

    // Descriptors: the same file behind both is refused, two pipes are not.
    void descriptorEndpoints()
    {
        QTemporaryDir temp;
        const fs::path file = fs::path(temp.path().toStdString()) / "f";
        write_file(file, Bytes{'x'});
        const int a = ::open(file.c_str(), O_RDONLY);
        const int b = ::open(file.c_str(), O_WRONLY);
        int pipe_a[2], pipe_b[2];
        QCOMPARE(::pipe(pipe_a), 0);
        QCOMPARE(::pipe(pipe_b), 0);
        QCOMPARE(check_endpoints(Endpoint::descriptor(a), Endpoint::descriptor(b), true).problem,
                 EndpointProblem::SameFile);
        QCOMPARE(check_endpoints(Endpoint::descriptor(a), Endpoint::file(file), true).problem, EndpointProblem::SameFile);
        QCOMPARE(check_endpoints(Endpoint::descriptor(pipe_a[0]), Endpoint::descriptor(pipe_b[1]), true).problem,
                 EndpointProblem::None);
        for (int fd : {a, b, pipe_a[0], pipe_a[1], pipe_b[0], pipe_b[1]})
            ::close(fd);
    }

    void printableNames_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("shown");
        QTest::newRow("plain Czech") << QByteArray("žluťoučký kůň.txt") << QByteArray("žluťoučký kůň.txt");
        QTest::newRow("line break") << QByteArray("a\nb") << QByteArray("a\\x0ab");
        QTest::newRow("carriage return and tab") << QByteArray("a\r\tb") << QByteArray("a\\x0d\\x09b");
        QTest::newRow("terminal escape") << QByteArray("\x1b[2Jx") << QByteArray("\\x1b[2Jx");
        QTest::newRow("delete") << QByteArray("a\x7f") << QByteArray("a\\x7f");
        QTest::newRow("C1 control (CSI)") << QByteArray("a\xc2\x9b" "31m") << QByteArray("a\\u009b31m");
        QTest::newRow("right-to-left override") << QByteArray("evil\xe2\x80\xaetxt.exe")
                                                << QByteArray("evil\\u202etxt.exe");
        QTest::newRow("invalid UTF-8 kept") << QByteArray("caf\xe9 \xff") << QByteArray("caf\xe9 \xff");
        QTest::newRow("truncated sequence at the end") << QByteArray("a\xe2\x80") << QByteArray("a\xe2\x80");
        QTest::newRow("backslash kept") << QByteArray("C:\\x") << QByteArray("C:\\x");
    }
    void printableNames()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, shown);
        const std::string out = printable_name(std::string_view(name.constData(), std::size_t(name.size())));
        QCOMPARE(QByteArray::fromStdString(out), shown);
    }
};

QTEST_GUILESS_MAIN(TestTargetCheck)
#include "tst_target_check.moc"
