#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include "faults.h"

#include <platform/pipe.h>

#include <vector>

class QLocalServer;
class QLocalSocket;
class StatusModel;

// Serves the service pipe: one PipeSession per connection, any number at once. It can stop
// serving (connects then fail as for a missing pipe) and come back, and in the busy fault it
// keeps listening but accepts nothing, with its backlog full (Linux) or every pipe instance
// taken (Windows) by connections of its own, so connects fail as busy.
class PipeServer : public QObject {
    Q_OBJECT
public:
    PipeServer(const QString &serverName, StatusModel &model, int readTimeoutMs, QObject *parent = nullptr);

    const QString &serverName() const { return m_name; }

    // "up" and "down". False, with the reason, when the name cannot be served.
    bool setServing(bool serving, QString *error);
    bool serving() const { return m_server != nullptr; }

    bool setFault(const QString &target, const Fault &fault, QString *error);

signals:
    // A STOP_SERVICE was carried out and answered.
    void stopAccepted();

private:
    bool listen(QString *error);
    void closeServer();
    void fillBacklog();
    bool addFiller();
    int fillerCount() const;
    void onNewConnection();

    QString m_name;
    StatusModel &m_model;
    int m_readTimeoutMs;
    FaultTable m_faults;
    QLocalServer *m_server = nullptr;
    // Connections of our own that fill the busy server's backlog or instances; never served.
    QList<QLocalSocket *> m_fillers;
    std::vector<platform::PipeConnection> m_pipeFillers;
};
