#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTimer>

#include "faults.h"
#include "protocol.h"

class QLocalSocket;
class StatusModel;

// One pipe connection: reads one request line, answers it (or misbehaves as the fault of its
// command says) and closes. Deletes itself when done.
class PipeSession : public QObject {
    Q_OBJECT
public:
    PipeSession(QLocalSocket *socket, StatusModel &model, FaultTable &faults, int readTimeoutMs,
                QObject *parent);

signals:
    // A STOP_SERVICE was carried out and its answer handed to the connection.
    void stopAccepted();

private:
    enum class Phase { Reading, Waiting, Silent, Closing, Done };

    void onReadyRead();
    void reportIgnored(qsizetype bytes);
    void onReadTimeout();
    void onDisconnected();
    void handle(const QByteArray &line);
    void respond(const PipeRequest &request, const Fault &fault);
    void sendPieces(QList<QByteArray> pieces, int pauseMs);
    void sendAndClose(const QByteArray &bytes);
    bool clientGone();
    void finish();

    QLocalSocket *m_socket;
    StatusModel &m_model;
    FaultTable &m_faults;
    QByteArray m_buffer;
    QTimer m_readTimer;
    QString m_label;
    Phase m_phase = Phase::Reading;
    bool m_stopAccepted = false;
};
