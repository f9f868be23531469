// run_cli in-process, with a scripted terminal: how often the password is
// asked, and what the answers lead to.

#include "cli.h"
#include "password.h"
#include "test_util.h"

#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace trezorka::cli;
using namespace test_util;

namespace {

class ScriptedPrompt final : public PasswordPrompt {
public:
    bool present = true;
    QStringList answers; // one per question; a missing answer is a read failure
    QStringList asked;   // the prompts, in order

    bool available() override { return present; }
    std::optional<trezorka::SecureBytes> ask(std::string_view prompt) override
    {
        asked << QString::fromUtf8(prompt.data(), static_cast<qsizetype>(prompt.size()));
        if (asked.size() > answers.size())
            return std::nullopt;
        const QByteArray utf8 = answers[asked.size() - 1].toUtf8();
        trezorka::SecureBytes bytes(static_cast<std::size_t>(utf8.size()));
        if (!utf8.isEmpty())
            std::memcpy(bytes.data(), utf8.constData(), bytes.size());
        return bytes;
    }
};

struct Run {
    int status = -1;
    QString err;
};

Run runIn(const QString& dir, const std::vector<std::string>& args, ScriptedPrompt& prompt)
{
    std::ostringstream out, err;
    // /dev/null as both data descriptors: never a terminal, never read here.
    int null = ::open("/dev/null", O_RDWR);
    const Streams streams{null, null, out, err, false, prompt};
    const fs::path old = fs::current_path();
    fs::current_path(dir.toStdString());
    Run r;
    r.status = run_cli(args, streams);
    fs::current_path(old);
    ::close(null);
    r.err = QString::fromStdString(err.str());
    return r;
}

// Whether the memory at `address` is locked ("lo" among the mapping's VmFlags).
bool locked(const void* address)
{
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    bool inside = false;
    while (std::getline(smaps, line)) {
        unsigned long from = 0, to = 0;
        if (std::sscanf(line.c_str(), "%lx-%lx ", &from, &to) == 2 && line.find(':') > line.find(' '))
            inside = at >= from && at < to;
        else if (inside && line.rfind("VmFlags:", 0) == 0)
            return line.find(" lo") != std::string::npos;
    }
    return false;
}

} // namespace

class CliInProcessTest : public QObject {
    Q_OBJECT

private slots:
    void terminalAnswers_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("present");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QStringList>("expectedPrompts");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");

        const QStringList both{"Heslo: ", "Heslo znova: "};
        const QStringList once{"Heslo: "};
        const QString weak = "Varování: u tohoto formátu se počítá jen prvních 2 znaků hesla.\n";
        QTest::newRow("encrypt asks twice") << "a.txt" << true << QStringList{"pes", "pes"} << both << 0
                                            << weak + "Šifrování souboru dokončeno.\nSoubor uložen do: a.txt.t2k.\n";
        QTest::newRow("case differs") << "a.txt" << true << QStringList{"Pes", "pes"} << both << 2
                                      << "Hesla se neshodují, prosím opravte.\n";
        QTest::newRow("second empty") << "a.txt" << true << QStringList{"pes", ""} << both << 2
                                      << "Hesla se neshodují, prosím opravte.\n";
        QTest::newRow("first empty, not asked again") << "a.txt" << true << QStringList{""} << once << 2
                                                      << "Vložte prosím heslo.\n";
        QTest::newRow("decrypt asks once") << "b.t2k" << true << QStringList{"pes"} << once << 0
                                           << "Dešifrování souboru dokončeno.\nSoubor uložen do: b.\n";
        QTest::newRow("forced encrypt of .t2k asks twice")
            << "--encrypt b.t2k" << true << QStringList{"pes", "pes"} << both << 0
            << weak + "Šifrování souboru dokončeno.\nSoubor uložen do: b.t2k.t2k.\n";
        QTest::newRow("forced encrypt of .t1k") << "-e old.t1k" << true << QStringList{"pes", "pes"} << both << 0
                                                << weak + "Šifrování souboru dokončeno.\nSoubor uložen do: old.t1k.t2k.\n";
        QTest::newRow("terminal cannot be read") << "a.txt" << true << QStringList{} << once << 2
                                                 << "Heslo nelze načíst z terminálu.\n";
        QTest::newRow("no terminal") << "a.txt" << false << QStringList{"pes", "pes"} << QStringList{} << 2
                                     << "Heslo nelze zadat: chybí terminál. Použijte --password-fd nebo --password-file.\n";
        QTest::newRow("refusal before asking") << "old.t1k" << true << QStringList{"pes", "pes"} << QStringList{}
                                               << 2
                                               << "VAROVÁNÍ: starší format šifrovaného souboru (*.t1k) není v této verzi podporován.\n";
        const QString help = "\nNápovědu vypíše: trezorka-cli --help\n";
        QTest::newRow("empty source, not asked") << "" << true << QStringList{"pes"} << QStringList{} << 2
                                                 << "trezorka-cli: ZDROJ je prázdný" + help;
        QTest::newRow("empty -o, not asked") << "a.txt -o " << true << QStringList{"pes", "pes"} << QStringList{}
                                             << 2 << "trezorka-cli: volba --output potřebuje jméno cíle" + help;
        QTest::newRow("\".t2k\" leaves no name, not asked")
            << ".t2k" << true << QStringList{"pes"} << QStringList{} << 2
            << "Ze zdroje \".t2k\" nelze odvodit jméno cíle; zadejte cíl volbou -o.\n";
        QTest::newRow("a pipe as the source, not asked")
            << "fifo" << true << QStringList{"pes", "pes"} << QStringList{} << 1
            << "Nelze provést šifrování souboru.\n(chyba při načítání/ukládání)\nzdroj není obyčejný soubor: fifo\n"
               "Data z roury či zařízení předejte na standardní vstup se ZDROJEM \"-\".\n";
        // Control characters in names are shown escaped, never sent to the terminal.
        QTest::newRow("escape sequence in the saved name")
            << "e\x1b[2Jx.txt" << true << QStringList{"pes", "pes"} << both << 0
            << weak + "Šifrování souboru dokončeno.\nSoubor uložen do: e\\x1b[2Jx.txt.t2k.\n";
        QTest::newRow("line break in an unknown option")
            << "--bad\nline a.txt" << true << QStringList{} << QStringList{} << 2
            << "trezorka-cli: neznámá volba \"--bad\\x0aline\"" + help;
    }
    void terminalAnswers()
    {
        QFETCH(QString, source);
        QFETCH(bool, present);
        QFETCH(QStringList, answers);
        QFETCH(QStringList, expectedPrompts);
        QFETCH(int, status);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const fs::path d = dir.path().toStdString();
        write_file(d / "a.txt", "Ahoj, svete!");
        write_file(d / "b.t2k", "Ahoj, svete!");
        write_file(d / "old.t1k", "x");
        write_file(d / ".t2k", "x");
        write_file(d / "e\x1b[2Jx.txt", "x");
        QCOMPARE(::mkfifo((d / "fifo").c_str(), 0600), 0);

        ScriptedPrompt prompt;
        prompt.present = present;
        prompt.answers = answers;
        std::vector<std::string> args;
        for (const QString& a : source.split(' '))
            args.push_back(a.toStdString());
        Run r = runIn(dir.path(), args, prompt);
        QCOMPARE(r.status, status);
        QCOMPARE(r.err, message);
        QCOMPARE(prompt.asked, expectedPrompts);
    }

    // Encrypting with a password of which fewer than 8 characters count warns,
    // also with -q, and goes on; decrypting never warns.
    void passwordWeight_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("message");
        const QString done = "Šifrování souboru dokončeno.\nSoubor uložen do: a.txt.t2k.\n";
        const auto counted = [](int n) {
            return QString("Varování: u tohoto formátu se počítá jen prvních %1 znaků hesla.\n").arg(n);
        };
        QTest::newRow("even: 8 characters, 4 count") << "-q a.txt" << "password" << counted(4);
        QTest::newRow("before the report") << "a.txt" << "password" << counted(4) + done;
        QTest::newRow("odd: 13 characters, 7 count") << "-q a.txt" << "abcdefghijklm" << counted(7);
        QTest::newRow("14 characters, 7 count") << "-q a.txt" << "abcdefghijklmn" << counted(7);
        QTest::newRow("odd: 15 characters, 8 count") << "-q a.txt" << "abcdefghijklmno" << "";
        QTest::newRow("Czech, 9 characters, 5 count") << "-q a.txt" << "žluťoučký" << counted(5);
        QTest::newRow("non-BMP: 4 characters, 2 count") << "-q a.txt" << "😀😀😀😀" << counted(2);
        QTest::newRow("decrypting never warns") << "-q b.t2k" << "pes" << "";
    }
    void passwordWeight()
    {
        QFETCH(QString, options);
        QFETCH(QString, password);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const fs::path d = dir.path().toStdString();
        write_file(d / "a.txt", "Ahoj, svete!");
        write_file(d / "b.t2k", "Ahoj, svete!");
        write_file(d / "pw", (password + "\n").toUtf8().constData());
        std::vector<std::string> args{"--password-file", "pw"};
        for (const QString& a : options.split(' '))
            args.push_back(a.toStdString());
        ScriptedPrompt prompt;
        Run r = runIn(dir.path(), args, prompt);
        QCOMPARE(r.err, message);
        QCOMPARE(r.status, 0);
    }

    // Under a small locked-memory limit (ulimit -l 64) the page the password
    // ends up in is locked: the line buffer does not take the whole allowance.
    void passwordLockedUnderSmallLimit()
    {
#ifdef __SANITIZE_ADDRESS__
        QSKIP("AddressSanitizer turns mlock() into nothing");
#endif
        int fds[2];
        QCOMPARE(::pipe(fds), 0);
        QCOMPARE(::write(fds[1], "Trezor\n", 7), ssize_t(7));
        ::close(fds[1]);
        const pid_t pid = ::fork();
        if (pid == 0) {
            const rlimit small{64 * 1024, 64 * 1024};
            if (::setrlimit(RLIMIT_MEMLOCK, &small) != 0)
                ::_exit(2);
            // Root locks past any limit; another user is held to it, and
            // must stay able to read its own /proc files.
            if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
                ::_exit(3);
            ::prctl(PR_SET_DUMPABLE, 1, 0, 0, 0);
            trezorka::SecureBytes line;
            if (read_first_line(fds[0], line) != LineStatus::ok || line.size() != 6)
                ::_exit(4);
            ::_exit(locked(line.data()) ? 0 : 1);
        }
        ::close(fds[0]);
        int status = 0;
        QCOMPARE(::waitpid(pid, &status, 0), pid);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
    }

    // --help lists every option the tool accepts and every exit status.
    void helpListsEverything_data()
    {
        QTest::addColumn<QString>("item");
        for (const char* item : {"--encrypt", "--decrypt", "--output", "--force", "--password-fd",
                                 "--password-file", "--key-40", "--no-check", "--quiet", "--help", "--version", "-o, ",
                                 "\n  0  ", "\n  1  ", "\n  2  ", "--force", "\".t1k\"",
                                 "se počítá jen prvních N znaků hesla."})
            QTest::newRow(item) << QString::fromUtf8(item);
    }
    void helpListsEverything()
    {
        QFETCH(QString, item);
        std::ostringstream out, err;
        ScriptedPrompt prompt;
        const Streams streams{-1, -1, out, err, false, prompt};
        const std::vector<std::string> args{"--help"};
        QCOMPARE(run_cli(args, streams), 0);
        QVERIFY(QString::fromStdString(out.str()).contains(item));
        QVERIFY(prompt.asked.isEmpty());
    }
};

QTEST_GUILESS_MAIN(CliInProcessTest)
#include "test_cli_inprocess.moc"
