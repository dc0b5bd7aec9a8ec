// The designed face of the windows: a Song-style CJK font at 12 pixels.
#pragma once

#include <QFont>

namespace gui {

QFont DesignFont();

} // namespace gui
