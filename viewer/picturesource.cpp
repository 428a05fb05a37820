#include "viewer/picturesource.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <ctime>
#include <unistd.h>

namespace {

// The picture scaled smoothly (area-averaged when reduced, so no aliasing) to `drawn` device
// pixels, when it is shown whole: a picture cut at the area's edge is scaled part by part when painted.
QImage DrawnPicture(const QImage& image, QSize drawn, QSize area)
{
    if (image.isNull() || drawn.isEmpty())
        return {};
    if (drawn == image.size())
        return image;
    if (drawn.width() > area.width() || drawn.height() > area.height())
        return {};
    return image.scaled(drawn, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

}  // namespace

PictureSource::PictureSource(QObject* parent) : QObject(parent)
{
    m_worker = std::thread([this] { run(); });
}

PictureSource::~PictureSource()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_cancel = true;
    }
    m_wake.notify_all();
    m_worker.join();
}

quint64 PictureSource::request(const QString& path, const DrawTarget& target)
{
    const quint64 id = ++m_lastId;
    m_waiting = id;
    {
        std::lock_guard lock(m_mutex);
        m_asked = Job{id, path, target};
        // A decode under way is wasted unless it is the prefetch of this very picture.
        if (m_running && (m_running->id != 0 || m_running->path != path || !(m_running->target == target)))
            m_cancel = true;
    }
    m_wake.notify_all();
    return id;
}

void PictureSource::prefetch(const QString& path, const DrawTarget& target)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_kept && m_kept->path == path && m_kept->target == target && m_kept->stamp == stampOf(path))
            return;
        m_ahead = Job{0, path, target};
        if (m_running && m_running->id == 0 && (m_running->path != path || !(m_running->target == target)))
            m_cancel = true;
    }
    m_wake.notify_all();
}

bool PictureSource::hasPrefetched(const QString& path) const
{
    std::lock_guard lock(m_mutex);
    return m_kept && m_kept->path == path;
}

bool PictureSource::waitUntilIdle(int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        bool workerIdle;
        {
            std::lock_guard lock(m_mutex);
            workerIdle = !m_asked && !m_ahead && !m_running;
        }
        if (workerIdle) {
            // What the worker posted last is delivered by now.
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            if (settled())
                return true;
        }
        if (timer.elapsed() > timeoutMs)
            return false;
        QThread::msleep(1);
    }
}

PictureSource::Stamp PictureSource::stampOf(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    return {info.size(), info.lastModified().toMSecsSinceEpoch()};
}

void PictureSource::post(PictureAnswer answer)
{
    QMetaObject::invokeMethod(
        this,
        [this, answer = std::move(answer)] {
            if (answer.id != m_lastId)
                return;  // the user has asked for another picture since
            if (answer.final)
                m_waiting = 0;
            if (this->answer)
                this->answer(answer);
        },
        Qt::QueuedConnection);
}

PictureAnswer PictureSource::decode(const Job& job, bool partials)
{
    QElapsedTimer timer;
    timer.start();
    PictureLoadOptions options;
    options.target = job.target;
    options.cancelled = [this] { return m_cancel.load(); };
    if (partials) {
        options.partial = [this, &job](const QImage& picture, QSize natural) {
            PictureAnswer coarse;
            coarse.id = job.id;
            coarse.path = job.path;
            coarse.final = false;
            coarse.picture.naturalSize = natural;
            coarse.picture.image = picture;  // shared; the decoder copies before it writes again
            coarse.drawnSize = job.target.drawnSize(natural);
            coarse.drawn = DrawnPicture(picture, job.target.deviceSize(coarse.drawnSize),
                                        job.target.deviceSize(job.target.area));
            post(std::move(coarse));
        };
    }
    PictureAnswer answer;
    answer.id = job.id;
    answer.path = job.path;
    answer.picture = LoadPicture(job.path, options);
    if (answer.picture.ok()) {
        answer.drawnSize = job.target.drawnSize(answer.picture.naturalSize);
        answer.drawn = DrawnPicture(answer.picture.image, job.target.deviceSize(answer.drawnSize),
                                    job.target.deviceSize(job.target.area));
    }
    answer.decodeMs = double(timer.nsecsElapsed()) / 1e6;
    return answer;
}

void PictureSource::run()
{
    for (;;) {
        Job job;
        bool asked = false;
        {
            std::unique_lock lock(m_mutex);
            m_running.reset();
            m_wake.wait(lock, [this] { return m_stop || m_asked || m_ahead; });
            if (m_stop)
                return;
            asked = m_asked.has_value();
            job = asked ? *m_asked : *m_ahead;
            (asked ? m_asked : m_ahead).reset();
            m_cancel = false;
            const bool keptFits = m_kept && m_kept->path == job.path && m_kept->target == job.target &&
                                  m_kept->stamp == stampOf(job.path);
            if (keptFits && asked) {
                PictureAnswer answer = std::move(m_kept->answer);
                m_kept.reset();
                answer.id = job.id;
                answer.prefetched = true;
                lock.unlock();
                post(std::move(answer));
                continue;
            }
            if (keptFits)
                continue;  // this prefetch is done already
            if (!asked)
                m_kept.reset();  // at most one prefetched picture: the new one replaces it
            m_running = job;
        }
        const Stamp stamp = stampOf(job.path);
        PictureAnswer answer = decode(job, asked);
        if (answer.picture.cancelled)
            continue;
        if (asked) {
            post(std::move(answer));
        } else {
            std::lock_guard lock(m_mutex);
            if (!m_cancel)
                m_kept = Kept{job.path, job.target, stamp, std::move(answer)};
        }
    }
}

// ---------------------------------------------------------------------------------------------

bool PictureTraceOn()
{
    static const bool on = qEnvironmentVariable("GLIMRA_TRACE") == QLatin1String("1");
    return on;
}

double TraceNowMs()
{
    // The process's start in clock ticks after boot (field 22 of /proc/self/stat), against the
    // boot-time clock; read once.
    static const double startMs = [] {
        QFile stat(QStringLiteral("/proc/self/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            return 0.0;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        // After the name: state is field 3, so start time (22) is index 19 here.
        const double ticks = fields.value(19).toDouble();
        return ticks * 1000.0 / double(sysconf(_SC_CLK_TCK));
    }();
    timespec now {};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6 - startMs;
}
