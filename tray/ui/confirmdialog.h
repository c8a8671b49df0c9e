#pragma once

#include <QString>

class QWidget;

// The tray's own frameless, modal question/report dialog in the skin's colours.
// Returns true only when the accept button ended it.
bool showConfirmDialog(QWidget *parent, const QString &title, const QString &text, bool warningIcon,
                       bool yesNo);
