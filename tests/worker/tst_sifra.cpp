// The worker, driven through SharedJob exactly as the window drives it.

#include "SharedJob.h"
#include "sifra.h"
#include "test_qt.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#ifdef __linux__
#include <cerrno>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace test_util;

namespace {

struct Outcome {
    bool closed = false;
    bool failed_at_close = false; // job_failed as the UI thread saw it on the close request
    qint64 elapsed_ms = 0;
    bool disposed = false; // the worker's thread has ended once its owner let it go
};

// Starts one worker and waits for its close request, as the modal loop would.
Outcome run_job(SharedJob& job)
{
    Outcome out;
    QEventLoop loop;
    QElapsedTimer clock;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    guard.start(20000);
    clock.start();
    {
        // The close request is made on the worker's thread and queued to this one.
        sifra worker(job, [&] {
            QMetaObject::invokeMethod(&loop, [&] {
                out.closed = true;
                out.failed_at_close = job.job_failed;
                out.elapsed_ms = clock.elapsed();
                loop.quit();
            }, Qt::QueuedConnection);
        });
        worker.start();
        loop.exec();
        // The owner lets it go: that waits for the thread, which must end promptly.
        QElapsedTimer ending;
        ending.start();
        worker.wait();
        out.disposed = ending.elapsed() < 2000;
    }
    return out;
}

void set_password(SharedJob& job, const QString& password)
{
    const std::u16string text = password.toStdU16String();
    job.set_password(text.data(), text.size());
}


} // namespace

class tst_sifra : public QObject {
    Q_OBJECT
private slots:
    void knownAnswer_data();
    void knownAnswer();
    void roundTrip_data();
    void roundTrip();
    void failure_data();
    void failure();
    void neverClearsFailure();
    void closesAfterPause();
    void runsOneNiceStepLower();
};

// The worker must hand the password to the cipher intact even though it wipes
// the shared copy at once; a known ciphertext proves the bytes that were used.
void tst_sifra::knownAnswer_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QByteArray>("cipher");
    QTest::newRow("Trezor") << QStringLiteral("Trezor") << QByteArray::fromHex("96dbba68328befd0f21dd74a");
    QTest::newRow("zlutoucky") << QStringLiteral("žluťoučký") << QByteArray::fromHex("e04831b708f9168d8c7f5fe1");
    QTest::newRow("x") << QStringLiteral("x") << QByteArray::fromHex("76da214be3663a88475a8675");
}

void tst_sifra::knownAnswer()
{
    QFETCH(QString, password);
    QFETCH(QByteArray, cipher);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString plain = dir.filePath(QStringLiteral("zprava.txt"));
    write_file(plain, "Ahoj, svete!");

    SharedJob job;
    job.job_source = (plain).toStdU16String();
    job.job_target = (plain + QStringLiteral(".t2k")).toStdU16String();
    set_password(job, password);
    job.job_encrypt = true;
    const Outcome out = run_job(job);
    QVERIFY(out.closed);
    QVERIFY(!out.failed_at_close);
    QCOMPARE(read_file(QString::fromStdU16String(job.job_target)).toHex(), cipher.toHex());
    QVERIFY(job.password().empty());
}

void tst_sifra::roundTrip_data()
{
    QTest::addColumn<int>("length");
    for (int n : {0, 1, 511, 512, 513, 1024, 65535, 65536, 65537, 300000})
        QTest::addRow("%d bytes", n) << n;
}

void tst_sifra::roundTrip()
{
    QFETCH(int, length);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray original = random_bytes<QByteArray>(length, 1);
    const QString plain = dir.filePath(QStringLiteral("data.bin"));
    const QString encrypted = plain + QStringLiteral(".t2k");
    const QString restored = dir.filePath(QStringLiteral("restored.bin"));
    write_file(plain, original);

    SharedJob job;
    job.job_source = (plain).toStdU16String();
    job.job_target = (encrypted).toStdU16String();
    set_password(job, QStringLiteral("heslo123"));
    job.job_encrypt = true;
    Outcome out = run_job(job);
    QVERIFY(out.closed);
    QVERIFY(out.disposed);
    QVERIFY(!out.failed_at_close);
    QVERIFY(!job.job_failed);
    QVERIFY2(job.password().empty(), "the password stays in the shared record");
    const QByteArray cipher = read_file(encrypted);
    QCOMPARE(cipher.size(), original.size());
    if (length > 16)
        QVERIFY(cipher != original);

    job.job_source = (encrypted).toStdU16String();
    job.job_target = (restored).toStdU16String();
    set_password(job, QStringLiteral("heslo123"));
    job.job_encrypt = false;
    out = run_job(job);
    QVERIFY(out.closed);
    QVERIFY(!job.job_failed);
    QVERIFY(job.password().empty());
    QVERIFY(read_file(restored) == original);
    QCOMPARE(listing(dir.path()), QStringList({"data.bin", "data.bin.t2k", "restored.bin"}));
}

// Each failure is reported through job_failed and its cause by the time the
// close request is handled, and leaves the folders as they were.
void tst_sifra::failure_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("cause"); // %1: the folder
    QTest::newRow("target folder missing")
        << "data.bin" << "chybi/data.bin.t2k" << "cílová složka neexistuje: %1/chybi: soubor nebo složka neexistuje";
    QTest::newRow("source missing") << "neni.bin" << "neni.bin.t2k"
                                    << "nelze otevřít zdroj: %1/neni.bin: soubor nebo složka neexistuje";
    QTest::newRow("target is the source") << "data.bin" << "data.bin" << "cíl je týž soubor jako zdroj";
    QTest::newRow("target is the source by another name")
        << "data.bin" << "./sub/../data.bin" << "cíl je týž soubor jako zdroj";
    QTest::newRow("source is a folder") << "sub" << "sub.t2k" << "zdroj je složka: %1/sub";
    QTest::newRow("target is a folder") << "data.bin" << "sub" << "cíl je složka: %1/sub";
    QTest::newRow("name escaped") << "a\nb" << "a\nb.t2k"
                                  << "nelze otevřít zdroj: %1/a\\x0ab: soubor nebo složka neexistuje";
}

void tst_sifra::failure()
{
    QFETCH(QString, source);
    QFETCH(QString, target);
    QFETCH(QString, cause);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray original = random_bytes<QByteArray>(5000, 1);
    write_file(dir.filePath(QStringLiteral("data.bin")), original);
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    const QStringList before = listing(dir.path());

    SharedJob job;
    job.job_source = (dir.filePath(source)).toStdU16String();
    job.job_target = (dir.filePath(target)).toStdU16String();
    set_password(job, QStringLiteral("heslo"));
    const Outcome out = run_job(job);
    QVERIFY(out.closed);
    QVERIFY(out.disposed);
    QVERIFY(out.failed_at_close);
    QVERIFY(job.job_failed);
    QCOMPARE(QString::fromStdU16String(job.job_cause), cause.arg(dir.path()));
    QVERIFY(job.password().empty());
    QCOMPARE(listing(dir.path()), before);
    QVERIFY(listing(dir.filePath(QStringLiteral("sub"))).isEmpty());
    QVERIFY(read_file(dir.filePath(QStringLiteral("data.bin"))) == original);
}

// Clearing the flag is the reporting command's business, never the worker's.
void tst_sifra::neverClearsFailure()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    write_file(dir.filePath(QStringLiteral("a")), "abc");
    SharedJob job;
    job.job_source = (dir.filePath(QStringLiteral("a"))).toStdU16String();
    job.job_target = (dir.filePath(QStringLiteral("a.t2k"))).toStdU16String();
    set_password(job, QStringLiteral("p"));
    job.job_failed = true;
    const Outcome out = run_job(job);
    QVERIFY(out.closed);
    QVERIFY(job.job_failed);
    QCOMPARE(read_file(QString::fromStdU16String(job.job_target)).size(), 3);
}

// Even an empty file keeps the dialog up for the pause, and not much longer.
void tst_sifra::closesAfterPause()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    write_file(dir.filePath(QStringLiteral("empty")), QByteArray());
    SharedJob job;
    job.job_source = (dir.filePath(QStringLiteral("empty"))).toStdU16String();
    job.job_target = (dir.filePath(QStringLiteral("empty.t2k"))).toStdU16String();
    set_password(job, QStringLiteral("p"));
    const Outcome out = run_job(job);
    QVERIFY(out.closed);
    QVERIFY(!job.job_failed);
    QVERIFY2(out.elapsed_ms >= 800, qPrintable(QString::number(out.elapsed_ms)));
    QVERIFY2(out.elapsed_ms < 1500, qPrintable(QString::number(out.elapsed_ms)));
    QVERIFY(QFileInfo::exists(QString::fromStdU16String(job.job_target)));
}

// The desktop stays responsive: the worker's threads run one nice step below
// the process. Observed from /proc while the job runs on a big sparse source.
void tst_sifra::runsOneNiceStepLower()
{
#ifndef __linux__
    QSKIP("per-thread nice values are a Linux matter");
#else
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString source = dir.filePath(QStringLiteral("velky"));
    {
        QFile sparse(source);
        QVERIFY(sparse.open(QIODevice::WriteOnly) && sparse.resize(qint64(256) << 20));
    }
    errno = 0;
    const int base = ::getpriority(PRIO_PROCESS, 0);
    QCOMPARE(errno, 0);
    if (base >= 19)
        QSKIP("already at the lowest priority");

    SharedJob job;
    job.job_source = source.toStdU16String();
    job.job_target = dir.filePath(QStringLiteral("velky.t2k")).toStdU16String();
    set_password(job, QStringLiteral("p"));
    bool closed = false;
    QEventLoop loop;
    sifra worker(job, [&] {
        QMetaObject::invokeMethod(&loop, [&] {
            closed = true;
            loop.quit();
        }, Qt::QueuedConnection);
    });
    worker.start();
    // The job is under way once it holds its temporary file (one with no
    // name yet: "#inode (deleted)" in /proc).
    const QString prefix = QFileInfo(dir.path()).canonicalFilePath() + QStringLiteral("/");
    const QDir fds(QStringLiteral("/proc/self/fd"));
    bool under_way = false;
    QElapsedTimer waited;
    waited.start();
    while (!under_way && !closed && waited.elapsed() < 5000) {
        for (const QString& fd : fds.entryList(QDir::Files | QDir::System)) {
            const QString link = QFile::symLinkTarget(fds.filePath(fd));
            if (link.startsWith(prefix) && link != source)
                under_way = true;
        }
    }
    QVERIFY(under_way);

    QList<int> nice_of_workers;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(tid + QStringLiteral("/comm")));
        QFile stat(tasks.filePath(tid + QStringLiteral("/stat")));
        if (!comm.open(QIODevice::ReadOnly) || !stat.open(QIODevice::ReadOnly))
            continue;
        if (comm.readAll().trimmed() != "sifra")
            continue;
        // Field 19 is the nice value; fields are counted after the command name.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        nice_of_workers << fields.at(16).toInt();
    }
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    QVERIFY(closed);
    QVERIFY(!job.job_failed);
    QVERIFY(!nice_of_workers.isEmpty());
    for (int nice : nice_of_workers)
        QCOMPARE(nice, base + 1);
#endif
}

QTEST_GUILESS_MAIN(tst_sifra)
#include "tst_sifra.moc"
