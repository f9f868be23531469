// The job record's password: the worker takes it, and then the record holds
// nothing of it.
#include "SharedJob.h"

#include <QtTest>

#include <string>

class tst_sharedjob : public QObject {
    Q_OBJECT
private slots:
    void take_data()
    {
        QTest::addColumn<QString>("password");
        QTest::newRow("short") << QStringLiteral("heslo");
        QTest::newRow("long") << QStringLiteral("tajné heslo, které je delší než krátký řetězec");
        QTest::newRow("empty") << QString();
    }

    void take()
    {
        QFETCH(QString, password);
        const std::u16string text = password.toStdU16String();
        SharedJob job;
        job.set_password(text.data(), text.size());
        QCOMPARE(std::u16string(job.password()), text);
        const trezorka::SecureText taken = job.take_password();
        QCOMPARE(std::u16string(taken.view()), text);
        QVERIFY(job.password().empty());
        QVERIFY(job.take_password().empty());
        // A record made afresh in its place takes over nothing.
        job.set_password(text.data(), text.size());
        job = SharedJob{};
        QVERIFY(job.password().empty());
    }
};

QTEST_APPLESS_MAIN(tst_sharedjob)
#include "tst_sharedjob.moc"
