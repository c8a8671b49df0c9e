#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

class StatusModel;

// The "ret" of a request the stand-in does not understand: not JSON, no "cmd", an unknown
// command or a missing argument.
constexpr int kBadRequestRet = -2;

// A request line as the stand-in understood it.
struct PipeRequest {
    QString command; // "cmd"; empty when the line is not a JSON object with a string "cmd"
    QJsonObject object;
};

// Parses one request line (its line feed, and a carriage return before it, removed or not).
PipeRequest parseRequestLine(const QByteArray &line);

// What carrying out a request did.
struct PipeOutcome {
    QJsonObject answer;
    bool stopService = false; // STOP_SERVICE was accepted: shut down once it is answered
};

// Carries out a request against the model and returns its answer.
PipeOutcome carryOut(const PipeRequest &request, StatusModel &model);

QByteArray compactJson(const QJsonObject &object);
