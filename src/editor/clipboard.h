// Sprites and sectors on the system clipboard: the editor's own MIME type
// carries the items with the bytes of their pictures, so another running
// editor pastes them whole; the same items as JSON text, without the
// pictures' bytes, are there for other programs.
#pragma once

#include <QString>
#include <optional>

#include "package/levelitems.h"

class QMimeData;

namespace slv {

inline const QString kItemsMimeType = QStringLiteral("application/x-slvedit-items");

// Puts `items` on the system clipboard.
void putItemsOnClipboard(const LevelItems& items);
// The items on the system clipboard; none when it holds no items of the
// editor. Throws slv::Error when they are there but damaged.
std::optional<LevelItems> itemsOnClipboard();
// Whether the system clipboard holds items of the editor.
bool clipboardHasItems();

// The same for any MIME data (a drag, the clipboard's).
QMimeData* itemsMimeData(const LevelItems& items);
std::optional<LevelItems> itemsFromMimeData(const QMimeData* data);

}  // namespace slv
