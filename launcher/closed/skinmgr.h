#pragma once

#include "tqexport.h"
#include <QString>

// Fonts and style sheets of the selected skin.
class TQLOGIC_API SkinMgr {
public:
    QString fontFamily() const;
    // True when it filled in a style sheet.
    bool getQss(QString &qss) const;
};

TQLOGIC_API SkinMgr *tqSkinMgr();
