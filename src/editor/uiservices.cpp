#include "editor/uiservices.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace slv {

namespace {
UiServices* g_installed = nullptr;
}

void UiServices::error(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), text, QMessageBox::Ok, parent);
    box.exec();
}

void UiServices::inform(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("slvedit"), text, QMessageBox::Ok, parent);
    box.exec();
}

bool UiServices::confirm(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    return box.exec() == QMessageBox::Yes;
}

SaveChoice UiServices::askSave(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Unsaved changes"), text,
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Save: return SaveChoice::Save;
    case QMessageBox::Discard: return SaveChoice::Discard;
    default: return SaveChoice::Cancel;
    }
}

QStringList UiServices::openFiles(QWidget* parent, const QString& folder, const QString& filter,
                                  bool multiple) {
    if (multiple) return QFileDialog::getOpenFileNames(parent, QString(), folder, filter);
    QString one = QFileDialog::getOpenFileName(parent, QString(), folder, filter);
    return one.isEmpty() ? QStringList() : QStringList{one};
}

QString UiServices::saveFile(QWidget* parent, const QString& folder, const QString& filter,
                             const QString& defaultSuffix) {
    QFileDialog dlg(parent, QString(), folder, filter);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setDefaultSuffix(defaultSuffix);
    dlg.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return {};
    return dlg.selectedFiles().first();
}

QColor UiServices::color(QWidget* parent, const QColor& initial) {
    return QColorDialog::getColor(initial, parent);
}

UiServices& UiServices::instance() {
    static UiServices real;
    return g_installed ? *g_installed : real;
}

void UiServices::install(UiServices* services) { g_installed = services; }

}  // namespace slv
