#include "tqmessagebox.h"

#include "standinhooks.h"

namespace {

int show(QMessageBox::Icon icon, const QString &kind, QWidget *parent, const QString &message,
         const QString &title, QMessageBox::StandardButtons buttons,
         QMessageBox::StandardButton defaultButton)
{
    QMessageBox box(icon, title, message, buttons, parent);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    return standin::execMessageBox(box, kind);
}

} // namespace

int TqMessageBox::critical(QWidget *parent, const QString &message, const QString &title,
                           QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton)
{
    return show(QMessageBox::Critical, QStringLiteral("critical"), parent, message, title, buttons,
                defaultButton);
}

int TqMessageBox::warning(QWidget *parent, const QString &message, const QString &title,
                          QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton)
{
    return show(QMessageBox::Warning, QStringLiteral("warning"), parent, message, title, buttons,
                defaultButton);
}
