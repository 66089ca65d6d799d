// Settings remembered between runs: the window's geometry, the file
// browser's width, the zoom and fit, the last folder, the recent files and
// "Load at full size". A settings file that cannot be read or parsed, and any
// value that makes no sense, leave the defaults in place.
#include <QDir>
#include <QFileInfo>
#include <QScreen>
#include <QSettings>
#include <algorithm>
#include <cmath>
#include <optional>

#include "ui/bevel_panel.h"
#include "ui/image_view.h"
#include "ui/main_window.h"

namespace vexo {

namespace {

// Only "true" and "false" (as QSettings writes them) count.
std::optional<bool> ReadBool(const QSettings& settings, const char* key) {
    const QString text = settings.value(key).toString();
    if (text == "true") return true;
    if (text == "false") return false;
    return std::nullopt;
}

}  // namespace

void MainWindow::RestoreSettings() {
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, "Vexo", "Vexo");
    if (settings.status() != QSettings::NoError) return;

    bool ok = false;
    const QByteArray geometry = settings.value("window/geometry").toByteArray();
    if (geometry.isEmpty() || !restoreGeometry(geometry)) {
        // A first start: the window's normal size, never smaller than it needs
        // nor larger than the screen.
        if (const QScreen* screen = QWidget::screen()) {
            const QRect room = screen->availableGeometry();
            const QSize wanted = size().expandedTo(minimumSize()).boundedTo(room.size());
            resize(wanted);
            const QPoint place(std::clamp(x(), room.left(), std::max(room.left(), room.right() + 1 - wanted.width())),
                               std::clamp(y(), room.top(), std::max(room.top(), room.bottom() + 1 - wanted.height())));
            move(place);
        }
    }
    const int leftWidth = settings.value("window/leftPanelWidth").toInt(&ok);
    if (ok && leftWidth >= 5 && leftWidth <= 4000) leftPanel_->setFixedWidth(leftWidth);

    const QString folder = settings.value("browser/folder").toString();
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) OpenDirectory(folder);

    QStringList recent = settings.value("files/recent").toStringList();
    recent.removeAll(QString());
    if (!recent.isEmpty()) {
        recentFiles_ = recent;
        UpdateRecentFileActions();
    }

    if (const auto fullSize = ReadBool(settings, "loading/fullSize")) workbench_->SetFullSize(*fullSize);

    const double zoomValue = settings.value("view/zoom").toDouble(&ok);
    if (ok && std::isfinite(zoomValue) && zoomValue >= kMinZoom && zoomValue <= kMaxZoom) SetZoom(zoomValue);
    if (const auto fit = ReadBool(settings, "view/fitToWindow")) SetFitToWindow(*fit);
    UpdateActions();
}

void MainWindow::SaveSettings() const {
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, "Vexo", "Vexo");
    settings.setValue("window/geometry", saveGeometry());
    settings.setValue("window/leftPanelWidth", leftPanel_->width());
    settings.setValue("browser/folder", directory_);
    settings.setValue("files/recent", recentFiles_);
    settings.setValue("loading/fullSize", workbench_->fullSize());
    settings.setValue("view/zoom", zoom());
    settings.setValue("view/fitToWindow", fitToWindow_);
    settings.sync();
}

}  // namespace vexo
