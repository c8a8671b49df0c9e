#include "skinmgr.h"

#include "config.h"

#include <QFile>
#include <QFont>
#include <QGuiApplication>

QString SkinMgr::fontFamily() const
{
    return skinValue(QStringLiteral("normal/fontFamily"), QGuiApplication::font().family());
}

bool SkinMgr::getQss(QString &qss) const
{
    QFile file(skinFilePath(QStringLiteral("client.qss")));
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
    static SkinMgr skin;
    return &skin;
}
