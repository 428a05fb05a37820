// The print queues through the CUPS client library: the jobs come from a Get-Jobs request and go
// through the server's own Cancel-Job, so the server's files are never touched from outside.
#include "platform/printqueue.h"

#include <cups/cups.h>

namespace platform {

namespace {

// A job that needs a password is one this user may not cancel: the clean-up runs at start-up,
// with nobody there to type one, and must never wait for a prompt.
const char* NoPassword(const char*, http_t*, const char*, const char*, void*) { return nullptr; }

// Called when the server has not answered within the time set: stop waiting.
int GiveUp(http_t*, void*) { return 0; }

QString Text(const char* text) { return text ? QString::fromUtf8(text) : QString(); }

class CupsPrintQueue : public PrintQueue {
public:
    explicit CupsPrintQueue(const CupsOptions& options) : m_options(options)
    {
        // The server as the environment (CUPS_SERVER) and client.conf name it now, not as the
        // client library remembered it from an earlier question.
        cupsSetServer(nullptr);
    }
    ~CupsPrintQueue() override
    {
        if (m_http)
            httpClose(m_http);
    }
    CupsPrintQueue(const CupsPrintQueue&) = delete;
    CupsPrintQueue& operator=(const CupsPrintQueue&) = delete;

    bool activeJobs(QList<PrintJob>* jobs, QString* reason) override
    {
        jobs->clear();
        if (!connect(reason))
            return false;
        cups_job_t* list = nullptr;
        // Every user's jobs: which of them this user may cancel is the server's decision.
        const int count = cupsGetJobs2(m_http, &list, nullptr, 0, CUPS_WHICHJOBS_ACTIVE);
        if (count < 0) {
            *reason = failure();
            return false;
        }
        for (int i = 0; i < count; ++i) {
            const cups_job_t& job = list[i];
            jobs->append(PrintJob{job.id, Text(job.dest), Text(job.user), Text(job.title)});
        }
        cupsFreeJobs(count, list);
        return true;
    }

    CancelResult cancelJob(const PrintJob& job) override
    {
        QString reason;
        if (!connect(&reason))
            return {CancelOutcome::Failed, reason};
        const QByteArray printer = job.printer.toUtf8();
        const ipp_status_t status = cupsCancelJob2(m_http, printer.constData(), job.id, 0);
        switch (status) {
        case IPP_STATUS_OK:
        case IPP_STATUS_OK_IGNORED_OR_SUBSTITUTED:
        case IPP_STATUS_OK_CONFLICTING:
            return {CancelOutcome::Cancelled, {}};
        case IPP_STATUS_ERROR_NOT_FOUND:
        case IPP_STATUS_ERROR_NOT_POSSIBLE:  // finished or cancelled already
            return {CancelOutcome::Gone, {}};
        case IPP_STATUS_ERROR_FORBIDDEN:
        case IPP_STATUS_ERROR_NOT_AUTHENTICATED:
        case IPP_STATUS_ERROR_NOT_AUTHORIZED:
        case IPP_STATUS_ERROR_CUPS_AUTHENTICATION_CANCELED:
            return {CancelOutcome::NotAllowed, {}};
        default:
            return {CancelOutcome::Failed, failure()};
        }
    }

private:
    bool connect(QString* reason)
    {
        if (m_http)
            return true;
        if (!m_broken.isEmpty()) {
            *reason = m_broken;
            return false;
        }
        cupsSetPasswordCB2(NoPassword, nullptr);
        const char* server = cupsServer();
        m_server = Text(server);
        m_http = httpConnect2(server, ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                              m_options.timeoutMs, nullptr);
        if (!m_http) {
            m_broken = QStringLiteral("får ikke kontakt med utskriftstjenesten på ") + m_server;
            *reason = m_broken;
            return false;
        }
        httpSetTimeout(m_http, m_options.timeoutMs / 1000.0, GiveUp, nullptr);
        return true;
    }

    // The reason of the last failed request. A failure of the connection itself (no answer in
    // time, the server went away) ends the connection: later requests fail at once.
    QString failure()
    {
        const ipp_status_t status = cupsLastError();
        const QString message = Text(cupsLastErrorString());
        if (status == IPP_STATUS_ERROR_INTERNAL || status == IPP_STATUS_ERROR_SERVICE_UNAVAILABLE) {
            m_broken = QStringLiteral("utskriftstjenesten på ") + m_server +
                       QStringLiteral(" svarer ikke (") + message + QStringLiteral(")");
            httpClose(m_http);
            m_http = nullptr;
            return m_broken;
        }
        return QStringLiteral("utskriftstjenesten svarte: ") + message;
    }

    CupsOptions m_options;
    http_t* m_http = nullptr;
    QString m_server;
    QString m_broken;  // why the server cannot be used; empty while it can
};

std::unique_ptr<PrintQueue>& Installed()
{
    static std::unique_ptr<PrintQueue> backend;
    return backend;
}

}  // namespace

std::unique_ptr<PrintQueue> CreateCupsPrintQueue(const CupsOptions& options)
{
    return std::make_unique<CupsPrintQueue>(options);
}

PrintQueue& printQueue()
{
    std::unique_ptr<PrintQueue>& backend = Installed();
    if (!backend)
        backend = CreateCupsPrintQueue();
    return *backend;
}

void SetPrintQueue(std::unique_ptr<PrintQueue> backend) { Installed() = std::move(backend); }

}  // namespace platform
