#pragma once

#include <QThread>

struct SharedJob;

// The worker of one job: takes everything from SharedJob, streams the source
// through the cipher into the target, pauses 800 ms, sets job_failed on an
// error, and then emits close_request (connect it queued to the progress dialog).
class sifra : public QThread {
    Q_OBJECT
public:
    explicit sifra(SharedJob& job, QObject* parent = nullptr);

signals:
    void close_request();

protected:
    void run() override;

private:
    SharedJob& job_;
};
