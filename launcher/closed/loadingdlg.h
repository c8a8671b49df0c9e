#pragma once

#include "tqexport.h"
#include <QDialog>

class QLabel;

// Shows progress while the client waits for its server or loads its main frame.
class TQMAINFRAME_API LoadingDlg : public QDialog {
    Q_OBJECT
public:
    // loadMainFrame false: wait until the server is ready; true: load the main frame between
    // start() and end().
    explicit LoadingDlg(bool loadMainFrame, QWidget *parent = nullptr);

    // Returns when the loading step is over.
    void showLoadingUI();

signals:
    void start();
    void end();

private:
    void waitForServerReady();
    void runLoadingStep();

    bool m_loadMainFrame;
    QLabel *m_message;
};
