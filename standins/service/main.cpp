#include "controlchannel.h"
#include "eventlog.h"
#include "names.h"
#include "options.h"
#include "standin.h"

#include "platform/servicehost.h"

#include <QCoreApplication>

#include <memory>

namespace {

constexpr int kSendTimeoutMs = 5000;
constexpr int kExitCannotServe = 1;
constexpr int kExitUsage = 2;

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const ParsedOptions parsed = parseOptions(QCoreApplication::arguments());
    if (parsed.help) {
        printEvent(helpText());
        return 0;
    }
    if (!parsed.error.isEmpty()) {
        printError(parsed.error + QStringLiteral(" (see --help)"));
        return kExitUsage;
    }
    const Options &options = parsed.options;
    if (options.send)
        return sendControlCommand(controlServerName(options.instanceId), *options.send, kSendTimeoutMs);

    StandIn standIn(options);
    QString error;
    if (!standIn.start(&error)) {
        printError(error);
        return kExitCannotServe;
    }
    // Reported running to the service manager only once the pipe and the web port are served.
    std::unique_ptr<platform::ServiceHost> service;
    if (options.service) {
        platform::ErrorCode serviceError = 0;
        service = platform::ServiceHost::start(
            options.service->toStdString(),
            [&standIn] {
                QMetaObject::invokeMethod(
                    &standIn, [&standIn] { standIn.quit(QStringLiteral("service stop requested")); },
                    Qt::QueuedConnection);
            },
            serviceError);
        if (!service) {
            printError(QStringLiteral("cannot run as the service %1, error=%2")
                           .arg(*options.service)
                           .arg(serviceError));
            return kExitCannotServe;
        }
        printEvent(QStringLiteral("running as the service %1").arg(*options.service));
    }
    const int code = QCoreApplication::exec();
    if (service)
        service->stopped();
    printEvent(QStringLiteral("exit %1").arg(code));
    return code;
}
