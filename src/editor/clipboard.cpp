#include "editor/clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace slv {

QMimeData* itemsMimeData(const LevelItems& items) {
    auto* data = new QMimeData;
    data->setData(kItemsMimeType, QByteArray::fromStdString(itemsJson(items, true)));
    data->setText(QString::fromStdString(itemsJson(items, false)));
    return data;
}

std::optional<LevelItems> itemsFromMimeData(const QMimeData* data) {
    if (!data || !data->hasFormat(kItemsMimeType)) return std::nullopt;
    return itemsFromJson(data->data(kItemsMimeType).toStdString());
}

void putItemsOnClipboard(const LevelItems& items) {
    QGuiApplication::clipboard()->setMimeData(itemsMimeData(items));
}

std::optional<LevelItems> itemsOnClipboard() { return itemsFromMimeData(QGuiApplication::clipboard()->mimeData()); }

bool clipboardHasItems() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data && data->hasFormat(kItemsMimeType);
}

}  // namespace slv
