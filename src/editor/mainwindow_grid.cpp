// The grid over the view: View > Grid shows it, View > Grid Size sets its
// size, View > Snap to Grid makes moves, pastes and drawn sectors land on it.
// All three are remembered in the editor's preferences.
#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QSettings>

#include "editor/editoractions.h"
#include "editor/leveldocument.h"
#include "editor/mainwindow.h"

using namespace slv;

namespace {
constexpr const char* kGridShownSetting = "view/grid";
constexpr const char* kGridSizeSetting = "view/gridSize";
constexpr const char* kSnapSetting = "view/snap";

// The editor's own preferences (on Linux ~/.config/slvedit/slvedit.conf).
QSettings preferences() { return QSettings(QSettings::IniFormat, QSettings::UserScope, "slvedit", "slvedit"); }
}  // namespace

void MainWindow::setupGrid() {
    QSettings stored = preferences();
    GridSettings g;
    g.visible = stored.value(kGridShownSetting, false).toBool();
    g.snap = stored.value(kSnapSetting, false).toBool();
    bool isNumber = false;
    const int size = stored.value(kGridSizeSetting, GridSettings::kDefaultSize).toInt(&isNumber);
    g.size = isNumber ? GridSettings::validSize(size) : GridSettings::kDefaultSize;
    document_->setGrid(g);

    auto* sizes = new QActionGroup(gridSizeMenu_);
    for (int s : GridSettings::kSizes) {
        QAction* a = gridSizeMenu_->addAction(QString("%1 pixels").arg(s));
        a->setObjectName(QString("gridSize%1").arg(s));
        a->setCheckable(true);
        a->setData(s);
        sizes->addAction(a);
        connect(a, &QAction::triggered, this, [this, s] { setGridSize(s); });
    }

    EditorActions& a = *actions_;
    a[Command::Grid]->setChecked(g.visible);
    a[Command::SnapToGrid]->setChecked(g.snap);
    connect(a[Command::Grid], &QAction::toggled, this, [this](bool on) { setGridVisible(on); });
    connect(a[Command::SnapToGrid], &QAction::toggled, this, [this](bool on) { setSnapToGrid(on); });
    storeGrid(g);  // checks the size's menu entry; a size out of range is stored as kept
}

const GridSettings& MainWindow::grid() const { return document_->grid(); }

QPoint MainWindow::snapToGrid(QPoint p) const { return document_->snapToGrid(p); }

void MainWindow::setGridVisible(bool on) {
    GridSettings g = grid();
    g.visible = on;
    storeGrid(g);
}

void MainWindow::setGridSize(int size) {
    GridSettings g = grid();
    g.size = GridSettings::validSize(size);
    storeGrid(g);
}

void MainWindow::setSnapToGrid(bool on) {
    GridSettings g = grid();
    g.snap = on;
    storeGrid(g);
}

void MainWindow::storeGrid(const GridSettings& g) {
    document_->setGrid(g);
    EditorActions& a = *actions_;
    if (a[Command::Grid]->isChecked() != g.visible) a[Command::Grid]->setChecked(g.visible);
    if (a[Command::SnapToGrid]->isChecked() != g.snap) a[Command::SnapToGrid]->setChecked(g.snap);
    for (QAction* entry : gridSizeMenu_->actions()) entry->setChecked(entry->data().toInt() == g.size);
    QSettings stored = preferences();
    stored.setValue(kGridShownSetting, g.visible);
    stored.setValue(kGridSizeSetting, g.size);
    stored.setValue(kSnapSetting, g.snap);
}
