// The job record's password is wiped where it lies, the short-string storage included.
#include "SharedJob.h"

#include <QtTest>

#include <string>

class tst_sharedjob : public QObject {
    Q_OBJECT
private slots:
    void wipe_data()
    {
        QTest::addColumn<QString>("password");
        QTest::newRow("short, inside the string object") << QStringLiteral("heslo");
        QTest::newRow("long, on the heap") << QStringLiteral("tajné heslo, které je delší než krátký řetězec");
        QTest::newRow("empty") << QString();
    }

    void wipe()
    {
        QFETCH(QString, password);
        const std::u16string text = password.toStdU16String();
        SharedJob job;
        job.set_password(text.data(), text.size());
        QCOMPARE(job.password(), text);
        const char16_t* units = job.password().data();
        const std::size_t capacity = job.password().capacity();
        job.wipe_password();
        QVERIFY(job.password().empty());
        // The same buffer (clearing keeps it), every unit overwritten.
        QCOMPARE(job.password().data(), units);
        for (std::size_t i = 0; i < capacity; ++i)
            QCOMPARE(int(units[i]), 0);
    }
};

QTEST_APPLESS_MAIN(tst_sharedjob)
#include "tst_sharedjob.moc"
