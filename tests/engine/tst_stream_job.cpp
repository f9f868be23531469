// The stream job: output bytes, and what every failure leaves on disk.

#include "cipher.h"
#include "naming.h"
#include "native_path.h"
#include "no_nameless_files.h"
#include "pending_file.h"
#include "secure_text.h"
#include "stream_job.h"
#include "system_error_text.h"
#include "test_util.h"

#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <thread>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace trezorka;
using namespace test_util;
namespace fs = std::filesystem;

namespace {

constexpr std::u16string_view password = u"Trezor";
constexpr uid_t nobody = 65534;

Bytes reference_rc4(Bytes data, KeyRule rule = KeyRule::Strong128)
{
    CipherContext context = CipherContext::acquire();
    CipherKey key = context.import_rc4_key(derive_key_bytes(password, rule).span());
    key.encrypt(data);
    return data;
}

StreamJob file_job(const fs::path& source, const fs::path& target, bool encrypt = true)
{
    StreamJob job;
    job.source = Endpoint::file(source);
    job.target = Endpoint::file(target);
    job.encrypt = encrypt;
    return job;
}

// Runs `body` in a child process (for process-wide limits and the abort that
// never gives its lock back); returns the child's exit status.
template <typename Body>
int in_child(Body body)
{
    const pid_t pid = fork();
    if (pid == 0) {
        int status = 99;
        try {
            status = body();
        } catch (...) {
            status = 98;
        }
        _exit(status);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 200 + WTERMSIG(status);
}

// The VmFlags line of /proc/self/smaps for the mapping holding `address`.
std::string vm_flags_at(std::uintptr_t address)
{
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    bool inside = false;
    while (std::getline(smaps, line)) {
        unsigned long from = 0, to = 0;
        if (std::sscanf(line.c_str(), "%lx-%lx ", &from, &to) == 2 && line.find(' ') != std::string::npos
            && line.find(':') > line.find(' '))
            inside = address >= from && address < to;
        else if (inside && line.rfind("VmFlags:", 0) == 0)
            return line;
    }
    return {};
}

} // namespace

class TestStreamJob : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> temp_;
    fs::path dir_;

private slots:
    void init()
    {
        temp_ = std::make_unique<QTemporaryDir>();
        QVERIFY(temp_->isValid());
        dir_ = fs::path(temp_->path().toStdString());
    }

    void cleanup()
    {
        // QTemporaryDir cannot remove names that are not UTF-8; the bytes API can.
        std::error_code ignored;
        fs::permissions(dir_ / "sub", fs::perms::owner_all, ignored);
        fs::remove_all(dir_, ignored);
    }

    void roundTrip_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("blockSize");
        const int slot = 256 * 1024;
        for (int length : {0, 1, 511, 512, 513, 1024, 65535, 65536, 65537, slot - 1, slot, slot + 1, 4 * slot + 3}) {
            for (int block : {int(default_block_size), int(legacy_block_size)})
                QTest::addRow("%d bytes, blocks of %d", length, block) << length << block;
        }
        QTest::newRow("513 bytes, blocks of 513") << 513 << 513;
        QTest::newRow("1 MiB+3, blocks of 1000") << 4 * slot + 3 << 1000;
        // Past several steps of the early flush, which runs beside the writes.
        QTest::newRow("17 MiB+7, blocks of 512") << 68 * slot + 7 << int(legacy_block_size);
    }
    void roundTrip()
    {
        QFETCH(int, length);
        QFETCH(int, blockSize);
        const Bytes plain = random_bytes(static_cast<std::size_t>(length), static_cast<std::uint32_t>(length));
        write_file(dir_ / "plain", plain);

        StreamJob enc = file_job(dir_ / "plain", dir_ / "plain.t2k");
        enc.block_size = static_cast<std::size_t>(blockSize);
        run_stream_job(enc, password);
        const Bytes encrypted = read_file(dir_ / "plain.t2k");
        QCOMPARE(encrypted.size(), plain.size());
        QVERIFY(encrypted == reference_rc4(plain));

        StreamJob dec = file_job(dir_ / "plain.t2k", dir_ / "back", false);
        dec.block_size = static_cast<std::size_t>(blockSize);
        run_stream_job(dec, password);
        QVERIFY(read_file(dir_ / "back") == plain);
        QCOMPARE(entries(dir_), (std::set<std::string>{"back", "plain", "plain.t2k"}));
    }

    // Bytes already read from a descriptor (to look at the start) go first,
    // then the rest of the descriptor: the same output as the whole at once.
    void descriptorWithPrefix_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("prefix");
        QTest::newRow("no prefix") << 300000 << 0;
        QTest::newRow("1 byte") << 300000 << 1;
        QTest::newRow("64 KiB, more after it") << 300000 << 65536;
        QTest::newRow("longer than a slot") << 300000 << 262145;
        QTest::newRow("the whole source") << 70000 << 70000;
    }
    void descriptorWithPrefix()
    {
        QFETCH(int, length);
        QFETCH(int, prefix);
        const Bytes plain = random_bytes(static_cast<std::size_t>(length), 21);
        write_file(dir_ / "plain", plain);
        const int fd = ::open((dir_ / "plain").c_str(), O_RDONLY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        const Bytes start(plain.begin(), plain.begin() + prefix);
        QCOMPARE(::lseek(fd, prefix, SEEK_SET), off_t(prefix));

        StreamJob job = file_job({}, dir_ / "out");
        job.source = Endpoint::descriptor(fd);
        job.source_prefix = start;
        run_stream_job(job, password);
        ::close(fd);
        QVERIFY(read_file(dir_ / "out") == reference_rc4(plain));
    }

    void blockSizeIndependence()
    {
        const Bytes plain = random_bytes(700 * 1024 + 13, 1);
        write_file(dir_ / "plain", plain);
        const Bytes expected = reference_rc4(plain);
        for (std::size_t block : {std::size_t(7), std::size_t(511), legacy_block_size, std::size_t(513),
                                  std::size_t(4096), default_block_size, std::size_t(262144), std::size_t(262145),
                                  std::size_t(1) << 20}) {
            StreamJob job = file_job(dir_ / "plain", dir_ / "out");
            job.block_size = block;
            run_stream_job(job, password);
            QVERIFY2(read_file(dir_ / "out") == expected, std::to_string(block).c_str());
        }
    }

    void base40Job()
    {
        const Bytes plain = random_bytes(1000, 3);
        write_file(dir_ / "plain", plain);
        StreamJob job = file_job(dir_ / "plain", dir_ / "out");
        job.key_rule = KeyRule::Base40;
        run_stream_job(job, password);
        QVERIFY(read_file(dir_ / "out") == reference_rc4(plain, KeyRule::Base40));
    }

    void replacesExistingTarget()
    {
        const Bytes plain = random_bytes(5000, 4);
        write_file(dir_ / "plain", plain);
        write_file(dir_ / "out", Bytes(100000, 'x'));
        ::chmod((dir_ / "out").c_str(), 0640);
        run_stream_job(file_job(dir_ / "plain", dir_ / "out"), password);
        QVERIFY(read_file(dir_ / "out") == reference_rc4(plain));
        QCOMPARE(fs::status(dir_ / "out").permissions(), fs::perms(0640));

        const mode_t old_mask = ::umask(022);
        run_stream_job(file_job(dir_ / "plain", dir_ / "new"), password);
        ::umask(old_mask);
        QCOMPARE(fs::status(dir_ / "new").permissions(), fs::perms(0644));
        QCOMPARE(entries(dir_), (std::set<std::string>{"new", "out", "plain"}));
    }

    // A link as the target: the file it points to gets the bytes, the link stays.
    void targetIsALink()
    {
        const Bytes plain = random_bytes(3000, 16);
        write_file(dir_ / "plain", plain);
        fs::create_directory(dir_ / "sub");
        write_file(dir_ / "sub" / "real", Bytes{'o', 'l', 'd'});
        fs::create_symlink("sub/real", dir_ / "link");
        run_stream_job(file_job(dir_ / "plain", dir_ / "link"), password);
        QVERIFY(fs::is_symlink(dir_ / "link"));
        QVERIFY(read_file(dir_ / "sub" / "real") == reference_rc4(plain));
        QCOMPARE(entries(dir_ / "sub"), (std::set<std::string>{"real"}));
        QCOMPARE(entries(dir_), (std::set<std::string>{"link", "plain", "sub"}));
    }

    void keepsExistingTargetWhenAsked()
    {
        const Bytes plain = random_bytes(5000, 5);
        write_file(dir_ / "plain", plain);
        write_file(dir_ / "out", Bytes{'o', 'l', 'd'});
        StreamJob job = file_job(dir_ / "plain", dir_ / "out");
        job.replace_existing = false;
        QVERIFY_THROWS_EXCEPTION(TargetExistsError, run_stream_job(job, password));
        QVERIFY(read_file(dir_ / "out") == (Bytes{'o', 'l', 'd'}));
        // a dangling link is something at the path too
        fs::create_symlink("nowhere", dir_ / "dangling");
        job.target = Endpoint::file(dir_ / "dangling");
        QVERIFY_THROWS_EXCEPTION(TargetExistsError, run_stream_job(job, password));
        QCOMPARE(entries(dir_), (std::set<std::string>{"dangling", "out", "plain"}));

        job.target = Endpoint::file(dir_ / "fresh");
        run_stream_job(job, password);
        QVERIFY(read_file(dir_ / "fresh") == reference_rc4(plain));
    }

    // A target name that was free when the job started is taken only while
    // it is still free, in every face: what appeared there meanwhile stays.
    void newTargetNeverReplaced_data()
    {
        QTest::addColumn<bool>("named");    // the temporary has a name (no O_TMPFILE)
        QTest::addColumn<QString>("appears"); // "file" or "link"
        QTest::newRow("a file appears") << false << "file";
        QTest::newRow("a link appears") << false << "link";
        QTest::newRow("a file appears, named temporary") << true << "file";
    }
    void newTargetNeverReplaced()
    {
        QFETCH(bool, named);
        QFETCH(QString, appears);
        write_file(dir_ / "plain", random_bytes(5 * 1024 * 1024, 25));
        write_file(dir_ / "victim", Bytes{'v'});
        const int status = in_child([&] {
            if (named && !refuse_nameless_files())
                return 2;
            StreamJob job = file_job(dir_ / "plain", dir_ / "out");
            job.replace_existing = true; // as the window asks for
            job.progress = [&](std::uint64_t, std::uint64_t) {
                if (fs::exists(fs::symlink_status(dir_ / "out")))
                    return;
                if (appears == "link")
                    fs::create_symlink("victim", dir_ / "out");
                else
                    write_file(dir_ / "out", Bytes{'t', 'h', 'e', 'i', 'r', 's'});
            };
            try {
                run_stream_job(job, password);
                return 1;
            } catch (const TargetExistsError&) {
                return 0;
            }
        });
        QCOMPARE(status, 0);
        if (appears == "link")
            QCOMPARE(fs::read_symlink(dir_ / "out"), fs::path("victim"));
        else
            QVERIFY(read_file(dir_ / "out") == (Bytes{'t', 'h', 'e', 'i', 'r', 's'}));
        QVERIFY(read_file(dir_ / "victim") == (Bytes{'v'}));
        QCOMPARE(entries(dir_), (std::set<std::string>{"out", "plain", "victim"}));
    }

    // A job first removes the hidden temporary files that killed jobs left in
    // its folder, and nothing else: not a file a live job holds, not another
    // user's, not a link, not a name outside the pattern.
    void removesOnlyOrphans_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("removed");
        const QString ours = ".trezorka-0123456789abcdef.tmp";
        QTest::newRow("orphan") << "file" << ours << true;
        QTest::newRow("held by a live job") << "locked" << ours << false;
        QTest::newRow("another user's") << "foreign" << ours << false;
        QTest::newRow("a link") << "link" << ours << false;
        QTest::newRow("a folder") << "folder" << ours << false;
        QTest::newRow("not hex") << "file" << ".trezorka-0123456789abcdeg.tmp" << false;
        QTest::newRow("capital hex") << "file" << ".trezorka-0123456789ABCDEF.tmp" << false;
        QTest::newRow("15 digits") << "file" << ".trezorka-0123456789abcde.tmp" << false;
        QTest::newRow("not hidden") << "file" << "trezorka-0123456789abcdef.tmp" << false;
    }
    void removesOnlyOrphans()
    {
        QFETCH(QString, kind);
        QFETCH(QString, name);
        QFETCH(bool, removed);
        if (kind == "foreign" && ::geteuid() != 0)
            QSKIP("only root can give a file to another owner");
        write_file(dir_ / "plain", random_bytes(1000, 26));
        write_file(dir_ / "victim", Bytes{'v'});
        const fs::path left = dir_ / name.toStdString();
        int holder = -1;
        if (kind == "link") {
            fs::create_symlink("victim", left);
        } else if (kind == "folder") {
            fs::create_directory(left);
        } else {
            write_file(left, Bytes{'s', 'e', 'c', 'r', 'e', 't'});
            ::chmod(left.c_str(), 0600);
            if (kind == "foreign")
                QCOMPARE(::chown(left.c_str(), nobody, nobody), 0);
            if (kind == "locked") {
                holder = ::open(left.c_str(), O_RDONLY | O_CLOEXEC);
                QCOMPARE(::flock(holder, LOCK_EX), 0);
            }
        }
        run_stream_job(file_job(dir_ / "plain", dir_ / "out"), password);
        if (holder >= 0)
            ::close(holder);
        QCOMPARE(!fs::exists(fs::symlink_status(left)), removed);
        QVERIFY(read_file(dir_ / "victim") == (Bytes{'v'}));
        QVERIFY(read_file(dir_ / "out") == reference_rc4(read_file(dir_ / "plain")));
    }

    // Each failure: JobError, and the folder exactly as it was.
    void failuresLeaveEverything_data()
    {
        QTest::addColumn<QString>("kind");
        for (const char* kind : {"missing source", "source is a folder", "missing target folder",
                                 "target is the source", "target links to the source",
                                 "target is the source through ..", "target is a hard link to the source",
                                 "target is a folder", "target is a named pipe", "unreadable source", "read-only target folder",
                                 "zero block size", "source is a named pipe with no writer", "source is /dev/zero",
                                 "source is a file of /proc", "source is a socket"})
            QTest::newRow(kind) << QString(kind);
    }
    void failuresLeaveEverything()
    {
        QFETCH(QString, kind);
        const bool root = ::geteuid() == 0;
        write_file(dir_ / "plain", random_bytes(300000, 6));
        write_file(dir_ / "out", Bytes{'o', 'l', 'd'});
        fs::create_directory(dir_ / "sub");
        StreamJob job = file_job(dir_ / "plain", dir_ / "out");

        if (kind == "missing source") {
            job.source = Endpoint::file(dir_ / "nothing");
        } else if (kind == "source is a folder") {
            job.source = Endpoint::file(dir_ / "sub");
        } else if (kind == "missing target folder") {
            job.target = Endpoint::file(dir_ / "nothing" / "out");
        } else if (kind == "target is the source") {
            job.target = Endpoint::file(dir_ / "plain");
        } else if (kind == "target links to the source") {
            fs::create_symlink("plain", dir_ / "link");
            job.target = Endpoint::file(dir_ / "link");
        } else if (kind == "target is the source through ..") {
            job.target = Endpoint::file(dir_ / "sub" / ".." / "plain");
        } else if (kind == "target is a hard link to the source") {
            fs::create_hard_link(dir_ / "plain", dir_ / "hard");
            job.target = Endpoint::file(dir_ / "hard");
        } else if (kind == "target is a folder") {
            job.target = Endpoint::file(dir_ / "sub");
        } else if (kind == "target is a named pipe") {
            QCOMPARE(::mkfifo((dir_ / "fifo").c_str(), 0644), 0);
            job.target = Endpoint::file(dir_ / "fifo");
        } else if (kind == "unreadable source") {
            ::chmod((dir_ / "plain").c_str(), 0);
        } else if (kind == "read-only target folder") {
            job.target = Endpoint::file(dir_ / "sub" / "out");
            ::chmod((dir_ / "sub").c_str(), 0555);
        } else if (kind == "zero block size") {
            job.block_size = 0;
        } else if (kind == "source is a named pipe with no writer") {
            QCOMPARE(::mkfifo((dir_ / "fifo").c_str(), 0644), 0);
            job.source = Endpoint::file(dir_ / "fifo");
        } else if (kind == "source is /dev/zero") {
            job.source = Endpoint::file("/dev/zero");
        } else if (kind == "source is a file of /proc") {
            job.source = Endpoint::file("/proc/self/status");
        } else if (kind == "source is a socket") {
            const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            const std::string name = (dir_ / "sock").native();
            QVERIFY(name.size() < sizeof address.sun_path);
            std::memcpy(address.sun_path, name.c_str(), name.size() + 1);
            QCOMPARE(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
            ::close(sock);
            job.source = Endpoint::file(dir_ / "sock");
        }

        const auto before = snapshot(dir_);
        if (root && (kind == "unreadable source" || kind == "read-only target folder")) {
            // Permissions do not stop root: the job runs as "nobody" in a child.
            for (const auto& entry : fs::recursive_directory_iterator(dir_))
                QCOMPARE(::lchown(entry.path().c_str(), nobody, nobody), 0);
            QCOMPARE(::chown(dir_.c_str(), nobody, nobody), 0);
            const int status = in_child([&] {
                if (::setgid(nobody) != 0 || ::setuid(nobody) != 0)
                    return 2;
                try {
                    run_stream_job(job, password);
                    return 1;
                } catch (const JobError&) {
                    return 0;
                }
            });
            QCOMPARE(status, 0);
        } else {
            // A source that blocks or never ends must be refused, not waited on.
            ::alarm(20);
            QVERIFY_THROWS_EXCEPTION(JobError, run_stream_job(job, password));
            ::alarm(0);
        }
        ::chmod((dir_ / "plain").c_str(), 0644);
        ::chmod((dir_ / "sub").c_str(), 0755);
        QCOMPARE(snapshot(dir_), before);
    }

    // The disk fills up part way: a file size limit in a child process.
    void diskFullPartWay()
    {
        write_file(dir_ / "plain", random_bytes(2 * 1024 * 1024, 8));
        write_file(dir_ / "out", Bytes{'o', 'l', 'd'});
        const auto before = snapshot(dir_);
        const int status = in_child([&] {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{300000, 300000};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            try {
                run_stream_job(file_job(dir_ / "plain", dir_ / "out"), password);
                return 1;
            } catch (const JobError& e) {
                // The cause in Czech, as the faces print it.
                return std::string(e.what()).find(system_error_text(EFBIG)) != std::string::npos ? 0 : 3;
            }
        });
        QCOMPARE(status, 0);
        QCOMPARE(snapshot(dir_), before);
    }

    // The source changes size while it is read: the job fails, the target stays.
    void sourceChangesSize_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("shrinks") << "shrink";
        QTest::newRow("grows") << "grow";
        QTest::newRow("rewritten in place at the same size") << "rewrite";
    }
    void sourceChangesSize()
    {
        QFETCH(QString, change);
        write_file(dir_ / "plain", random_bytes(3 * 1024 * 1024, 9));
        write_file(dir_ / "out", Bytes{'o', 'l', 'd'});
        StreamJob job = file_job(dir_ / "plain", dir_ / "out");
        bool changed = false;
        job.progress = [&](std::uint64_t, std::uint64_t) {
            if (changed)
                return;
            changed = true;
            if (change == "shrink") {
                fs::resize_file(dir_ / "plain", 100000);
            } else if (change == "rewrite") {
                // The bytes the job has not read yet, replaced: same size, same
                // second as the start on any coarse clock.
                const int fd = ::open((dir_ / "plain").c_str(), O_WRONLY);
                const Bytes other(1024 * 1024, 'r');
                QCOMPARE(::pwrite(fd, other.data(), other.size(), 2 * 1024 * 1024), ssize_t(other.size()));
                ::close(fd);
            } else {
                const int fd = ::open((dir_ / "plain").c_str(), O_WRONLY | O_APPEND);
                const Bytes more(1024 * 1024, 'm');
                QCOMPARE(::write(fd, more.data(), more.size()), ssize_t(more.size()));
                ::close(fd);
            }
        };
        QVERIFY_THROWS_EXCEPTION(JobError, run_stream_job(job, password));
        QVERIFY(changed);
        QVERIFY(read_file(dir_ / "out") == (Bytes{'o', 'l', 'd'}));
        QCOMPARE(entries(dir_), (std::set<std::string>{"out", "plain"}));
    }

    // Descriptors are used as they are: no temporary file, no rename.
    void descriptorEndpoints()
    {
        const Bytes plain = random_bytes(300001, 10);
        write_file(dir_ / "plain", plain);
        const int in = ::open((dir_ / "plain").c_str(), O_RDONLY);
        const int out = ::open((dir_ / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        StreamJob job;
        job.source = Endpoint::descriptor(in);
        job.target = Endpoint::descriptor(out);
        run_stream_job(job, password);
        // still open: the job does not close what it was given
        QVERIFY(::fcntl(in, F_GETFD) != -1);
        QVERIFY(::fcntl(out, F_GETFD) != -1);
        ::close(in);
        ::close(out);
        QVERIFY(read_file(dir_ / "out") == reference_rc4(plain));
        QCOMPARE(entries(dir_), (std::set<std::string>{"out", "plain"}));
    }

    void pipeSource()
    {
        const Bytes plain = random_bytes(777777, 11);
        int fds[2];
        QCOMPARE(::pipe(fds), 0);
        std::thread writer([&] {
            std::size_t at = 0;
            while (at < plain.size()) {
                const ssize_t n = ::write(fds[1], plain.data() + at, std::min<std::size_t>(10007, plain.size() - at));
                if (n <= 0)
                    break;
                at += static_cast<std::size_t>(n);
            }
            ::close(fds[1]);
        });
        StreamJob job;
        job.source = Endpoint::descriptor(fds[0]);
        job.target = Endpoint::file(dir_ / "out");
        job.block_size = legacy_block_size;
        std::uint64_t last_total = 1;
        job.progress = [&](std::uint64_t, std::uint64_t total) { last_total = total; };
        run_stream_job(job, password);
        writer.join();
        ::close(fds[0]);
        QCOMPARE(last_total, std::uint64_t(0));
        QVERIFY(read_file(dir_ / "out") == reference_rc4(plain));
    }

    // A read that fails part way through the pipeline: the job fails and the
    // temporary file goes.
    void readErrorLeavesTarget()
    {
        write_file(dir_ / "plain", random_bytes(100000, 17));
        write_file(dir_ / "out", Bytes{'o', 'l', 'd'});
        const auto before = snapshot(dir_);
        const int write_only = ::open((dir_ / "plain").c_str(), O_WRONLY);
        StreamJob job;
        job.source = Endpoint::descriptor(write_only);
        job.target = Endpoint::file(dir_ / "out");
        QVERIFY_THROWS_EXCEPTION(JobError, run_stream_job(job, password));
        ::close(write_only);
        QCOMPARE(snapshot(dir_), before);
    }

    void sameFileThroughDescriptors()
    {
        write_file(dir_ / "plain", random_bytes(1000, 12));
        const auto before = snapshot(dir_);
        const int in = ::open((dir_ / "plain").c_str(), O_RDONLY);
        const int out = ::open((dir_ / "plain").c_str(), O_WRONLY);
        StreamJob job;
        job.source = Endpoint::descriptor(in);
        job.target = Endpoint::descriptor(out);
        QVERIFY_THROWS_EXCEPTION(JobError, run_stream_job(job, password));
        job.target = Endpoint::file(dir_ / "plain");
        QVERIFY_THROWS_EXCEPTION(JobError, run_stream_job(job, password));
        ::close(in);
        ::close(out);
        QCOMPARE(snapshot(dir_), before);
    }

    void progressNowAndThen()
    {
        const std::size_t size = 9 * 1024 * 1024 + 5;
        write_file(dir_ / "plain", random_bytes(size, 13));
        StreamJob job = file_job(dir_ / "plain", dir_ / "out");
        job.block_size = legacy_block_size;
        std::vector<std::pair<std::uint64_t, std::uint64_t>> calls;
        const auto caller = std::this_thread::get_id();
        bool same_thread = true;
        job.progress = [&](std::uint64_t done, std::uint64_t total) {
            calls.emplace_back(done, total);
            same_thread = same_thread && std::this_thread::get_id() == caller;
        };
        run_stream_job(job, password);
        QVERIFY(same_thread);
        QVERIFY(calls.size() >= 2);
        QVERIFY(calls.size() < size / legacy_block_size / 100);
        QCOMPARE(calls.front(), std::make_pair(std::uint64_t(0), std::uint64_t(size)));
        QCOMPARE(calls.back(), std::make_pair(std::uint64_t(size), std::uint64_t(size)));
        for (std::size_t i = 1; i < calls.size(); ++i)
            QVERIFY(calls[i].first >= calls[i - 1].first);
    }

    // Sizes past 4 GiB: a sparse file, measured, and a job stopped at its start.
    void sizesPastFourGiB()
    {
        const std::uint64_t size = 5ull * 1024 * 1024 * 1024 + 17;
        {
            const int fd = ::open((dir_ / "big").c_str(), O_WRONLY | O_CREAT, 0644);
            QVERIFY(fd >= 0);
            QCOMPARE(::ftruncate(fd, static_cast<off_t>(size)), 0);
            ::close(fd);
        }
        QCOMPARE(file_size_probe(dir_ / "big"), std::int64_t(size));

        write_file(dir_ / "out", Bytes{'o', 'l', 'd'});
        StreamJob job = file_job(dir_ / "big", dir_ / "out");
        std::uint64_t seen_total = 0;
        job.progress = [&](std::uint64_t, std::uint64_t total) {
            seen_total = total;
            throw std::runtime_error("stop here");
        };
        QVERIFY_THROWS_EXCEPTION(JobError, run_stream_job(job, password));
        QCOMPARE(seen_total, size);
        QVERIFY(read_file(dir_ / "out") == (Bytes{'o', 'l', 'd'}));
        QCOMPARE(entries(dir_), (std::set<std::string>{"big", "out"}));
    }

    void sizeProbe_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("empty file") << "empty" << qint64(0);
        QTest::newRow("small file") << "small" << qint64(513);
        QTest::newRow("missing") << "missing" << qint64(-1);
        QTest::newRow("folder") << "folder" << qint64(-1);
    }
    void sizeProbe()
    {
        QFETCH(QString, kind);
        QFETCH(qint64, expected);
        write_file(dir_ / "empty", Bytes{});
        write_file(dir_ / "small", Bytes(513, 1));
        fs::create_directory(dir_ / "folder");
        QCOMPARE(file_size_probe(dir_ / kind.toStdString()), std::int64_t(expected));
    }

    // A name that is not UTF-8 survives naming, open and rename byte for byte.
    void undecodableFileNames()
    {
        const fs::path source = dir_ / std::string("\xff\xfe-\xc3(.bin");
        const Bytes plain = random_bytes(4321, 14);
        write_file(source, plain);
        const TargetProposal enc = propose_target(from_native_path(source));
        const fs::path target = to_native_path(enc.target);
        QCOMPARE(target.native(), source.native() + ".t2k");
        run_stream_job(file_job(to_native_path(from_native_path(source)), target), password);
        QVERIFY(read_file(target) == reference_rc4(plain));

        const fs::path back = to_native_path(
            recompose_target(from_native_path(dir_ / std::string("\xe9-copy")), enc.target, propose_target(enc.target).target));
        QCOMPARE(back.native(), (dir_ / std::string("\xe9-copy.bin")).native());
        run_stream_job(file_job(target, back, false), password);
        QVERIFY(read_file(back) == plain);
        QCOMPARE(entries(dir_).size(), std::size_t(3));
    }

    // SIGKILL at many moments of a job: whatever the moment, the folder holds
    // the source and either the old target or the whole new one, never a
    // temporary file or a part.
    void killedJobLeavesNothing_data()
    {
        QTest::addColumn<bool>("existingTarget");
        QTest::newRow("new target") << false;
        QTest::newRow("replaced target") << true;
    }
    void killedJobLeavesNothing()
    {
        QFETCH(bool, existingTarget);
        const Bytes plain = random_bytes(24 * 1024 * 1024, 21);
        write_file(dir_ / "plain", plain);
        const Bytes expected = reference_rc4(plain);
        const Bytes old{'o', 'l', 'd'};

        // How long a whole job takes here, to spread the kills over it.
        const auto start = std::chrono::steady_clock::now();
        run_stream_job(file_job(dir_ / "plain", dir_ / "timing"), password);
        const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
        fs::remove(dir_ / "timing");

        constexpr int moments = 16;
        int completed = 0;
        for (int moment = 0; moment <= moments; ++moment) {
            if (existingTarget)
                write_file(dir_ / "out", old);
            else
                fs::remove(dir_ / "out");
            const pid_t pid = fork();
            if (pid == 0) {
                forbid_core_dumps(); // the job must work in a process that is not dumpable
                try {
                    run_stream_job(file_job(dir_ / "plain", dir_ / "out"), password);
                } catch (...) {
                    _exit(1);
                }
                _exit(0);
            }
            // The last one runs to its end: the job must also succeed in a
            // process that is not dumpable.
            if (moment < moments) {
                std::this_thread::sleep_for(whole * moment / moments);
                ::kill(pid, SIGKILL);
            }
            int status = 0;
            waitpid(pid, &status, 0);
            QVERIFY2(!WIFEXITED(status) || WEXITSTATUS(status) == 0, "the job failed");
            std::set<std::string> expected_entries{"plain"};
            if (existingTarget || fs::exists(dir_ / "out"))
                expected_entries.insert("out");
            QCOMPARE(entries(dir_), expected_entries);
            if (fs::exists(dir_ / "out")) {
                const Bytes now = read_file(dir_ / "out");
                QVERIFY2(now == expected || (existingTarget && now == old), std::to_string(moment).c_str());
                completed += now == expected ? 1 : 0;
            }
        }
        // Some kills came mid-job, or the test proved nothing.
        QVERIFY(completed >= 1 && completed < moments);
    }

    // The target's folder is moved away mid-job, and maybe replaced by another:
    // the job fails, and neither folder gets anything.
    void folderMovedMidJob_data()
    {
        QTest::addColumn<bool>("replaced");
        QTest::newRow("moved") << false;
        QTest::newRow("moved and another put in its place") << true;
    }
    void folderMovedMidJob()
    {
        QFETCH(bool, replaced);
        write_file(dir_ / "plain", random_bytes(6 * 1024 * 1024, 22));
        fs::create_directory(dir_ / "sub");
        write_file(dir_ / "sub" / "out", Bytes{'o', 'l', 'd'});
        StreamJob job = file_job(dir_ / "plain", dir_ / "sub" / "out");
        bool moved = false;
        job.progress = [&](std::uint64_t done, std::uint64_t) {
            if (moved || done == 0)
                return;
            moved = true;
            fs::rename(dir_ / "sub", dir_ / "moved");
            if (replaced)
                fs::create_directory(dir_ / "sub");
        };
        QVERIFY_THROWS_EXCEPTION(JobError, run_stream_job(job, password));
        QVERIFY(moved);
        QCOMPARE(entries(dir_ / "moved"), (std::set<std::string>{"out"}));
        QVERIFY(read_file(dir_ / "moved" / "out") == (Bytes{'o', 'l', 'd'}));
        if (replaced)
            QVERIFY(entries(dir_ / "sub").empty());
        else
            QVERIFY(!fs::exists(dir_ / "sub"));
    }

    // The permissions a target gets: a new one no more than its source's, less
    // the umask; a replaced one keeps its own and, for root, its owner.
    void targetPermissions_data()
    {
        QTest::addColumn<int>("mask");
        QTest::addColumn<int>("sourceMode");
        QTest::addColumn<int>("existingMode"); // -1: no target yet
        QTest::addColumn<bool>("foreignOwner");
        QTest::addColumn<int>("expectedMode");
        QTest::newRow("new from 0600") << 022 << 0600 << -1 << false << 0600;
        QTest::newRow("new from 0644") << 022 << 0644 << -1 << false << 0644;
        QTest::newRow("new from 0644, umask 077") << 077 << 0644 << -1 << false << 0600;
        QTest::newRow("new from 0666, umask 002") << 002 << 0666 << -1 << false << 0664;
        QTest::newRow("new from 0400") << 022 << 0400 << -1 << false << 0400;
        QTest::newRow("replaced 0640 from 0600") << 022 << 0600 << 0640 << false << 0640;
        QTest::newRow("replaced 0604, umask 077") << 077 << 0644 << 0604 << false << 0604;
        QTest::newRow("replaced, owned by another") << 022 << 0600 << 0660 << true << 0660;
    }
    void targetPermissions()
    {
        QFETCH(int, mask);
        QFETCH(int, sourceMode);
        QFETCH(int, existingMode);
        QFETCH(bool, foreignOwner);
        QFETCH(int, expectedMode);
        if (foreignOwner && ::geteuid() != 0)
            QSKIP("only root can give a file to another owner");
        write_file(dir_ / "plain", random_bytes(1000, 23));
        QCOMPARE(::chmod((dir_ / "plain").c_str(), static_cast<mode_t>(sourceMode)), 0);
        if (existingMode >= 0) {
            write_file(dir_ / "out", Bytes{'o', 'l', 'd'});
            QCOMPARE(::chmod((dir_ / "out").c_str(), static_cast<mode_t>(existingMode)), 0);
            if (foreignOwner)
                QCOMPARE(::chown((dir_ / "out").c_str(), nobody, nobody), 0);
        }
        const mode_t old_mask = ::umask(static_cast<mode_t>(mask));
        bool ran = true;
        try {
            run_stream_job(file_job(dir_ / "plain", dir_ / "out"), password);
        } catch (const JobError&) {
            ran = false;
        }
        ::umask(old_mask);
        QVERIFY(ran);
        struct stat st {};
        QCOMPARE(::stat((dir_ / "out").c_str(), &st), 0);
        QCOMPARE(int(st.st_mode & 07777), expectedMode);
        QCOMPARE(st.st_uid, foreignOwner ? nobody : ::geteuid());
        QCOMPARE(st.st_gid, foreignOwner ? gid_t(nobody) : ::getegid());
    }

    // The password is wiped as soon as the key exists, and both it and the
    // key bytes live in memory that is neither swapped nor dumped.
    void passwordMemory()
    {
        write_file(dir_ / "plain", random_bytes(5 * 1024 * 1024, 24));
        SecureText typed{password};
        const auto address = reinterpret_cast<std::uintptr_t>(typed.data());
        bool wiped_while_running = false;
        StreamJob job = file_job(dir_ / "plain", dir_ / "out");
        job.progress = [&](std::uint64_t, std::uint64_t) { wiped_while_running = typed.empty(); };
        const std::string flags = vm_flags_at(address);
        run_stream_job(job, typed);
        QVERIFY(wiped_while_running);
        QVERIFY(read_file(dir_ / "out") == reference_rc4(read_file(dir_ / "plain")));
        // "lo": locked, "dd": not dumped. A locked-memory limit may refuse the lock.
        QVERIFY2(flags.find(" dd") != std::string::npos, flags.c_str());
        rlimit lock_limit{};
        ::getrlimit(RLIMIT_MEMLOCK, &lock_limit);
#ifndef __SANITIZE_ADDRESS__ // AddressSanitizer turns mlock() into nothing
        if (lock_limit.rlim_cur >= 64 * 1024)
            QVERIFY2(flags.find(" lo") != std::string::npos, flags.c_str());
#endif
    }

    // The abort removes the job's temporary file, through the folder the job
    // holds also when that folder was moved meanwhile, and nothing is created
    // after it.
    void abortRemovesTemporaryFile_data()
    {
        QTest::addColumn<bool>("named"); // the temporary has a name (no O_TMPFILE)
        QTest::addColumn<bool>("folderMoved");
        QTest::newRow("file with no name") << false << false;
        QTest::newRow("named temporary") << true << false;
        QTest::newRow("named temporary, folder moved") << true << true;
    }
    void abortRemovesTemporaryFile()
    {
        QFETCH(bool, named);
        QFETCH(bool, folderMoved);
        write_file(dir_ / "plain", random_bytes(4 * 1024 * 1024, 15));
        fs::create_directory(dir_ / "sub");
        const fs::path folder = dir_ / (folderMoved ? "moved" : "sub");
        const int status = in_child([&] {
            if (named && !refuse_nameless_files())
                return 4;
            StreamJob job = file_job(dir_ / "plain", dir_ / "sub" / "out");
            std::size_t seen_entries = 99;
            std::size_t left_by_abort = 99;
            job.progress = [&](std::uint64_t, std::uint64_t) {
                if (seen_entries == 99) {
                    // the temporary file, where it has a name
                    seen_entries = entries(dir_ / "sub").size();
                    if (folderMoved)
                        fs::rename(dir_ / "sub", dir_ / "moved");
                    pending_file::abort_and_remove();
                    // A signal ends the process right here: the abort alone
                    // must have removed the file.
                    left_by_abort = entries(folder).size();
                }
            };
            try {
                run_stream_job(job, password);
                return 1;
            } catch (const JobError&) {
            }
            if (seen_entries != (named ? 1u : 0u) || left_by_abort != 0)
                return 2;
            try {
                run_stream_job(file_job(dir_ / "plain", dir_ / "again"), password);
                return 3;
            } catch (const JobError&) {
            }
            return 0;
        });
        QCOMPARE(status, 0);
        QCOMPARE(entries(dir_), (std::set<std::string>{"plain", folder.filename().native()}));
        QCOMPARE(entries(folder), std::set<std::string>{});
    }
};

QTEST_GUILESS_MAIN(TestStreamJob)
#include "tst_stream_job.moc"
