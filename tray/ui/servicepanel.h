#pragma once

#include "pipeclient.h"

#include <QElapsedTimer>
#include <QPoint>
#include <QTimer>
#include <QWidget>

class QCheckBox;
class QHBoxLayout;
class QLabel;

// The tray's status panel: service state, up to four server processes, running time and the
// auto-start switch.
class ServicePanel : public QWidget {
    Q_OBJECT

public:
    explicit ServicePanel(QWidget *parent = nullptr);

    void retranslate();

public slots:
    void applyStatus(PipeClient::Status st);

signals:
    void autoStartRequested(bool enable);
    void closeRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildUi();
    QWidget *buildHeader();
    QWidget *buildCard();
    QHBoxLayout *buildCardTitle(QWidget *card);
    QHBoxLayout *buildProcessRow(QWidget *card, int index);
    QWidget *buildFooter();
    void updateRunningTime();
    void showRunningTime();

    QLabel *titleLabel = nullptr;
    QLabel *systemNameLabel = nullptr;
    QLabel *statusIconLabel = nullptr;
    QLabel *statusTextLabel = nullptr;
    QLabel *nameLabels[4] = {};
    QLabel *portLabels[4] = {};
    QLabel *stateLabels[4] = {};
    QLabel *runningTimeValueLabel = nullptr;
    QLabel *runningTimeLabel = nullptr;
    QCheckBox *autoStartCheckBox = nullptr;
    QWidget *header = nullptr;
    QPoint dragOffset;
    bool dragging = false;
    QTimer clockTimer;
    QElapsedTimer clockElapsed;
    qint64 uptimeBase = 0;
    qint64 lastReportedUptime = -1;
    qint64 lastShownSeconds = -1;
    // What the running time reads now; the label follows it while the panel is visible.
    qint64 runningSeconds = -1;
    bool clockRunning = false;
    int lastHeaderState = -1;
    // The process rows show lastStatus (false until the first status and after a retranslation).
    bool rowsDrawn = false;
    PipeClient::Status lastStatus;
};
