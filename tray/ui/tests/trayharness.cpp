#include "trayharness.h"

#include "testenv.h"

#include <QApplication>
#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>

DialogAnswerer::DialogAnswerer(QStringList answersInOrder) : answers(std::move(answersInOrder))
{
    timer.setInterval(20);
    connect(&timer, &QTimer::timeout, this, &DialogAnswerer::check);
    timer.start();
}

void DialogAnswerer::check()
{
    QWidget *dialog = QApplication::activeModalWidget();
    if (!dialog || dialog == lastAnswered || !dialog->isVisible())
        return;
    lastAnswered = dialog;

    Seen record;
    if (auto *title = dialog->findChild<QLabel *>(QStringLiteral("title")))
        record.title = title->text();
    if (auto *text = dialog->findChild<QLabel *>(QStringLiteral("text")))
        record.text = text->text();
    auto *ok = dialog->findChild<QPushButton *>(QStringLiteral("okBtn"));
    auto *cancel = dialog->findChild<QPushButton *>(QStringLiteral("cancelBtn"));
    if (ok)
        record.buttonTexts.append(ok->text());
    if (cancel)
        record.buttonTexts.append(cancel->text());
    record.hasCancel = cancel != nullptr;
    for (QLabel *label : dialog->findChildren<QLabel *>()) {
        const QPixmap pixmap = label->pixmap();
        if (!pixmap.isNull()) {
            record.icon = pixmap.toImage();
            break;
        }
    }
    seen.append(record);

    if (whileOpen)
        whileOpen(dialog);

    const QString answer = answers.isEmpty() ? QStringLiteral("cancelBtn") : answers.takeFirst();
    if (answer == QLatin1String("escape")) {
        QTest::keyClick(dialog, Qt::Key_Escape);
        return;
    }
    if (auto *button = dialog->findChild<QPushButton *>(answer))
        button->click();
    else
        ADD_FAILURE() << "the dialog has no " << answer.toStdString();
}

QString clientSimPath()
{
    return QStringLiteral(TRAY_CLIENT_SIM);
}

bool startClientSim(QProcess &process, const QString &directory, const QString &fileName,
                    const QStringList &arguments)
{
    const QString target = directory + QLatin1Char('/') + fileName;
    if (!QFile::exists(target)) {
        if (!QFile::copy(clientSimPath(), target))
            return false;
        QFile::setPermissions(target, QFile::permissions(clientSimPath()));
    }
    process.start(target, arguments);
    if (!process.waitForStarted(5000))
        return false;
    return waitUntil([&] { return process.canReadLine() && process.readLine().trimmed() == "ready"; }, 10000);
}

QByteArray solidPng(const QColor &color, int size)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}
