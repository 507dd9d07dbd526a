#include "persist/state_saver.h"

#include "persist/text_file.h"

#include <utility>

namespace persist {

StateSaver::StateSaver(Done done, QObject *parent)
    : QObject(parent)
    , m_done(std::move(done))
{
    m_thread.setMaxThreadCount(1);
    m_thread.setObjectName(QStringLiteral("state file writer"));
}

StateSaver::~StateSaver()
{
    finish();
}

void StateSaver::save(const QString &name, const QString &filename)
{
    QMutexLocker lock(&m_mutex);
    m_waiting = Request{name, filename};
    if (std::exchange(m_writing, true))
        return;  // the writer takes it when it is done
    m_thread.start([this] { writeWhileAsked(); });
}

void StateSaver::finish()
{
    {
        QMutexLocker lock(&m_mutex);
        m_waiting.reset();
    }
    m_thread.waitForDone();
}

void StateSaver::writeWhileAsked()
{
    for (;;) {
        Request request;
        {
            QMutexLocker lock(&m_mutex);
            if (!m_waiting) {
                m_writing = false;
                return;
            }
            request = *std::exchange(m_waiting, std::nullopt);
        }
        forms::Error error;
        const bool written = WriteTextFileContents(request.name, request.filename, false, &error);
        // Dropped if the saver is gone by then.
        QMetaObject::invokeMethod(
            this, [this, name = request.name, written, error] { m_done(name, written, error); },
            Qt::QueuedConnection);
    }
}

} // namespace persist
