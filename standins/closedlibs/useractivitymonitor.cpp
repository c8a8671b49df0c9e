#include "useractivitymonitor.h"

#include <QEvent>

UserActivityMonitor::UserActivityMonitor(QObject *parent) : QObject(parent)
{
    m_sinceInput.start();
}

qint64 UserActivityMonitor::idleMsecs() const
{
    return m_sinceInput.elapsed();
}

bool UserActivityMonitor::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
        m_sinceInput.restart();
        emit userActive();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
