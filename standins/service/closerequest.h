#pragma once

#include <QAbstractNativeEventFilter>

#include <functional>

// On Windows a program is asked to end by WM_CLOSE posted to its thread (QProcess::terminate,
// taskkill without /F), the counterpart of a termination signal; a console program has no window
// to get it otherwise. Calls `onRequest` for it. Removes itself from the application when
// destroyed.
class CloseRequestFilter : public QAbstractNativeEventFilter {
public:
    explicit CloseRequestFilter(std::function<void()> onRequest);

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

private:
    std::function<void()> m_onRequest;
};
