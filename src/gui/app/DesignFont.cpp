#include "DesignFont.h"

#include <QStringList>

namespace gui {

QFont DesignFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"),
                      QStringLiteral("AR PL UMing CN"), QStringLiteral("AR PL UMing TW")});
    font.setPixelSize(12);
    return font;
}

} // namespace gui
