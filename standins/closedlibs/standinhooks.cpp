#include "standinhooks.h"

#include <QCoreApplication>
#include <QFile>
#include <QMessageBox>
#include <QTimer>

namespace standin {

void trace(const QString &text)
{
    const QString path = hookText("ORLUNE_STANDIN_TRACE");
    if (path.isEmpty())
        return;
    QFile file(path);
    // Several processes may share one trace file; one write per line keeps lines whole.
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        file.write(QString::number(QCoreApplication::applicationPid()).toUtf8() + ' ' + text.toUtf8() + '\n');
}

QString hookText(const char *name)
{
    return qEnvironmentVariable(name);
}

int hookNumber(const char *name, int defaultValue)
{
    bool ok = false;
    const int value = hookText(name).toInt(&ok);
    return ok && value >= 0 ? value : defaultValue;
}

QString quoted(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

int execMessageBox(QMessageBox &box, const QString &kind)
{
    trace(QStringLiteral("messagebox kind=%1 title=%2 text=%3 buttons=0x%4")
              .arg(kind, quoted(box.windowTitle()), quoted(box.text()))
              .arg(static_cast<unsigned>(box.standardButtons()), 0, 16));
    const int closeAfterMs = hookNumber("ORLUNE_STANDIN_MESSAGEBOX_MS", -1);
    if (closeAfterMs >= 0)
        QTimer::singleShot(closeAfterMs, &box, [&box] { box.done(QMessageBox::NoButton); });
    return box.exec();
}

} // namespace standin
