#pragma once

#include "tqexport.h"
#include <QMessageBox>

// The client's modal message boxes in the skin's look.
class TQCOMMONUI_API TqMessageBox {
public:
    static int critical(QWidget *parent, const QString &message, const QString &title,
                        QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    static int warning(QWidget *parent, const QString &message, const QString &title,
                       QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                       QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
};
