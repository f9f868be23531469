// The job record's password wipe: it must never write through data that
// another string shares, and must leave the record empty.
#include "SharedJob.h"

#include <QtTest>

using namespace Qt::Literals::StringLiterals;

class tst_sharedjob : public QObject {
    Q_OBJECT
private slots:
    void wipe_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("shared with the field's text") << 0;
        QTest::newRow("unshared copy") << 1;
        QTest::newRow("literal") << 2;
        QTest::newRow("empty") << 3;
    }

    void wipe()
    {
        QFETCH(int, kind);
        QString field = u"tajné heslo"_s;
        field.detach();
        SharedJob job;
        switch (kind) {
        case 0: job.job_password = field; break;
        case 1: job.job_password = SharedJob::unshared_copy(field); break;
        case 2: job.job_password = u"tajné heslo"_s; break;
        default: break;
        }
        if (kind == 1) {
            QVERIFY(job.job_password.isDetached());
            QVERIFY(job.job_password.constData() != field.constData());
            QCOMPARE(job.job_password, field);
        }
        job.wipe_password();
        QVERIFY(job.job_password.isEmpty());
        QCOMPARE(field, u"tajné heslo"_s);
    }
};

QTEST_APPLESS_MAIN(tst_sharedjob)
#include "tst_sharedjob.moc"
