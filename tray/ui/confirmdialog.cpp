#include "confirmdialog.h"

#include "config.h"

#include <QCoreApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString dialogStyleSheet()
{
    const QString background =
        skinValue(QStringLiteral("color/dlgBackgroundColor"), QStringLiteral("#2B2B2B"));
    const QString border = skinValue(QStringLiteral("color/dlgBorderColor"), QStringLiteral("#3A3D40"));
    const QString text = skinValue(QStringLiteral("color/oneLevelTextColor"), QStringLiteral("#E6E6E6"));
    // The accept button follows the skin's red unless it names a button colour of its own.
    const QString modifyRed = skinValue(QStringLiteral("color/modifyRedColor"), QStringLiteral("#E3192B"));
    const QString button = skinValue(QStringLiteral("color/btnColor"), modifyRed);
    const QString buttonText = skinValue(QStringLiteral("color/btnTextColor"), QStringLiteral("#E6E6E6"));
    const QString hoverRed = skinValue(QStringLiteral("color/hoverRedColor"), QStringLiteral("#B51422"));
    const QString cancelHover =
        skinValue(QStringLiteral("color/cancelBtnHoverColor"), QStringLiteral("#666666"));

    return QStringLiteral(
               "QDialog { background:%1; border:1px solid %2; color:%3; }"
               "QLabel#title { font-size:16px; font-weight:400; color:%3; }"
               "QLabel#text { font-size:14px; color:%3; }"
               "QPushButton#okBtn { background:%4; border:none; border-radius:16px; font-size:14px; "
               "color:%5; }"
               "QPushButton#okBtn:hover, QPushButton#okBtn:pressed { background:%6; }"
               "QPushButton#cancelBtn { background:transparent; border:1px solid %2; border-radius:16px; "
               "font-size:14px; color:%3; }"
               "QPushButton#cancelBtn:hover, QPushButton#cancelBtn:pressed { background:%7; }"
               "QPushButton#closeBtn { background:transparent; border:none; }")
        .arg(background, border, text, button, buttonText, hoverRed, cancelHover);
}

QPushButton *dialogButton(const QString &objectName, const QString &text, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(objectName);
    button->setFixedSize(100, 32);
    return button;
}

} // namespace

bool showConfirmDialog(QWidget *parent, const QString &title, const QString &text, bool warningIcon,
                       bool yesNo)
{
    const QString styleSheet = dialogStyleSheet();

    QDialog dialog(parent);
    dialog.setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    dialog.setFixedWidth(440);
    dialog.setMinimumHeight(230);
    dialog.setStyleSheet(styleSheet);

    auto *column = new QVBoxLayout(&dialog);
    column->setContentsMargins(30, 30, 30, 30);
    column->setSpacing(0);
    auto *headerRow = new QHBoxLayout;
    headerRow->setContentsMargins(0, 0, 0, 0);
    headerRow->setSpacing(8);

    auto *icon = new QLabel(&dialog);
    icon->setFixedSize(24, 24);
    const QString iconPath = clientAssetPath(warningIcon ? QStringLiteral("custom_color/yellow/icon_warn.png")
                                                         : QStringLiteral("custom_color/blue/icon_info.png"));
    // A missing icon leaves the label empty; scaling a null pixmap would only add a warning.
    const QPixmap iconPixmap(iconPath);
    if (!iconPixmap.isNull())
        icon->setPixmap(iconPixmap.scaled(24, 24, Qt::KeepAspectRatio, Qt::SmoothTransformation));

    auto *titleLabel = new QLabel(title, &dialog);
    titleLabel->setObjectName(QStringLiteral("title"));
    headerRow->addWidget(icon);
    headerRow->addWidget(titleLabel);
    headerRow->addStretch();

    auto *closeButton = new QPushButton(&dialog);
    closeButton->setObjectName(QStringLiteral("closeBtn"));
    closeButton->setFixedSize(24, 24);
    closeButton->setStyleSheet(
        QStringLiteral("QPushButton { background:transparent; border:none; border-image:url(%1); }")
            .arg(skinFilePath(QStringLiteral("MainFrame/Login/close.png"))));
    QObject::connect(closeButton, &QPushButton::clicked, &dialog, &QDialog::reject);
    headerRow->addWidget(closeButton);

    column->addLayout(headerRow);
    column->addSpacing(28);

    auto *message = new QLabel(text, &dialog);
    message->setObjectName(QStringLiteral("text"));
    message->setWordWrap(true);
    column->addWidget(message);
    column->addStretch();

    auto *buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    auto *okButton = dialogButton(QStringLiteral("okBtn"),
                                  yesNo ? QCoreApplication::translate("QObject", "Yes")
                                        : QCoreApplication::translate("QObject", "Ok"),
                                  &dialog);
    QObject::connect(okButton, &QPushButton::clicked, &dialog, &QDialog::accept);
    buttonRow->addWidget(okButton);
    if (yesNo) {
        buttonRow->addSpacing(10);
        auto *cancelButton =
            dialogButton(QStringLiteral("cancelBtn"), QCoreApplication::translate("QObject", "No"), &dialog);
        QObject::connect(cancelButton, &QPushButton::clicked, &dialog, &QDialog::reject);
        buttonRow->addWidget(cancelButton);
    }
    column->addLayout(buttonRow);

    dialog.adjustSize();
    return dialog.exec() == QDialog::Accepted;
}
