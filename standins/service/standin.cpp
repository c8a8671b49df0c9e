#include "standin.h"

#include "closerequest.h"
#include "controlchannel.h"
#include "eventlog.h"
#include "names.h"
#include "pipeserver.h"
#include "webserver.h"

#include "platform/termination.h"

#include <QCoreApplication>
#include <QSocketNotifier>

StandIn::StandIn(const Options &options, QObject *parent)
    : QObject(parent), m_options(options), m_model(options.httpPort),
      m_pipe(new PipeServer(pipeServerName(options.instanceId), m_model, options.readTimeoutMs, this))
{
    if (options.processes)
        m_model.setProcesses(*options.processes);
    m_model.setAutoStart(options.autoStart);
    m_model.setUptime(options.uptime);

    if (options.httpPort != 0) {
        m_web = new WebServer(static_cast<quint16>(options.httpPort), options.readTimeoutMs, this);
        m_web->setStatus(options.httpStatus);
        if (!options.httpStatusSequence.isEmpty())
            m_web->setStatusSequence(options.httpStatusSequence);
        m_web->setDelayedProbes(options.httpDelayProbes);
        m_web->setSuperUser(options.superUser);
        m_web->setRight1(options.right1);
    }

    m_interpreter = std::make_unique<ControlInterpreter>(m_model, *m_pipe, m_web);
    m_control =
        new ControlServer(controlServerName(options.instanceId), *m_interpreter, options.readTimeoutMs, this);
    connect(m_control, &ControlServer::quitRequested, this,
            [this] { quit(QStringLiteral("quit requested")); });
    connect(m_pipe, &PipeServer::stopAccepted, this, [this] {
        if (m_options.stopExits)
            quit(QStringLiteral("STOP_SERVICE accepted"));
        else
            printEvent(QStringLiteral("STOP_SERVICE accepted: staying up (--stop-exits false)"));
    });

    const int terminationFd = platform::terminationRequestFd();
    if (terminationFd >= 0) {
        m_termination = new QSocketNotifier(terminationFd, QSocketNotifier::Read, this);
        connect(m_termination, &QSocketNotifier::activated, this, [this] {
            m_termination->setEnabled(false);
            quit(QStringLiteral("termination requested"));
        });
    }
    m_closeRequests =
        std::make_unique<CloseRequestFilter>([this] { quit(QStringLiteral("termination requested")); });
    QCoreApplication::instance()->installNativeEventFilter(m_closeRequests.get());
}

// The servers are children; the interpreter they use must outlive them.
StandIn::~StandIn()
{
    delete m_control;
    delete m_pipe;
    delete m_web;
}

bool StandIn::start(QString *error)
{
    for (const auto &[target, fault] : std::as_const(m_options.faults)) {
        if (!m_pipe->setFault(target, fault, error))
            return false;
        printEvent(QStringLiteral("fault %1 %2").arg(target, fault.text()));
    }
    if (!m_control->listen(error) || !m_pipe->setServing(true, error))
        return false;
    if (m_web && m_options.httpOn && !m_web->setServing(true, error))
        return false;
    const QString http = !m_web             ? QStringLiteral("none")
                         : m_web->serving() ? QString::number(m_web->port())
                                            : QStringLiteral("off");
    printEvent(QStringLiteral("ready pipe=%1 control=%2 http=%3")
                   .arg(m_pipe->serverName(), controlServerName(m_options.instanceId), http));
    return true;
}

void StandIn::quit(const QString &why)
{
    printEvent(QStringLiteral("stopping: ") + why);
    QCoreApplication::exit(0);
}
