#pragma once

#include <QString>

class PipeServer;
class StatusModel;
class WebServer;

// What a control command did.
struct ControlReply {
    QString text;      // "ok" or "error: <reason>"
    bool quit = false; // the stand-in is to end once the reply is sent
};

// Carries out the text commands of the control channel on the running stand-in.
class ControlInterpreter {
public:
    // `web` is null when the stand-in serves no web port.
    ControlInterpreter(StatusModel &model, PipeServer &pipe, WebServer *web);

    ControlReply execute(const QString &command);

private:
    QString run(const QString &verb, const QString &argument, bool *quit);
    QString runWeb(const QString &verb, const QString &argument);

    StatusModel &m_model;
    PipeServer &m_pipe;
    WebServer *m_web;
};
