#pragma once

#include "pipeclient.h"

#include <QByteArray>
#include <QString>

// The requests the tray sends to the service and how it reads the answers. Pure functions, no
// I/O and no logging, so any thread may use them.

QByteArray getStatusRequest();
QByteArray setAutoStartRequest(bool enable);
QByteArray stopServiceRequest();

// "ret" of an answer to any command: -1 when the answer is not a JSON object, or "ret" is
// missing or not a whole number in the 32-bit range.
int answerRet(const QByteArray &answer);

struct StatusDecode {
    enum class Outcome { Connected, InvalidJson, Rejected };
    Outcome outcome = Outcome::InvalidJson;
    QString parseError; // for InvalidJson
    int ret = -1;       // for Rejected
};

// Decodes a GET_STATUS answer into `out`. Only a connected answer touches the fields after
// `connected`; the outcome says which warning, if any, the caller owes the log.
StatusDecode decodeStatus(const QByteArray &answer, PipeClient::Status &out);
