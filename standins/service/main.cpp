#include "controlchannel.h"
#include "eventlog.h"
#include "names.h"
#include "options.h"
#include "standin.h"

#include <QCoreApplication>

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
    const int code = QCoreApplication::exec();
    printEvent(QStringLiteral("exit %1").arg(code));
    return code;
}
