// The tools of the view: what a press, a move and a release of the mouse on
// the stage do. The window gives the view's events (in scene pixels) to the
// one tool of the page it shows; a tool reads and changes the document only
// (the selection, the items), never a widget.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <set>

#include "model/selection.h"

namespace slv {

class LevelDocument;

// One mouse event on the view: the buttons held (for a press or release,
// the one pressed or let go), the Ctrl key, the place in scene pixels, the
// Shift key.
struct ToolMouse {
    bool left = false;
    bool right = false;
    bool ctrl = false;
    int x = 0;
    int y = 0;
    bool shift = false;
};

class EditTool : public QObject {
    Q_OBJECT
public:
    explicit EditTool(LevelDocument& document, QObject* parent = nullptr)
        : QObject(parent), document_(document) {}

    virtual QString name() const = 0;
    // A line saying what the tool does at the moment.
    virtual QString statusInfo() const = 0;

    virtual void activate() {}
    virtual void deactivate() {}
    virtual void mousePressed(const ToolMouse&) {}
    virtual void mouseMoved(const ToolMouse&) {}
    virtual void mouseReleased(const ToolMouse&) {}
    // True when the tool took the key.
    virtual bool keyPressed(int /*key*/, bool /*ctrl*/) { return false; }

signals:
    // The tool refused what the mouse asked, with the author's message.
    void refused(const QString& message);

protected:
    LevelDocument& document_;
};

// Picks and drags the items of one kind: a left press (without Ctrl) selects
// the topmost item under the pointer, or keeps the selection when that item
// is in it; moves with the left button drag the selected items together,
// keeping the place where they were grabbed under the pointer. With Shift
// the press adds the item to the selection or takes it out. With Ctrl held
// the press keeps the selection, and the drag goes on from the last grab.
// A left press on empty space starts a selection band: every item whose box
// meets it is selected (with Shift, added to the selection).
class ItemTool : public EditTool {
    Q_OBJECT
public:
    ItemTool(LevelDocument& document, ItemKind kind, QObject* parent = nullptr)
        : EditTool(document, parent), kind_(kind) {}

    void mousePressed(const ToolMouse& m) override;
    void mouseMoved(const ToolMouse& m) override;
    void mouseReleased(const ToolMouse& m) override;
    QString statusInfo() const override;

    // The selection band being drawn: its first corner and the pointer.
    // False when none is.
    bool selectionBand(int& x1, int& y1, int& x2, int& y2) const;

protected:
    // Where item `number` of the open stage is.
    bool itemPlace(int number, int& x, int& y) const;

    ItemKind kind_;
    int grabX_ = 0, grabY_ = 0;  // the pointer's offset from the item's corner
    std::uint64_t gesture_ = 0;
    bool dragging_ = false;
    bool banding_ = false;
    int bandX1_ = 0, bandY1_ = 0, bandX2_ = 0, bandY2_ = 0;
    std::set<int> bandBase_;  // what the band adds to
};

// The Sprite page's tool.
class SpriteTool : public ItemTool {
    Q_OBJECT
public:
    explicit SpriteTool(LevelDocument& document, QObject* parent = nullptr)
        : ItemTool(document, ItemKind::Sprite, parent) {}
    QString name() const override { return QStringLiteral("Sprite"); }
};

// The Sector page's tool: picks and drags sectors with the left button; a
// drag with the right button draws a rubber band that becomes a new sector
// when it is let go.
class SectorTool : public ItemTool {
    Q_OBJECT
public:
    explicit SectorTool(LevelDocument& document, QObject* parent = nullptr)
        : ItemTool(document, ItemKind::Sector, parent) {}
    QString name() const override { return QStringLiteral("Sector"); }
    QString statusInfo() const override;

    void mousePressed(const ToolMouse& m) override;
    void mouseMoved(const ToolMouse& m) override;
    void mouseReleased(const ToolMouse& m) override;

signals:
    // The band: its first corner, then its size as the pointer moves, then
    // its end (a sector was made from it, or none).
    void bandStarted(int x, int y);
    void bandResized(int width, int height);
    void bandEnded(int newSector);
};

}  // namespace slv
