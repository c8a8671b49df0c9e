#pragma once

#include <QObject>

#include <memory>

#include "control.h"
#include "options.h"
#include "statusmodel.h"

class CloseRequestFilter;
class ControlServer;
class PipeServer;
class QSocketNotifier;
class WebServer;

// The running stand-in: its state, the pipe, the web server and the control channel, set up
// from the command line. Ends the application when told to stop.
class StandIn : public QObject {
    Q_OBJECT
public:
    explicit StandIn(const Options &options, QObject *parent = nullptr);
    ~StandIn() override;

    // Starts serving; prints the "ready" line. False, with the reason, when something cannot
    // be served.
    bool start(QString *error);

    // Prints why, then ends the event loop with 0.
    void quit(const QString &why);

private:
    Options m_options;
    StatusModel m_model;
    PipeServer *m_pipe;
    WebServer *m_web = nullptr;
    std::unique_ptr<ControlInterpreter> m_interpreter;
    ControlServer *m_control;
    QSocketNotifier *m_termination = nullptr;
    std::unique_ptr<CloseRequestFilter> m_closeRequests;
};
