// What a job is refused before it starts, and the texts both faces print.

#include "printable_name.h"
#include "stream_job.h"
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

    // A link in a sticky folder that all may write in, which the kernel's
    // guard would not follow: refused when another user made it; our own
    // links and the folder owner's are followed.
    void foreignLinks_data()
    {
        QTest::addColumn<int>("linkOwner");
        QTest::addColumn<int>("folderMode");
        QTest::addColumn<bool>("refused");
        const int self = 0, folder_owner = 65534, other = 65533;
        QTest::newRow("another user's link in a shared folder") << other << 01777 << true;
        QTest::newRow("our own link there") << self << 01777 << false;
        QTest::newRow("the folder owner's link there") << folder_owner << 01777 << false;
        QTest::newRow("another user's link, folder not sticky") << other << 0777 << false;
        QTest::newRow("another user's link, folder not writable by all") << other << 01775 << false;
    }
    void foreignLinks()
    {
        QFETCH(int, linkOwner);
        QFETCH(int, folderMode);
        QFETCH(bool, refused);
        if (::geteuid() != 0)
            QSKIP("only root can make links owned by others");
        QTemporaryDir temp;
        const fs::path dir = temp.path().toStdString();
        write_file(dir / "plain", Bytes{'p'});
        write_file(dir / "victim", Bytes{'v'});
        fs::create_directory(dir / "shared");
        QCOMPARE(::chown((dir / "shared").c_str(), 65534, 65534), 0);
        QCOMPARE(::chmod((dir / "shared").c_str(), static_cast<mode_t>(folderMode)), 0);
        const fs::path link = dir / "shared" / "report.t2k";
        fs::create_symlink("../victim", link);
        QCOMPARE(::lchown(link.c_str(), static_cast<uid_t>(linkOwner), static_cast<gid_t>(linkOwner)), 0);

        const EndpointCheck check = check_endpoints(Endpoint::file(dir / "plain"), Endpoint::file(link), true);
        QCOMPARE(bool(check), refused);
        QVERIFY2(!refused || QString::fromStdString(check.message).contains(u"symbolický odkaz jiného uživatele"),
                 check.message.c_str());
        StreamJob job;
        job.source = Endpoint::file(dir / "plain");
        job.target = Endpoint::file(link);
        bool ran = true;
        try {
            run_stream_job(job, u"heslo");
        } catch (const JobError&) {
            ran = false;
        }
        QCOMPARE(ran, !refused);
        QCOMPARE(read_file(dir / "victim") == (Bytes{'v'}), refused);
        QVERIFY(fs::is_symlink(link));
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
        QTest::newRow("truncated sequence at the end") << QByteArray("a\xe2\x80") << QByteArray("a\xe2\\x80");
        QTest::newRow("backslash kept") << QByteArray("C:\\x") << QByteArray("C:\\x");
        // Raw bytes an 8-bit terminal takes for C1 controls (0x9B: CSI).
        QTest::newRow("raw CSI byte") << QByteArray("a\x9b" "31m") << QByteArray("a\\x9b31m");
        QTest::newRow("raw 0x80 and 0x9f, 0xa0 kept") << QByteArray("\x80\x9f\xa0") << QByteArray("\\x80\\x9f\xa0");
        QTest::newRow("overlong ESC") << QByteArray("\xe0\x80\x9b") << QByteArray("\xe0\\x80\\x9b");
        QTest::newRow("encoded surrogate") << QByteArray("\xed\xa0\x80") << QByteArray("\xed\xa0\\x80");
        // Format characters (Cf), two, three and four bytes long.
        QTest::newRow("soft hyphen") << QByteArray("a\xc2\xad" "b") << QByteArray("a\\u00adb");
        QTest::newRow("Arabic letter mark") << QByteArray("\xd8\x9c") << QByteArray("\\u061c");
        QTest::newRow("zero-width space and joiner") << QByteArray("\xe2\x80\x8b\xe2\x80\x8d")
                                                     << QByteArray("\\u200b\\u200d");
        QTest::newRow("word joiner, invisible times") << QByteArray("\xe2\x81\xa0\xe2\x81\xa2")
                                                      << QByteArray("\\u2060\\u2062");
        QTest::newRow("byte order mark") << QByteArray("\xef\xbb\xbfx") << QByteArray("\\ufeffx");
        QTest::newRow("interlinear annotation") << QByteArray("\xef\xbf\xb9") << QByteArray("\\ufff9");
        QTest::newRow("Kaithi number sign") << QByteArray("\xf0\x91\x82\xbd") << QByteArray("\\U000110bd");
        QTest::newRow("musical symbol begin beam") << QByteArray("\xf0\x9d\x85\xb3") << QByteArray("\\U0001d173");
        QTest::newRow("language tag, cancel tag") << QByteArray("\xf3\xa0\x80\x81\xf3\xa0\x81\xbf")
                                                  << QByteArray("\\U000e0001\\U000e007f");
        // Visible neighbours stay.
        QTest::newRow("no-break space, en dash, emoji kept") << QByteArray("\xc2\xa0\xe2\x80\x93\xf0\x9f\x98\x80")
                                                             << QByteArray("\xc2\xa0\xe2\x80\x93\xf0\x9f\x98\x80");
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
