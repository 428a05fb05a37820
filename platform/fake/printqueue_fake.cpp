#include "platform/fake/printqueue_fake.h"

namespace platform {

void FakePrintQueue::addJob(const PrintJob& job, CancelOutcome outcome, const QString& reason)
{
    m_jobs.append(job);
    m_outcomes.insert(job.id, CancelResult{outcome, reason});
}

bool FakePrintQueue::activeJobs(QList<PrintJob>* jobs, QString* reason)
{
    ++m_listRequests;
    if (!m_unreachable.isEmpty()) {
        *reason = m_unreachable;
        return false;
    }
    *jobs = m_jobs;
    return true;
}

CancelResult FakePrintQueue::cancelJob(const PrintJob& job)
{
    m_cancelRequests.append(job.id);
    for (qsizetype i = 0; i < m_jobs.size(); ++i) {
        if (m_jobs.at(i).id != job.id)
            continue;
        const CancelResult result = m_outcomes.value(job.id);
        if (result.outcome == CancelOutcome::Cancelled)
            m_jobs.removeAt(i);
        return result;
    }
    return CancelResult{CancelOutcome::Gone, {}};
}

ScopedFakePrintQueue::ScopedFakePrintQueue()
{
    auto fake = std::make_unique<FakePrintQueue>();
    m_fake = fake.get();
    SetPrintQueue(std::move(fake));
}

ScopedFakePrintQueue::~ScopedFakePrintQueue() { SetPrintQueue(nullptr); }

}  // namespace platform
