#include "panelstate.h"

#include <algorithm>

PanelHeaderState panelHeaderState(const PipeClient::Status &st)
{
    if (!st.connected)
        return HeaderStopped;
    if (st.processes.size() >= 4) {
        const bool anyRunning = std::any_of(st.processes.cbegin(), st.processes.cbegin() + 4,
                                            [](const PipeClient::ProcessInfo &p) { return p.running; });
        if (!anyRunning)
            return HeaderStopped;
    }
    return st.restarting ? HeaderRestarting : HeaderRunning;
}

QString runningTimeText(qint64 totalSeconds)
{
    const qint64 capped = std::clamp<qint64>(totalSeconds, 0, kMaxShownSeconds);
    const QChar zero = QLatin1Char('0');
    return QStringLiteral("%1:%2:%3")
        .arg(capped / 3600, 2, 10, zero)
        .arg((capped % 3600) / 60, 2, 10, zero)
        .arg(capped % 60, 2, 10, zero);
}
