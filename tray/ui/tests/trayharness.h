#pragma once

#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

class QWidget;

// Answers the tray's modal dialogs as they appear, clicking the buttons named in `answers`
// one per dialog ("okBtn", "cancelBtn", "closeBtn", or "escape" for the Escape key).
class DialogAnswerer : public QObject {
    Q_OBJECT

public:
    struct Seen {
        QString title;
        QString text;
        QStringList buttonTexts; // okBtn first, then cancelBtn when present
        bool hasCancel = false;
        QImage icon;
    };

    explicit DialogAnswerer(QStringList answers);

    QList<Seen> seen;
    // Runs with the dialog open, before it is answered.
    std::function<void(QWidget *dialog)> whileOpen;

private:
    void check();

    QStringList answers;
    QTimer timer;
    QPointer<QWidget> lastAnswered;
};

// Path of the client simulator program built beside the tests.
QString clientSimPath();

// Copies the client simulator to `directory`/`fileName` and starts it with `arguments`;
// returns once it printed "ready" (false when it did not within 10 s).
bool startClientSim(QProcess &process, const QString &directory, const QString &fileName,
                    const QStringList &arguments);

// A small one-colour PNG.
QByteArray solidPng(const QColor &color, int size = 28);
