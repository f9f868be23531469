// trezorka-cli run as a separate process, the way scripts and people use it.
// Every child starts in a new session, so it has no controlling terminal unless
// a test gives it a pseudo-terminal on purpose.

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "../engine/no_nameless_files.h"
#include "test_qt.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace test_util;

namespace {

const QByteArray plain = "Ahoj, svete!";
const QByteArray cipherTrezor = QByteArray::fromHex("96dbba68328befd0f21dd74a");
const char* const textEncryptFailed = "Nelze provést šifrování souboru.\n(chyba při načítání/ukládání)";
const char* const textDecryptFailed = "Nelze provést dešifrování souboru.\n(chyba při načítání/ukládání)";

QString cliPath()
{
    // TREZORKA_CLI lets the same tests check an installed binary.
    return qEnvironmentVariable("TREZORKA_CLI", QStringLiteral(TREZORKA_CLI_PATH));
}

struct Outcome {
    bool finished = false;
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// The child's session setup: a new session, and optionally a terminal.
struct ChildSetup {
    int terminal = -1;        // slave side of a pseudo-terminal to make controlling
    bool terminalAsStdout = false;
    bool terminalAsStdin = false;
};

void startProcess(QProcess& p, const QString& program, const QStringList& args, const QString& dir,
                  ChildSetup setup = {})
{
    p.setWorkingDirectory(dir);
    p.setChildProcessModifier([setup] {
        ::setsid();
        if (setup.terminal >= 0) {
            ::ioctl(setup.terminal, TIOCSCTTY, 0);
            if (setup.terminalAsStdout)
                ::dup2(setup.terminal, STDOUT_FILENO);
            if (setup.terminalAsStdin)
                ::dup2(setup.terminal, STDIN_FILENO);
        }
    });
    p.start(program, args);
}

Outcome finish(QProcess& p, int timeoutMs = 10000)
{
    Outcome o;
    o.finished = p.waitForFinished(timeoutMs);
    if (!o.finished) {
        p.kill();
        p.waitForFinished(2000);
    }
    o.exitStatus = p.exitStatus();
    o.status = p.exitCode();
    o.out = p.readAllStandardOutput();
    o.err = p.readAllStandardError();
    return o;
}

Outcome runProgram(const QString& program, const QStringList& args, const QString& dir,
                   const QByteArray& input = {}, ChildSetup setup = {})
{
    QProcess p;
    startProcess(p, program, args, dir, setup);
    if (!p.waitForStarted(5000))
        return {};
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    return finish(p);
}

Outcome runCli(const QStringList& args, const QString& dir, const QByteArray& input = {})
{
    return runProgram(cliPath(), args, dir, input);
}

// Runs the tool through sh, for byte file names and resource limits; "$0" is the tool.
Outcome runCliInShell(const QString& script, const QString& dir, const QByteArray& input = {})
{
    return runProgram(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script, cliPath()}, dir, input);
}

// A pseudo-terminal pair; the tests play the person at the master side.
struct Pty {
    int master = -1;
    int slave = -1;
    QByteArray seen; // everything the child wrote to the terminal

    Pty()
    {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
            return;
        slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
    }
    ~Pty()
    {
        if (slave >= 0)
            ::close(slave);
        if (master >= 0)
            ::close(master);
    }
    bool ok() const { return master >= 0 && slave >= 0; }

    bool waitFor(const QByteArray& text, int timeoutMs = 5000)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!seen.contains(text)) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            pollfd pfd{master, POLLIN, 0};
            if (::poll(&pfd, 1, static_cast<int>(left.count())) > 0) {
                char buf[256];
                ssize_t n = ::read(master, buf, sizeof buf);
                if (n <= 0)
                    return false;
                seen.append(buf, n);
            }
        }
        return true;
    }
    void type(const QByteArray& text) { QVERIFY(::write(master, text.constData(), text.size()) == text.size()); }
    bool echoOn() const
    {
        termios t{};
        return ::tcgetattr(slave, &t) == 0 && (t.c_lflag & ECHO);
    }
};

// Whether the process holds open a file in `dir` that has no name (a
// temporary file made with O_TMPFILE, shown by /proc as "dir/#inode (deleted)").
bool holdsNamelessFile(qint64 pid, const QString& dir)
{
    std::error_code ec;
    const fs::path fds = "/proc/" + std::to_string(pid) + "/fd";
    const std::string prefix = fs::canonical(dir.toStdString(), ec).native() + "/#";
    for (const auto& entry : fs::directory_iterator(fds, ec)) {
        const std::string link = fs::read_symlink(entry.path(), ec).native();
        if (!ec && link.rfind(prefix, 0) == 0)
            return true;
    }
    return false;
}

// Waits until the folder holds an entry that was not in `before`, or the
// process `pid` holds a file with no name there.
bool waitForNewEntry(const QString& dir, const Snapshot& before, qint64 pid = 0, int timeoutMs = 5000)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        for (const auto& entry : fs::directory_iterator(dir.toStdString()))
            if (!before.count(entry.path().filename().native()))
                return true;
        if (pid > 0 && holdsNamelessFile(pid, dir))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}


// Whether the process's writable memory holds `needle` anywhere; nullopt when
// its memory cannot be read (another user's, or no permission to look).
std::optional<bool> memoryHolds(qint64 pid, const QByteArray& needle)
{
    const std::string base = "/proc/" + std::to_string(pid);
    std::ifstream maps(base + "/maps");
    const int mem = ::open((base + "/mem").c_str(), O_RDONLY | O_CLOEXEC);
    if (!maps || mem < 0)
        return std::nullopt;
    bool readAny = false;
    bool found = false;
    std::string line;
    while (!found && std::getline(maps, line)) {
        unsigned long long from = 0, to = 0;
        char perms[5] = {};
        if (std::sscanf(line.c_str(), "%llx-%llx %4s", &from, &to, perms) != 3 || perms[0] != 'r' || perms[1] != 'w')
            continue;
        QByteArray region(static_cast<qsizetype>(to - from), Qt::Uninitialized);
        const ssize_t got = ::pread(mem, region.data(), region.size(), static_cast<off_t>(from));
        if (got <= 0)
            continue;
        readAny = true;
        region.truncate(got);
        found = region.contains(needle);
    }
    ::close(mem);
    if (!readAny)
        return std::nullopt;
    return found;
}

// A shell with job control in a tmux session of its own, driven by keys.
class Tmux {
public:
    explicit Tmux(const QString& dir)
        : socket_(QStringLiteral("trezorka-test-%1").arg(QCoreApplication::applicationPid()))
    {
        started_ = run({"new-session", "-d", "-x", "120", "-y", "30", "-c", dir,
                        "env PS1='$ ' bash --norc --noprofile"});
    }
    ~Tmux() { run({"kill-server"}); }
    bool started() const { return started_; }

    void keys(const QStringList& keys) { run(QStringList{"send-keys", "-t", "0"} + keys); }
    QString screen()
    {
        QProcess p;
        p.start("tmux", {"-L", socket_, "-f", "/dev/null", "capture-pane", "-p", "-t", "0"});
        p.waitForFinished(5000);
        return QString::fromUtf8(p.readAllStandardOutput());
    }
    bool waitFor(const QString& text, int timeoutMs = 5000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!screen().contains(text)) {
            if (timer.elapsed() > timeoutMs)
                return false;
            QTest::qWait(50);
        }
        return true;
    }

private:
    bool run(const QStringList& args)
    {
        QProcess p;
        p.start("tmux", QStringList{"-L", socket_, "-f", "/dev/null"} + args);
        return p.waitForFinished(5000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

    QString socket_;
    bool started_ = false;
};

} // namespace

class CliProcessTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(cliPath()).isExecutable(), qPrintable(cliPath()));
    }

    void knownAnswer_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("passwordFile");
        QTest::addColumn<QByteArray>("cipher");

        QTest::newRow("Trezor") << QStringList{} << QByteArray("Trezor\n") << cipherTrezor;
        QTest::newRow("CR LF line ending") << QStringList{} << QByteArray("Trezor\r\n") << cipherTrezor;
        QTest::newRow("no line ending") << QStringList{} << QByteArray("Trezor") << cipherTrezor;
        QTest::newRow("only the first line") << QStringList{} << QByteArray("Trezor\nnext\n") << cipherTrezor;
        QTest::newRow("UTF-8 password") << QStringList{} << QByteArray("žluťoučký\n")
                                        << QByteArray::fromHex("e04831b708f9168d8c7f5fe1");
        QTest::newRow("one character") << QStringList{} << QByteArray("x\n")
                                       << QByteArray::fromHex("76da214be3663a88475a8675");
        // openssl enc -rc4 with the first 5 digest bytes and 11 zero bytes
        QTest::newRow("40-bit key") << QStringList{"--key-40"} << QByteArray("Trezor\n")
                                    << QByteArray::fromHex("ae487164a0689c476da582a3");
    }
    void knownAnswer()
    {
        QFETCH(QStringList, options);
        QFETCH(QByteArray, passwordFile);
        QFETCH(QByteArray, cipher);
        QTemporaryDir dir;
        const fs::path d = dir.path().toStdString();
        write_file(d / "a.txt", plain);
        write_file(d / "pw", passwordFile);
        const QStringList pw{"--password-file", "pw"};

        // Through files: the target is named by the window's rule.
        Outcome enc = runCli(options + pw + QStringList{"a.txt"}, dir.path());
        QCOMPARE(enc.status, 0);
        QCOMPARE(read_file<QByteArray>(d / "a.txt.t2k").toHex(), cipher.toHex());
        QCOMPARE(enc.out, QByteArray());
        // These passwords are all short: the format's warning comes first.
        const QRegularExpression report("^Varování: u tohoto formátu se počítá jen prvních [1-7] znaků hesla\\.\n"
                                        "Šifrování souboru dokončeno\\.\nSoubor uložen do: a\\.txt\\.t2k\\.\n$");
        QVERIFY2(report.match(QString::fromUtf8(enc.err)).hasMatch(), enc.err.constData());

        // Through pipes, both ways; nothing but data on standard output.
        Outcome pipeEnc = runCli(options + pw + QStringList{"-e", "-"}, dir.path(), plain);
        QCOMPARE(pipeEnc.status, 0);
        QCOMPARE(pipeEnc.out.toHex(), cipher.toHex());
        Outcome pipeDec = runCli(options + pw + QStringList{"-q", "--decrypt", "-", "-o", "-"}, dir.path(), cipher);
        QCOMPARE(pipeDec.status, 0);
        QCOMPARE(pipeDec.out, plain);
        QCOMPARE(pipeDec.err, QByteArray());

        // And the file back by its name: "a.txt.t2k" decrypts to "a.txt".
        fs::remove(d / "a.txt");
        Outcome dec = runCli(options + pw + QStringList{"a.txt.t2k"}, dir.path());
        QCOMPARE(dec.status, 0);
        QCOMPARE(read_file<QByteArray>(d / "a.txt"), plain);
        QVERIFY(dec.err.startsWith("Dešifrování souboru dokončeno.\nSoubor uložen do: a.txt."));
    }

    void roundTrip_data()
    {
        QTest::addColumn<int>("size");
        for (int size : {0, 1, 511, 512, 513, 1024, 65535, 65536, 65537, 300000})
            QTest::addRow("%d bytes", size) << size;
    }
    void roundTrip()
    {
        QFETCH(int, size);
        QTemporaryDir dir;
        const fs::path d = dir.path().toStdString();
        const QByteArray data = random_bytes<QByteArray>(size, static_cast<quint32>(size) + 7);
        write_file(d / "data.bin", data);
        write_file(d / "pw", "heslo s mezerou\n");
        const QStringList pw{"--password-file", "pw", "-q"};

        QCOMPARE(runCli(pw + QStringList{"data.bin"}, dir.path()).status, 0);
        const QByteArray cipher = read_file<QByteArray>(d / "data.bin.t2k");
        QCOMPARE(cipher.size(), data.size());
        if (size > 16)
            QVERIFY(cipher != data);

        Outcome pipeEnc = runCli(pw + QStringList{"--encrypt", "-"}, dir.path(), data);
        QCOMPARE(pipeEnc.status, 0);
        QVERIFY(pipeEnc.out == cipher);

        QCOMPARE(runCli(pw + QStringList{"data.bin.t2k", "-o", "back.bin"}, dir.path()).status, 0);
        QVERIFY(read_file<QByteArray>(d / "back.bin") == data);

        Outcome pipeDec = runCli(pw + QStringList{"-d", "-"}, dir.path(), cipher);
        QCOMPARE(pipeDec.status, 0);
        QVERIFY(pipeDec.out == data);
    }

    // Every way the password arrives gives the same key.
    void passwordSources_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QByteArray>("input");
        QTest::newRow("--password-file") << "exec \"$0\" --password-file pw a.txt -o -" << QByteArray();
        QTest::newRow("--password-file=") << "exec \"$0\" --password-file=pw a.txt -o -" << QByteArray();
        QTest::newRow("--password-fd 3") << "exec \"$0\" --password-fd 3 a.txt -o - 3<pw" << QByteArray();
        QTest::newRow("--password-fd=0") << "exec \"$0\" --password-fd=0 a.txt -o -" << QByteArray("Trezor\r\n");
        QTest::newRow("fd 3, data on stdin")
            << "exec \"$0\" --password-fd 3 -e - 3<pw" << plain;
        QTest::newRow("-oFILE, then cat") << "\"$0\" --password-file pw -oout a.txt && cat out" << QByteArray();
        QTest::newRow("-- before a source named like an option")
            << "cp a.txt ./-x && exec \"$0\" --password-file pw -o - -- -x" << QByteArray();
    }
    void passwordSources()
    {
        QFETCH(QString, script);
        QFETCH(QByteArray, input);
        QTemporaryDir dir;
        const fs::path d = dir.path().toStdString();
        write_file(d / "a.txt", plain);
        write_file(d / "pw", "Trezor\n");
        Outcome o = runCliInShell(script, dir.path(), input);
        QCOMPARE(o.status, 0);
        QCOMPARE(o.out.toHex(), cipherTrezor.toHex());
    }

    // The shell may hand the source in as standard input or output.
    void sameFileThroughRedirection_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("content"); // of a.txt afterwards
        QTest::newRow("stdin is the target") << "exec \"$0\" -q --force --password-file pw -e - -o a.txt <a.txt"
                                             << 2 << plain;
        QTest::newRow("stdout appends to the source")
            << "exec \"$0\" --password-file pw a.txt -o - >>a.txt" << 2 << plain;
    }
    void sameFileThroughRedirection()
    {
        QFETCH(QString, script);
        QFETCH(int, status);
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const fs::path d = dir.path().toStdString();
        write_file(d / "a.txt", plain);
        write_file(d / "pw", "Trezor\n");
        Outcome o = runCliInShell(script, dir.path());
        QVERIFY(o.finished);
        QCOMPARE(o.status, status);
        QCOMPARE(read_file<QByteArray>(d / "a.txt").toHex(), content.toHex());
        QCOMPARE(snapshot(d).size(), std::size_t(2));
    }

    // Status 2: nothing is asked, nothing is written, nothing changes.
    void refusals_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("message");

        const QStringList pw{"--password-file", "pw"};
        const QByteArray none;
        const QString exists = QStringLiteral("Cíl již existuje");
        const QString t1k = QStringLiteral(
            "VAROVÁNÍ: starší format šifrovaného souboru (*.t1k) není v této verzi podporován.");
        const QString noPassword = QStringLiteral("Vložte prosím heslo.");
        const QString help = QStringLiteral("trezorka-cli --help");

        QTest::newRow("existing proposed target") << pw + QStringList{"old.txt"} << none << exists;
        QTest::newRow("existing target by -o") << pw + QStringList{"a.txt", "-o", "old.txt.t2k"} << none << exists;
        QTest::newRow("existing decrypt target") << pw + QStringList{"old.txt.t2k"} << none << exists;
        QTest::newRow("existing target, pipe in") << pw + QStringList{"-e", "-", "-o", "old.txt"} << plain << exists;
        QTest::newRow(".t1k") << pw + QStringList{"old.t1k"} << none << t1k;
        QTest::newRow(".t1k with --decrypt") << pw + QStringList{"-d", "old.t1k", "-o", "x"} << none << t1k;
        QTest::newRow("empty password line") << QStringList{"--password-file", "emptyline", "a.txt"} << none << noPassword;
        QTest::newRow("empty password file") << QStringList{"--password-file", "emptyfile", "a.txt"} << none << noPassword;
        QTest::newRow("empty password from fd 0") << QStringList{"--password-fd", "0", "a.txt"} << QByteArray("\r\n")
                                                  << noPassword;
        QTest::newRow("no terminal, encrypt") << QStringList{"a.txt"} << QByteArray("Trezor\n")
                                              << QStringLiteral("chybí terminál");
        QTest::newRow("no terminal, decrypt") << QStringList{"old.txt.t2k", "-o", "new"} << QByteArray("Trezor\n")
                                              << QStringLiteral("chybí terminál");
        QTest::newRow("- without a direction") << pw + QStringList{"-"} << plain << QStringLiteral("--encrypt nebo --decrypt");
        QTest::newRow("unknown option") << pw + QStringList{"--bogus", "a.txt"} << none << help;
        QTest::newRow("unknown short option") << pw + QStringList{"-x", "a.txt"} << none << help;
        QTest::newRow("flag with a value") << pw + QStringList{"--force=yes", "a.txt"} << none << help;
        QTest::newRow("-o without a value") << pw + QStringList{"a.txt", "-o"} << none << help;
        QTest::newRow("no source") << pw << none << QStringLiteral("chybí ZDROJ");
        QTest::newRow("two sources") << pw + QStringList{"a.txt", "old.txt"} << none << help;
        QTest::newRow("both directions") << pw + QStringList{"-e", "-d", "a.txt"} << none << help;
        QTest::newRow("two password sources") << pw + QStringList{"--password-fd", "0", "a.txt"} << none << help;
        QTest::newRow("password fd not a number") << QStringList{"--password-fd", "x1", "a.txt"} << none << help;
        QTest::newRow("password in an argument") << QStringList{"--password", "Trezor", "a.txt"} << none << help;
        QTest::newRow("missing password file") << QStringList{"--password-file", "nopw", "a.txt"} << none
                                               << QStringLiteral("Soubor s heslem nelze otevřít: nopw (soubor nebo složka neexistuje).");
        QTest::newRow("closed password fd") << QStringList{"--password-fd", "9", "a.txt"} << none
                                            << QStringLiteral("Heslo nelze načíst (deskriptor 9): neplatný popisovač souboru.");
        QTest::newRow("password fd is the data") << QStringList{"--password-fd", "0", "-e", "-"} << plain
                                                 << QStringLiteral("standardního vstupu");
        QTest::newRow("target is the source") << pw + QStringList{"--force", "a.txt", "-o", "a.txt"} << none
                                              << QStringLiteral("totožný se zdrojem");
        QTest::newRow("target is the source, other spelling")
            << pw + QStringList{"--force", "a.txt", "-o", "./sub/../a.txt"} << none << QStringLiteral("totožný se zdrojem");
        QTest::newRow("target is a link to the source")
            << pw + QStringList{"--force", "a.txt", "-o", "link"} << none << QStringLiteral("totožný se zdrojem");
        QTest::newRow("--decrypt of a plain name needs -o") << pw + QStringList{"-d", "a.txt"} << none
                                                           << QStringLiteral("-o");
        // (root only: the link belongs to another user)
        QTest::newRow("another user's link in a shared folder")
            << pw + QStringList{"--force", "a.txt", "-o", "shared/report.t2k"} << none
            << QStringLiteral("Cíl nelze použít: cíl je symbolický odkaz jiného uživatele ve sdílené složce: shared/report.t2k");
    }
    void refusals()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, input);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const fs::path d = dir.path().toStdString();
        write_file(d / "a.txt", plain);
        write_file(d / "old.txt", "old plain");
        write_file(d / "old.txt.t2k", "OLD TARGET");
        write_file(d / "old.t1k", "older format");
        write_file(d / "pw", "Trezor\n");
        write_file(d / "emptyline", "\n");
        write_file(d / "emptyfile", "");
        fs::create_directory(d / "sub");
        fs::create_symlink("a.txt", d / "link");
        if (QByteArray(QTest::currentDataTag()).contains("shared folder")) {
            if (::geteuid() != 0)
                QSKIP("only root can make a link owned by another user");
            // A sticky folder all may write in, another user's link in it.
            fs::create_directory(d / "shared");
            QCOMPARE(::chmod((d / "shared").c_str(), 01777), 0);
            fs::create_symlink("../old.txt", d / "shared" / "report.t2k");
            QCOMPARE(::lchown((d / "shared" / "report.t2k").c_str(), 65533, 65533), 0);
        }
        const Snapshot before = snapshot(d);

        Outcome o = runCli(args, dir.path(), input);
        QVERIFY2(o.finished, "the tool waited instead of refusing");
        QCOMPARE(o.exitStatus, QProcess::NormalExit);
        QCOMPARE(o.status, 2);
        QVERIFY2(QString::fromUtf8(o.err).contains(message), o.err.constData());
        QCOMPARE(o.out, QByteArray());
        const Snapshot after = snapshot(d);
        QVERIFY2(after == before, describe(after).c_str());
    }

    void forceReplacesTarget_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("proposed target") << QStringList{"a.txt"};
        QTest::newRow("-o target") << QStringList{"a.txt", "-o", "a.txt.t2k"};
        QTest::newRow("pipe in") << QStringList{"-e", "-", "-o", "a.txt.t2k"};
    }
    void forceReplacesTarget()
    {
        QFETCH(QStringList, args);
        QTemporaryDir dir;
        const fs::path d = dir.path().toStdString();
        write_file(d / "a.txt", plain);
        write_file(d / "a.txt.t2k", "an older file, longer than the new one");
        write_file(d / "pw", "Trezor\n");
        Outcome o = runCli(QStringList{"--force", "--password-file", "pw"} + args, dir.path(), plain);
        QCOMPARE(o.status, 0);
        QCOMPARE(read_file<QByteArray>(d / "a.txt.t2k").toHex(), cipherTrezor.toHex());
        QCOMPARE(snapshot(d).size(), std::size_t(3));
    }

    // The failure text; no target, no temporary file. Status 1 when the
    // source cannot be read, 2 when the target is refused before the job.
    void jobFailures_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("cause"); // in Czech, after the failure text
        const QString enc = QString::fromUtf8(textEncryptFailed);
        const QString dec = QString::fromUtf8(textDecryptFailed);
        QTest::newRow("missing source") << QStringList{"missing.txt"} << enc << 1 << QStringLiteral("soubor nebo složka neexistuje");
        QTest::newRow("missing .t2k source") << QStringList{"missing.t2k"} << dec << 1 << QStringLiteral("soubor nebo složka neexistuje");
        QTest::newRow("source is a folder") << QStringList{"folder"} << enc << 1 << QStringLiteral("zdroj je složka");
        QTest::newRow("source is a folder, --force") << QStringList{"--force", "folder"} << enc << 1 << QStringLiteral("zdroj je složka");
        // Refused, not failed: headed as what they are.
        const QString refused = QStringLiteral("Cíl nelze použít: ");
        QTest::newRow("missing target folder") << QStringList{"a.txt", "-o", "nowhere/a.t2k"} << refused << 2 << QStringLiteral("cílová složka neexistuje");
        QTest::newRow("target is a folder") << QStringList{"--force", "a.txt", "-o", "folder"} << refused << 2 << QStringLiteral("cíl je složka");
        QTest::newRow("source is a pipe with no writer") << QStringList{"fifo"} << enc << 1 << QStringLiteral("není obyčejný soubor");
        QTest::newRow("source is a device") << QStringList{"/dev/zero", "-o", "zero.t2k"} << enc << 1 << QStringLiteral("není obyčejný soubor");
        QTest::newRow("source is a file of /proc") << QStringList{"/proc/self/status", "-o", "status.t2k"} << enc << 1 << QStringLiteral("není obyčejný soubor");
        QTest::newRow("target name too long")
            << QStringList{"a.txt", "-o", QString(300, QChar('n')) + ".t2k"} << refused << 2 << QStringLiteral("příliš dlouhý");
    }
    void jobFailures()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, failure);
        QFETCH(int, status);
        QFETCH(QString, cause);
        QTemporaryDir dir;
        const fs::path d = dir.path().toStdString();
        write_file(d / "a.txt", plain);
        write_file(d / "pw", "Trezor\n");
        fs::create_directory(d / "folder");
        QCOMPARE(::mkfifo((d / "fifo").c_str(), 0600), 0);
        const Snapshot before = snapshot(d);

        // A file-size limit keeps a tool that reads a device from filling the disk.
        Outcome o = runProgram(QStringLiteral("/bin/sh"),
                               QStringList{"-c", "ulimit -f 1024 && exec \"$0\" --password-file pw \"$@\"", cliPath()}
                                   + args,
                               dir.path());
        QVERIFY2(o.finished, "the tool blocked");
        QCOMPARE(o.status, status);
        QVERIFY2(QString::fromUtf8(o.err).startsWith(status == 1 ? failure + "\n" : failure), o.err.constData());
        QVERIFY2(QString::fromUtf8(o.err).contains(cause), o.err.constData());
        QCOMPARE(o.err.contains("chyba při načítání/ukládání"), status == 1);
        QVERIFY(fs::is_empty(d / "folder"));
        const Snapshot after = snapshot(d);
        QVERIFY2(after == before, describe(after).c_str());
    }

    void readOnlyTargetFolder()
    {
        if (::geteuid() == 0)
            QSKIP("root writes into read-only folders");
        QTemporaryDir dir;
        const fs::path d = dir.path().toStdString();
        write_file(d / "a.txt", plain);
        write_file(d / "pw", "Trezor\n");
        fs::create_directory(d / "ro");
        fs::permissions(d / "ro", fs::perms::owner_read | fs::perms::owner_exec);
        Outcome o = runCli({"--password-file", "pw", "a.txt", "-o", "ro/a.t2k"}, dir.path());
        fs::permissions(d / "ro", fs::perms::owner_all);
        QCOMPARE(o.status, 2);
        QVERIFY(QString::fromUtf8(o.err).startsWith(QStringLiteral("Cíl nelze použít: do cílové složky nelze zapisovat")));
        QVERIFY(fs::is_empty(d / "ro"));
    }

    // A write past the file-size limit fails like a full disk.
    void diskFullPartWay_data()
    {
        QTest::addColumn<bool>("targetExists");
        QTest::newRow("new target") << false;
        QTest::newRow("existing target, --force") << true;
    }
    void diskFullPartWay()
    {
        QFETCH(bool, targetExists);
        QTemporaryDir dir;
        const fs::path d = dir.path().toStdString();
        write_file(d / "big.bin", random_bytes<QByteArray>(256 * 1024, 3));
        write_file(d / "pw", "Trezor, long enough to count\n");
        if (targetExists)
            write_file(d / "big.bin.t2k", "the old target");
        const Snapshot before = snapshot(d);

        // 64 blocks of 512 bytes (1024 in some shells): far below 256 KiB.
        Outcome o = runCliInShell(
            QStringLiteral("ulimit -f 64 && exec \"$0\" --force --password-file pw big.bin"), dir.path());
        QCOMPARE(o.exitStatus, QProcess::NormalExit);
        QCOMPARE(o.status, 1);
        QVERIFY2(o.err.startsWith(textEncryptFailed), o.err.constData());
        const Snapshot after = snapshot(d);
        QVERIFY2(after == before, describe(after).c_str());
    }

    // A signal mid-job removes the temporary file; the old target stays.
    void signalMidJob_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGHUP") << SIGHUP;
        QTest::newRow("SIGQUIT") << SIGQUIT;
        QTest::newRow("SIGUSR1") << SIGUSR1;
        QTest::newRow("SIGALRM") << SIGALRM;
        QTest::newRow("SIGPWR") << SIGPWR;
        QTest::newRow("SIGIO") << SIGIO;
        QTest::newRow("SIGSTKFLT") << SIGSTKFLT;
        QTest::newRow("SIGTRAP") << SIGTRAP;
        QTest::newRow("SIGSYS") << SIGSYS;
        QTest::newRow("SIGRTMIN") << SIGRTMIN;
        QTest::newRow("SIGRTMAX") << SIGRTMAX;
    }
    void signalMidJob()
    {
        QFETCH(int, signal);
        QTemporaryDir dir;
        const fs::path d = dir.path().toStdString();
        write_file(d / "pw", "Trezor\n");
        write_file(d / "out.t2k", "the old target");
        const Snapshot before = snapshot(d);

        QProcess p;
        startProcess(p, cliPath(), {"--force", "--password-file", "pw", "-e", "-", "-o", "out.t2k"}, dir.path());
        QVERIFY(p.waitForStarted(5000));
        // Standard input stays open: the job waits for more data with its temporary file in place.
        p.write(random_bytes<QByteArray>(200000, 5));
        QVERIFY(p.waitForBytesWritten(5000));
        QVERIFY2(waitForNewEntry(dir.path(), before, p.processId()), "no temporary file appeared");
        QVERIFY(::kill(static_cast<pid_t>(p.processId()), signal) == 0);
        Outcome o = finish(p, 5000);
        QVERIFY(o.finished);
        QCOMPARE(o.exitStatus, QProcess::NormalExit);
        QCOMPARE(o.status, 128 + signal);
        const Snapshot after = snapshot(d);
        QVERIFY2(after == before, describe(after).c_str());
    }

    // Killed between giving the finished file a hidden name and renaming it
    // over the target (Linux cannot link a file with no name over another):
    // the old target stays, the hidden file is readable by its owner alone,
    // and the next job in the folder removes it.
    void killBeforeRename_data()
    {
        QTest::addColumn<bool>("named"); // the temporary has a name (no O_TMPFILE)
        QTest::newRow("file with no name") << false;
        QTest::newRow("named temporary") << true;
    }
    void killBeforeRename()
    {
        QFETCH(bool, named);
        if (QStandardPaths::findExecutable("strace").isEmpty())
            QSKIP("needs strace");
        QTemporaryDir dir;
        const fs::path d = dir.path().toStdString();
        write_file(d / "a.txt", random_bytes<QByteArray>(100000, 12));
        write_file(d / "pw", "Trezor\n");
        write_file(d / "a.txt.t2k", "the old target");
        ::chmod((d / "a.txt.t2k").c_str(), 0644);
        const auto hidden = [&] {
            std::vector<fs::path> found;
            for (const auto& entry : fs::directory_iterator(d))
                if (entry.path().filename().native().rfind(".trezorka-", 0) == 0)
                    found.push_back(entry.path());
            return found;
        };

        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.setChildProcessModifier([named] {
            ::setsid();
            if (named && !refuse_nameless_files())
                ::_exit(120);
        });
        p.start("strace", {"-f", "-qq", "-o", "/dev/null", "-e", "inject=rename,renameat,renameat2:signal=KILL",
                           cliPath(), "--force", "-q", "--password-file", "pw", "a.txt"});
        QVERIFY(p.waitForStarted(5000));
        QVERIFY(finish(p).finished);
        QCOMPARE(read_file<QByteArray>(d / "a.txt.t2k"), QByteArray("the old target"));
        const std::vector<fs::path> left = hidden();
        QCOMPARE(left.size(), std::size_t(1));
        struct stat st {};
        QCOMPARE(::lstat(left[0].c_str(), &st), 0);
        QCOMPARE(int(st.st_mode & 07777), 0600);

        QCOMPARE(runCli({"-q", "--password-file", "pw", "a.txt", "-o", "b.t2k"}, dir.path()).status, 0);
        QCOMPARE(hidden(), std::vector<fs::path>{});
        QCOMPARE(read_file<QByteArray>(d / "a.txt.t2k"), QByteArray("the old target"));
    }

    // While the job runs, the password is nowhere in the tool's memory, in
    // neither encoding: every copy is wiped once the key exists.
    void passwordWipedDuringJob_data()
    {
        QTest::addColumn<QString>("script");
        QTest::newRow("--password-file") << "exec \"$0\" --password-file pw -e - -o out.t2k";
        QTest::newRow("--password-fd") << "exec \"$0\" --password-fd 3 -e - -o out.t2k 3<pw";
    }
    void passwordWipedDuringJob()
    {
        QFETCH(QString, script);
        QTemporaryDir dir;
        const fs::path d = dir.path().toStdString();
        const QString password = QStringLiteral("Zx9-Heslo-Qw7-žluť");
        write_file(d / "pw", password.toUtf8() + "\n");
        QProcess p;
        startProcess(p, "/bin/sh", {"-c", script, cliPath()}, dir.path());
        QVERIFY(p.waitForStarted(5000));
        // Standard input stays open: the job waits for more data, its key made.
        p.write(random_bytes<QByteArray>(300000, 8));
        QVERIFY(p.waitForBytesWritten(5000));
        QVERIFY(waitForNewEntry(dir.path(), snapshot(d), p.processId()));
        QByteArray utf16(reinterpret_cast<const char*>(password.utf16()), password.size() * 2);
        const std::optional<bool> utf8Seen = memoryHolds(p.processId(), password.toUtf8());
        const std::optional<bool> utf16Seen = memoryHolds(p.processId(), utf16);
        p.kill();
        p.waitForFinished(5000);
        if (!utf8Seen || !utf16Seen)
            QSKIP("the tool's memory cannot be read here");
        QVERIFY2(!*utf8Seen, "the UTF-8 password is still in memory");
        QVERIFY2(!*utf16Seen, "the UTF-16 password is still in memory");
    }

    // File names are bytes: a name that is not UTF-8 goes through unchanged.
    void nonUtf8FileName()
    {
        QTemporaryDir dir;
        const fs::path d = dir.path().toStdString();
        const std::string name = "caf\xe9 \xff.txt";
        // QTemporaryDir cannot remove names it cannot decode.
        struct Cleanup {
            fs::path dir;
            ~Cleanup()
            {
                std::error_code ec;
                for (const auto& entry : fs::directory_iterator(dir, ec))
                    fs::remove_all(entry.path(), ec);
            }
        } cleanup{d};
        write_file(d / name, plain);
        write_file(d / "pw", "Trezor\n");

        Outcome enc = runCliInShell(
            QStringLiteral("exec \"$0\" --password-file pw \"$(printf 'caf\\351 \\377.txt')\""), dir.path());
        QCOMPARE(enc.status, 0);
        QCOMPARE(read_file<QByteArray>(d / (name + ".t2k")).toHex(), cipherTrezor.toHex());
        QVERIFY(enc.err.contains(QByteArray::fromStdString("Soubor uložen do: " + name + ".t2k.\n")));

        fs::remove(d / name);
        Outcome dec = runCliInShell(
            QStringLiteral("exec \"$0\" -q --password-file pw \"$(printf 'caf\\351 \\377.txt.t2k')\""), dir.path());
        QCOMPARE(dec.status, 0);
        QCOMPARE(read_file<QByteArray>(d / name), plain);
        QCOMPARE(snapshot(d).size(), std::size_t(3));
    }

    void binaryDataNotThroughTerminal_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("terminalIsInput");
        QTest::newRow("-o - from a file") << QStringList{"a.txt", "-o", "-"} << false;
        QTest::newRow("pipe in, standard output") << QStringList{"-e", "-"} << false;
        QTest::newRow("decrypt to -o -") << QStringList{"-d", "-", "-o", "-"} << false;
        QTest::newRow("data from the terminal") << QStringList{"-e", "-", "-o", "x.t2k"} << true;
    }
    void binaryDataNotThroughTerminal()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, terminalIsInput);
        QTemporaryDir dir;
        write_file(fs::path(dir.path().toStdString()) / "a.txt", plain);
        write_file(fs::path(dir.path().toStdString()) / "pw", "Trezor\n");
        Pty pty;
        QVERIFY(pty.ok());
        QProcess p;
        startProcess(p, cliPath(), QStringList{"--password-file", "pw"} + args, dir.path(),
                     {pty.slave, !terminalIsInput, terminalIsInput});
        QVERIFY(p.waitForStarted(5000));
        p.write(plain);
        p.closeWriteChannel();
        Outcome o = finish(p, 5000);
        QVERIFY2(o.finished, "the tool waited for the terminal");
        QCOMPARE(o.status, 2);
        QVERIFY(!fs::exists(fs::path(dir.path().toStdString()) / "x.t2k"));
        QVERIFY(QString::fromUtf8(o.err).contains(QStringLiteral("terminál")));
        pty.waitFor("never", 100);
        QVERIFY2(!pty.seen.contains(cipherTrezor), "cipher text reached the terminal");
    }

    // The default password source: the terminal, without echo.
    void terminalPassword_data()
    {
        // --password-fd 0 with standard input the terminal, or --password-file
        // naming the terminal: read like the prompt.
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QByteArrayList>("typed");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        const QStringList fd0{"--password-fd", "0"};
        const QStringList tty{"--password-file", "/dev/tty"};
        QTest::newRow("encrypt, same twice") << QStringList{} << "a.txt" << QByteArrayList{"Trezor\n", "Trezor\n"} << 0
                                             << QStringLiteral("Šifrování souboru dokončeno.");
        QTest::newRow("encrypt, mismatch") << QStringList{} << "a.txt" << QByteArrayList{"Trezor\n", "trezor\n"} << 2
                                           << QStringLiteral("Hesla se neshodují, prosím opravte.");
        QTest::newRow("encrypt, empty") << QStringList{} << "a.txt" << QByteArrayList{"\n"} << 2
                                        << QStringLiteral("Vložte prosím heslo.");
        QTest::newRow("decrypt, asked once") << QStringList{} << "b.t2k" << QByteArrayList{"Trezor\n"} << 0
                                             << QStringLiteral("Dešifrování souboru dokončeno.");
        QTest::newRow("--password-fd 0, encrypt") << fd0 << "a.txt" << QByteArrayList{"Trezor\n", "Trezor\n"} << 0
                                                   << QStringLiteral("Šifrování souboru dokončeno.");
        QTest::newRow("--password-fd 0, decrypt") << fd0 << "b.t2k" << QByteArrayList{"Trezor\n"} << 0
                                                   << QStringLiteral("Dešifrování souboru dokončeno.");
        QTest::newRow("--password-file /dev/tty, encrypt") << tty << "a.txt" << QByteArrayList{"Trezor\n", "Trezor\n"}
                                                           << 0 << QStringLiteral("Šifrování souboru dokončeno.");
        QTest::newRow("--password-file /dev/tty, mismatch") << tty << "a.txt" << QByteArrayList{"Trezor\n", "trezor\n"}
                                                            << 2 << QStringLiteral("Hesla se neshodují, prosím opravte.");
        QTest::newRow("--password-file /dev/tty, decrypt") << tty << "b.t2k" << QByteArrayList{"Trezor\n"} << 0
                                                           << QStringLiteral("Dešifrování souboru dokončeno.");
    }
    void terminalPassword()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, source);
        QFETCH(QByteArrayList, typed);
        QFETCH(int, status);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const fs::path d = dir.path().toStdString();
        write_file(d / "a.txt", plain);
        write_file(d / "b.t2k", cipherTrezor);
        Pty pty;
        QVERIFY(pty.ok());
        QVERIFY(pty.echoOn());

        QProcess p;
        const bool stdinTerminal = options.contains("--password-fd");
        startProcess(p, cliPath(), options + QStringList{source}, dir.path(), {pty.slave, false, stdinTerminal});
        QVERIFY(p.waitForStarted(5000));
        const QByteArrayList prompts{"Heslo: ", "Heslo znova: "};
        for (int i = 0; i < typed.size(); ++i) {
            QVERIFY2(pty.waitFor(prompts[i]), pty.seen.constData());
            pty.type(typed[i]);
        }
        Outcome o = finish(p, 5000);
        QVERIFY(o.finished);
        QCOMPARE(o.status, status);
        QVERIFY2(QString::fromUtf8(o.err).contains(message), o.err.constData());
        pty.waitFor("never", 100);
        QVERIFY2(!pty.seen.contains("rezor"), "the password was echoed");
        QVERIFY(pty.echoOn());
        if (status == 0 && source == "a.txt")
            QCOMPARE(read_file<QByteArray>(d / "a.txt.t2k").toHex(), cipherTrezor.toHex());
        if (status == 0 && source == "b.t2k")
            QCOMPARE(read_file<QByteArray>(d / "b"), plain);
        if (status != 0)
            QVERIFY(!fs::exists(d / "a.txt.t2k"));
    }

    // The prompt ends with echo back on, however it is interrupted.
    void signalAtPromptRestoresEcho_data()
    {
        QTest::addColumn<QByteArray>("typed"); // empty: SIGTERM from outside
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << QByteArray() << SIGTERM;
        QTest::newRow("Ctrl+C") << QByteArray("\x03") << SIGINT;
        QTest::newRow("Ctrl+\\") << QByteArray("\x1c") << SIGQUIT;
        QTest::newRow("SIGPWR") << QByteArray() << SIGPWR;
    }
    void signalAtPromptRestoresEcho()
    {
        QFETCH(QByteArray, typed);
        QFETCH(int, signal);
        QTemporaryDir dir;
        write_file(fs::path(dir.path().toStdString()) / "a.txt", plain);
        Pty pty;
        QVERIFY(pty.ok());
        QProcess p;
        startProcess(p, cliPath(), {"a.txt"}, dir.path(), {pty.slave, false});
        QVERIFY(p.waitForStarted(5000));
        QVERIFY(pty.waitFor("Heslo: "));
        QVERIFY(!pty.echoOn());
        if (typed.isEmpty())
            QVERIFY(::kill(static_cast<pid_t>(p.processId()), signal) == 0);
        else
            pty.type(typed);
        Outcome o = finish(p, 5000);
        QCOMPARE(o.exitStatus, QProcess::NormalExit);
        QCOMPARE(o.status, 128 + signal);
        QVERIFY(pty.echoOn());
        QCOMPARE(snapshot(fs_path(dir.path())).size(), std::size_t(1));
    }

    // Ctrl+Z at the prompt and fg in a real shell: nothing typed shows, the
    // prompt comes back, the job runs with what was typed after it.
    void suspendAtPrompt()
    {
        if (QStandardPaths::findExecutable("tmux").isEmpty() || QStandardPaths::findExecutable("bash").isEmpty())
            QSKIP("needs tmux and bash");
        QTemporaryDir dir;
        const fs::path d = dir.path().toStdString();
        write_file(d / "a.txt", plain);
        Tmux tmux(dir.path());
        QVERIFY(tmux.started());
        tmux.keys({"'" + cliPath() + "' a.txt", "Enter"});
        QVERIFY2(tmux.waitFor("Heslo:"), qPrintable(tmux.screen()));
        tmux.keys({"Tre"});
        tmux.keys({"C-z"});
        QVERIFY2(tmux.waitFor("Stopped"), qPrintable(tmux.screen()));
        tmux.keys({"fg", "Enter"});
        QVERIFY2(tmux.waitFor("fg\n"), qPrintable(tmux.screen()));
        QTest::qWait(300);
        tmux.keys({"Trezor", "Enter"});
        QVERIFY2(tmux.waitFor("Heslo znova:"), qPrintable(tmux.screen()));
        tmux.keys({"Trezor", "Enter"});
        QVERIFY2(tmux.waitFor("dokončeno"), qPrintable(tmux.screen()));
        const QString screen = tmux.screen();
        QVERIFY2(!screen.contains("Tre"), qPrintable(screen));
        // the prompt, and again after fg (tmux drops the trailing space)
        QVERIFY2(screen.count(QRegularExpression("^Heslo:$", QRegularExpression::MultilineOption)) == 2,
                 qPrintable(screen));
        QCOMPARE(read_file<QByteArray>(d / "a.txt.t2k").toHex(), cipherTrezor.toHex());
    }

    // Decrypting: a start that does not look like the target's kind ends
    // with status 2 before anything is written, for a file and for standard
    // input; the right password loses no byte of what was read to judge it.
    void wrongPasswordCheck_data()
    {
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("input"); // a file of the folder to pipe in
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("written"); // "plain", "garbage" or "" (no out.txt)
        QTest::newRow("right, file") << QByteArray("Trezor") << QStringList{"doc.txt.t2k", "-o", "out.txt"}
                                     << "" << 0 << "plain";
        QTest::newRow("wrong, file") << QByteArray("trezor") << QStringList{"doc.txt.t2k", "-o", "out.txt"}
                                     << "" << 2 << "";
        QTest::newRow("wrong, file, --no-check")
            << QByteArray("trezor") << QStringList{"--no-check", "doc.txt.t2k", "-o", "out.txt"} << "" << 0
            << "garbage";
        QTest::newRow("right, standard input") << QByteArray("Trezor") << QStringList{"-d", "-", "-o", "out.txt"}
                                               << "doc.txt.t2k" << 0 << "plain";
        QTest::newRow("wrong, standard input") << QByteArray("trezor") << QStringList{"-d", "-", "-o", "out.txt"}
                                               << "doc.txt.t2k" << 2 << "";
        QTest::newRow("wrong, standard input, --no-check")
            << QByteArray("trezor") << QStringList{"--no-check", "-d", "-", "-o", "out.txt"} << "doc.txt.t2k" << 0
            << "garbage";
        QTest::newRow("wrong, named source to standard output")
            << QByteArray("trezor") << QStringList{"doc.txt.t2k", "-o", "-"} << "" << 2 << "";
        QTest::newRow("encrypting never checks") << QByteArray("trezor") << QStringList{"-e", "-", "-o", "out.txt"}
                                                 << "noise" << 0 << "garbage";
    }
    void wrongPasswordCheck()
    {
        QFETCH(QByteArray, password);
        QFETCH(QStringList, args);
        QFETCH(QString, input);
        QFETCH(int, status);
        QFETCH(QString, written);
        QTemporaryDir dir;
        const fs::path d = dir.path().toStdString();
        // Text longer than the 64 KiB the check reads.
        QByteArray text;
        while (text.size() < 200000)
            text += "Příliš žluťoučký kůň úpěl ďábelské ódy.\n";
        write_file(d / "doc.txt", text);
        write_file(d / "noise", random_bytes<QByteArray>(100000, 9));
        write_file(d / "pw", "Trezor\n");
        QCOMPARE(runCli({"-q", "--password-file", "pw", "doc.txt"}, dir.path()).status, 0);
        fs::remove(d / "doc.txt");
        write_file(d / "pw", password + "\n");
        const Snapshot before = snapshot(d);

        Outcome o = runCli(QStringList{"-q", "--password-file", "pw"} + args, dir.path(),
                           input.isEmpty() ? QByteArray() : read_file<QByteArray>(d / input.toStdString()));
        QCOMPARE(o.status, status);
        if (status == 2) {
            QVERIFY2(o.err.contains("Heslo je nejspíš chybné") && o.err.contains("--no-check"), o.err.constData());
            QCOMPARE(o.out, QByteArray());
            QVERIFY(snapshot(d) == before);
        } else if (written == "plain") {
            QVERIFY(read_file<QByteArray>(d / "out.txt") == text);
        } else {
            QCOMPARE(read_file<QByteArray>(d / "out.txt").size(), input.isEmpty() ? text.size() : read_file<QByteArray>(d / input.toStdString()).size());
            QVERIFY(read_file<QByteArray>(d / "out.txt") != text);
        }
    }

    // The README's way out of the format: decrypted through a pipe straight
    // into age, so no plain copy is written; then read back with age alone.
    void leavingTheFormat()
    {
        if (QStandardPaths::findExecutable("age").isEmpty() || QStandardPaths::findExecutable("age-keygen").isEmpty())
            QSKIP("age is not installed (Debian package age)");
        QTemporaryDir dir;
        const fs::path d = dir.path().toStdString();
        write_file(d / "x.t2k", cipherTrezor);
        write_file(d / "pw", "Trezor\n");
        Outcome o = runCliInShell("age-keygen -o key.txt 2>/dev/null && "
                                  "\"$0\" -d -o - --password-file pw x.t2k | age -r \"$(age-keygen -y key.txt)\" -o x.age && "
                                  "age -d -i key.txt x.age",
                                  dir.path());
        QCOMPARE(o.status, 0);
        QCOMPARE(o.out, plain);
        QCOMPARE(snapshot(d).size(), std::size_t(4)); // key.txt, pw, x.t2k, x.age
    }

    void helpAndVersion()
    {
        QTemporaryDir dir;
        Outcome help = runCli({"--help"}, dir.path());
        QCOMPARE(help.status, 0);
        QVERIFY(help.out.startsWith("Použití: trezorka-cli"));
        QCOMPARE(help.err, QByteArray());
        Outcome version = runCli({"-V"}, dir.path());
        QCOMPARE(version.status, 0);
        QVERIFY(version.out.startsWith("trezorka-cli 2."));
    }
};

QTEST_GUILESS_MAIN(CliProcessTest)
#include "test_cli_process.moc"
