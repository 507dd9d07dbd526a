#pragma once
// The state file written on a thread of its own. A durable write (the new file and its
// folder synced to the disk) can take a few hundred milliseconds on a busy disk, and on
// the panel's thread it held up the typist's next keys. One write at a time, in the
// order asked; a name asked for while one is written replaces any still waiting.

#include "platform/forms/forms.h"

#include <QMutex>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include <functional>
#include <optional>

namespace persist {

class StateSaver : public QObject
{
public:
    // `done` is called on the owner's thread after each write.
    using Done = std::function<void(const QString &name, bool written, const forms::Error &error)>;

    StateSaver(Done done, QObject *parent = nullptr);
    ~StateSaver() override;

    void save(const QString &name, const QString &filename);
    // Drops a write not begun and waits for the one under way: what follows (the
    // close's own write) comes last.
    void finish();
    // Waits until every write asked for is done (its report is posted, not yet delivered).
    void waitForWrites() { m_thread.waitForDone(); }

private:
    void writeWhileAsked();

    struct Request {
        QString name;
        QString filename;
    };
    Done m_done;
    QThreadPool m_thread;
    QMutex m_mutex;
    std::optional<Request> m_waiting;  // guarded by m_mutex
    bool m_writing = false;            // guarded by m_mutex
};

} // namespace persist
