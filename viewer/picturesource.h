#pragma once
// The viewer's picture source: loads pictures on a worker thread of its own, so the window keeps
// painting and answering while a large photo decodes.
//
// - A request names the file and where it will be drawn (DrawTarget); a JPEG is decoded at the
//   smallest scale that covers the drawn size, and the result comes with the picture already
//   scaled smoothly to that size.
// - Answers reach the GUI thread through its event loop, in the order asked. Only the newest
//   request is answered: one asked earlier and not answered yet is dropped (the user has
//   stepped past it), and a decode under way for it is cut short.
// - A progressive JPEG is answered several times: coarse pictures as its scans arrive, then the
//   final one.
// - One prefetch at a time: the next picture is decoded while nothing is asked, and kept. A
//   request for the same file and target takes it, unless the file changed on disk since (size
//   or modification time); a failure is kept the same way and reported only when asked for. A
//   request never waits for a prefetch of another file: that decode is cut short.
#include "viewer/pictureloader.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

struct PictureAnswer {
    quint64 id = 0;
    QString path;
    PictureLoadResult picture;  // image at its decoded scale (or the metafile), natural size, error
    QImage drawn;               // a bitmap scaled to drawnSize; null when drawing it whole would waste memory
    QSize drawnSize;
    bool final = true;          // false: a coarse picture of a progressive JPEG, more to come
    bool prefetched = false;    // taken from the prefetch
    double decodeMs = 0;        // decode and scaling time on the worker
};

class PictureSource : public QObject {
    Q_OBJECT
public:
    explicit PictureSource(QObject* parent = nullptr);
    ~PictureSource() override;

    // Asks for a picture; its answers come to `answer` on this object's thread. Returns the
    // request's number.
    quint64 request(const QString& path, const DrawTarget& target);
    // Decodes a picture ahead of being asked for.
    void prefetch(const QString& path, const DrawTarget& target);

    // Called with every answer to the newest request.
    std::function<void(const PictureAnswer&)> answer;

    // No request is waiting for its final answer.
    bool settled() const { return m_waiting == 0; }
    // Runs the event loop until settled and no prefetch is under way, at most timeoutMs.
    bool waitUntilIdle(int timeoutMs = 30000);
    // The prefetch is decoded and kept (tests).
    bool hasPrefetched(const QString& path) const;

private:
    struct Job {
        quint64 id = 0;  // 0 for a prefetch
        QString path;
        DrawTarget target;
    };
    struct Stamp {
        qint64 size = -1;
        qint64 modified = 0;
        bool operator==(const Stamp&) const = default;
    };
    struct Kept {
        QString path;
        DrawTarget target;
        Stamp stamp;
        PictureAnswer answer;
    };

    void run();
    PictureAnswer decode(const Job& job, bool partials);
    void post(PictureAnswer answer);
    static Stamp stampOf(const QString& path);

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::optional<Job> m_asked;      // the newest request, not started yet
    std::optional<Job> m_ahead;      // the prefetch to do
    std::optional<Job> m_running;    // the job on the worker now
    std::optional<Kept> m_kept;      // the prefetched picture
    std::atomic<bool> m_cancel{false};
    bool m_stop = false;
    quint64 m_lastId = 0;            // GUI thread
    quint64 m_waiting = 0;           // GUI thread: the request still without its final answer
    std::thread m_worker;
};

// The opt-in timing trace (GLIMRA_TRACE=1): milliseconds on one clock, counted from the process
// start, so a request made at start-up, by a click or by the timer is measured alike.
bool PictureTraceOn();
double TraceNowMs();
