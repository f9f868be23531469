#pragma once

#include <QThread>

struct SharedJob;

// The worker of one job: takes everything from SharedJob, streams the source
// through the cipher into the target, pauses 800 ms, sets job_failed on an
// error, and then emits close_request (connect it queued to the progress dialog).
//
// The password is copied into a buffer that wipes itself, and job_password is
// wiped as soon as it has been read.
//
// Ownership: launch() creates the worker on the heap and lets it delete itself
// (deleteLater on finished), so nothing has to join or free it. Code that
// constructs a sifra itself owns it and must wait() before destroying it.
class sifra : public QThread {
    Q_OBJECT
public:
    static constexpr unsigned long pause_ms = 800;

    explicit sifra(SharedJob& job, QObject* parent = nullptr);

    // Starts one worker for the job in `job`, with close_request queued to
    // `slot` of `receiver`. The worker disposes of itself once it has ended,
    // so hold the returned pointer only in a QPointer, if at all.
    template <class Receiver, class Slot>
    static sifra* launch(SharedJob& job, Receiver* receiver, Slot slot)
    {
        auto* worker = new sifra(job);
        connect(worker, &sifra::close_request, receiver, slot, Qt::QueuedConnection);
        connect(worker, &QThread::finished, worker, &QObject::deleteLater);
        worker->start(QThread::LowPriority);
        return worker;
    }

signals:
    void close_request();

protected:
    void run() override;

private:
    SharedJob& job_;
};
