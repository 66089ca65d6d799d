// The window font: the desktop's default sans-serif family at a given size.
#pragma once

#include <QFont>
#include <QFontDatabase>

namespace vexo {

inline QFont DesktopFont(int points, bool bold = false) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(points);
    font.setBold(bold);
    return font;
}

}  // namespace vexo
