#pragma once

#include "tqexport.h"
#include <QElapsedTimer>
#include <QObject>

// Notes the user's keyboard and mouse input anywhere in the application.
class TQCOMMONUI_API UserActivityMonitor : public QObject {
    Q_OBJECT
public:
    explicit UserActivityMonitor(QObject *parent = nullptr);

    // Milliseconds since the last user input, or since the monitor was created.
    qint64 idleMsecs() const;

signals:
    void userActive();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QElapsedTimer m_sinceInput;
};
