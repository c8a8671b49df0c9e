#include "serverwait.h"

#include "libwebcommmgr.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

namespace {

constexpr int kProbeTimeoutMs = 500;
constexpr int kEventSliceMs = 50;
constexpr int kProbePauseMs = 500;

} // namespace

bool waitForServerReachable(int timeoutMs, const std::function<bool()> &stopWaiting)
{
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < timeoutMs) {
        if (tqLibWebCommMgr()->isServerReachable(kProbeTimeoutMs))
            return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, kEventSliceMs);
        if (stopWaiting())
            return false;
        QThread::msleep(kProbePauseMs);
    }
    return false;
}
