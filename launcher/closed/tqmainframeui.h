#pragma once

#include "tqexport.h"
#include <QMainWindow>

class QLabel;

// The client's main window. Ends the event loop with 773 to have the client restarted.
class TQMAINFRAME_API TqMainFrameUI : public QMainWindow {
    Q_OBJECT
public:
    explicit TqMainFrameUI(QWidget *parent = nullptr);
    ~TqMainFrameUI() override;

    // Set when the tray asked the client to end; the window then closes without asking.
    static bool s_trayExitRequested;

public slots:
    void init();
    void initFinish();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QLabel *m_state;
};
