#include "skinmgr.h"

#include "appdirhook.h"

#include <QFile>
#include <QFont>
#include <QGuiApplication>

#include <installation/files.h>

QString SkinMgr::fontFamily() const
{
    return installation::skinValue(QStringLiteral("normal/fontFamily"), QGuiApplication::font().family());
}

bool SkinMgr::getQss(QString &qss) const
{
    QFile file(installation::skinFilePath(QStringLiteral("client.qss")));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    const QString text = QString::fromUtf8(file.readAll());
    if (text.trimmed().isEmpty())
        return false;
    qss = text;
    return true;
}

SkinMgr *tqSkinMgr()
{
    standin::followAppDirHook();
    static SkinMgr skin;
    return &skin;
}
