#pragma once
// A print queue for tests: jobs put in by the test, the outcome each cancel request gets, a
// server that cannot be reached, and a record of every request.
#include "platform/printqueue.h"

#include <QMap>

namespace platform {

class FakePrintQueue : public PrintQueue {
public:
    // Adds a waiting job; a cancel request for it gets `outcome` (with `reason` when Failed).
    // A job that is cancelled leaves the queue.
    void addJob(const PrintJob& job, CancelOutcome outcome = CancelOutcome::Cancelled,
                const QString& reason = {});
    // The server cannot be reached: activeJobs fails with this reason.
    void setUnreachable(const QString& reason) { m_unreachable = reason; }

    // The jobs still waiting.
    QList<PrintJob> jobs() const { return m_jobs; }
    // How often the jobs were asked for.
    int listRequests() const { return m_listRequests; }
    // The ids of the jobs a cancel was asked for, in order.
    QList<int> cancelRequests() const { return m_cancelRequests; }

    bool activeJobs(QList<PrintJob>* jobs, QString* reason) override;
    CancelResult cancelJob(const PrintJob& job) override;

private:
    QList<PrintJob> m_jobs;
    QMap<int, CancelResult> m_outcomes;
    QString m_unreachable;
    int m_listRequests = 0;
    QList<int> m_cancelRequests;
};

// Installs a FakePrintQueue for its lifetime, then puts the CUPS backend back.
class ScopedFakePrintQueue {
public:
    ScopedFakePrintQueue();
    ~ScopedFakePrintQueue();
    ScopedFakePrintQueue(const ScopedFakePrintQueue&) = delete;
    ScopedFakePrintQueue& operator=(const ScopedFakePrintQueue&) = delete;

    FakePrintQueue& operator*() const { return *m_fake; }
    FakePrintQueue* operator->() const { return m_fake; }

private:
    FakePrintQueue* m_fake;
};

}  // namespace platform
