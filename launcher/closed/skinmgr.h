#pragma once

#include <QString>

// Fonts and style sheets of the selected skin.
class SkinMgr {
public:
    QString fontFamily() const;
    // True when it filled in a style sheet.
    bool getQss(QString &qss) const;
};

SkinMgr *tqSkinMgr();
