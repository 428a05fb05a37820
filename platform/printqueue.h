#pragma once
// The print server's queues as the start-up clean-up empties them: the jobs not finished yet,
// and a request to cancel one. Nothing here touches the print server's own files; a job goes
// only through the server's own cancel request, which the server grants or refuses by its
// rules (a user cancels his own jobs, an administrator every job).
//
// The Linux backend (CreateCupsPrintQueue) talks to the CUPS server; a fake
// (platform/fake/printqueue_fake.h) holds whatever jobs a test puts in it.
#include <QList>
#include <QString>
#include <memory>

namespace platform {

struct PrintJob {
    int id = 0;
    QString printer;  // the queue the job waits in
    QString user;     // who sent it
    QString title;
};

// What became of a request to cancel one job.
enum class CancelOutcome {
    Cancelled,   // the server cancelled it
    Gone,        // it had finished, or was cancelled by someone else, before the request came
    NotAllowed,  // the server's rules do not let this user cancel it
    Failed,      // anything else; the reason says what
};

struct CancelResult {
    CancelOutcome outcome = CancelOutcome::Failed;
    QString reason;  // Norwegian, for the log; set when outcome is Failed
};

class PrintQueue {
public:
    virtual ~PrintQueue() = default;
    // Every job of every queue that is not finished yet (waiting, held or printing), in the
    // order the server lists them. False, with a Norwegian reason, when the server cannot be
    // reached or does not answer in time; the call never waits long.
    virtual bool activeJobs(QList<PrintJob>* jobs, QString* reason) = 0;
    // Asks the server to cancel one job.
    virtual CancelResult cancelJob(const PrintJob& job) = 0;
};

// The backend in use: the CUPS one unless another was installed.
PrintQueue& printQueue();
// Installs a backend (tests); null puts the CUPS backend back.
void SetPrintQueue(std::unique_ptr<PrintQueue> backend);

// The CUPS backend. It reaches the server the CUPS client library is set up for (CUPS_SERVER,
// client.conf, else the local socket), never asks for a password (a job that needs one counts
// as NotAllowed), and gives up on a server that does not answer within timeoutMs: that request
// fails, and so does every later one of the same backend.
struct CupsOptions {
    int timeoutMs = 3000;
};
std::unique_ptr<PrintQueue> CreateCupsPrintQueue(const CupsOptions& options = {});

}  // namespace platform
