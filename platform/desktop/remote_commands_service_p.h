#pragma once
// The object behind org.zorvane.Zorvane; the adaptor generated from
// dbus/org.zorvane.Zorvane.xml calls these slots.

#include "platform/desktop/remote_commands.h"

#include <QObject>

#include <functional>
#include <utility>

namespace remote {

class Service : public QObject
{
    Q_OBJECT

public:
    Service(std::function<void(Command)> run, QObject *parent)
        : QObject(parent), m_run(std::move(run))
    {
    }

public slots:
    void NextPage() { m_run(Command::NextPage); }
    void PrevPage() { m_run(Command::PrevPage); }
    void ScrollUp() { m_run(Command::ScrollUp); }
    void ScrollDown() { m_run(Command::ScrollDown); }

private:
    std::function<void(Command)> m_run;
};

} // namespace remote
