#pragma once

#include "tqexport.h"
#include <QDialog>

class QApplication;
class QLabel;
class QLineEdit;
class QPushButton;

enum LoginType : int {
    LoginNormal = 0,
    LoginRestart = 2,
};

// The sign-in form. exec() returns 1 after a successful login.
class TQMAINFRAME_API LoginDlg : public QDialog {
    Q_OBJECT
public:
    // allowExit false: the user may not end the program from this dialog.
    LoginDlg(LoginType type, QApplication *app, bool allowExit, QWidget *parent = nullptr);

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private slots:
    void onSignIn();

private:
    LoginType m_type;
    bool m_allowExit;
    QLineEdit *m_user;
    QLineEdit *m_password;
    QPushButton *m_exit;
    QLabel *m_error;
};
