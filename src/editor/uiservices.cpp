#include "editor/uiservices.h"

#include <algorithm>

#include <QTimer>

#include <QColorDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <cstdio>

namespace slv {

namespace {
UiServices* g_installed = nullptr;
bool g_askingStopped = false;

// What answers once the program is ending: every message is written to the
// error output and every question is cancelled.
class EndingServices : public UiServices {
public:
    void error(QWidget*, const QString& text) override { say(text); }
    void inform(QWidget*, const QString& text) override { say(text); }
    bool confirm(QWidget*, const QString&) override { return false; }
    bool askReplace(QWidget*, const QString&) override { return false; }
    bool askAboutDiskChange(QWidget*, const QString&) override { return false; }
    void note(QWidget*, const QString& text) override { say(text); }
    QString askText(QWidget*, const QString&, const QString&, int, int) override { return {}; }
    SaveChoice askSave(QWidget*, const QString&) override { return SaveChoice::Cancel; }
    QStringList openFiles(QWidget*, const QString&, const QString&, bool) override { return {}; }
    QString saveFile(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
    QString chooseFolder(QWidget*, const QString&, const QString&) override { return {}; }
    QColor color(QWidget*, const QColor&) override { return {}; }

private:
    static void say(const QString& text) { std::fprintf(stderr, "slvedit: %s\n", text.toLocal8Bit().constData()); }
};

// While a question is open, a key held down since before it opened answers
// nothing: auto-repeated presses of the keys that press buttons are dropped.
class AutoRepeatGuard : public QObject {
public:
    // Watches the dialog and its controls; not the application, whose
    // filters may be running the key that opened the dialog.
    explicit AutoRepeatGuard(QWidget* dialog) : dialog_(dialog) {
        dialog->installEventFilter(this);
        for (QWidget* child : dialog->findChildren<QWidget*>()) child->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() != QEvent::KeyPress) return false;
        auto* key = static_cast<QKeyEvent*>(e);
        const bool pressesButton =
            key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Space;
        auto* w = qobject_cast<QWidget*>(watched);
        return pressesButton && key->isAutoRepeat() && w && w->window() == dialog_;
    }

private:
    QWidget* dialog_;
};

int runGuarded(QDialog& dialog) {
    AutoRepeatGuard guard(&dialog);
    return dialog.exec();
}
}

void UiServices::error(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), text, QMessageBox::Ok, parent);
    runGuarded(box);
}

void UiServices::inform(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("slvedit"), text, QMessageBox::Ok, parent);
    box.exec();
}

bool UiServices::confirm(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    return runGuarded(box) == QMessageBox::Yes;
}

bool UiServices::askReplace(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Replace"), text, QMessageBox::Yes | QMessageBox::No,
                    parent);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return runGuarded(box) == QMessageBox::Yes;
}

std::unique_ptr<QMessageBox> UiServices::diskChangeBox(QWidget* parent, const QString& text) {
    auto box = std::make_unique<QMessageBox>(QMessageBox::Warning, QStringLiteral("Changed on disk"), text,
                                             QMessageBox::Yes | QMessageBox::No, parent);
    box->setDefaultButton(QMessageBox::No);
    box->setEscapeButton(QMessageBox::No);
    return box;
}

bool UiServices::askAboutDiskChange(QWidget* parent, const QString& text) {
    return runGuarded(*diskChangeBox(parent, text)) == QMessageBox::Yes;
}

void UiServices::note(QWidget* parent, const QString& text) {
    auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("slvedit"), text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

QString UiServices::askText(QWidget* parent, const QString& label, const QString& initial, int selectStart,
                            int selectLength) {
    QInputDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Rename"));
    dialog.setLabelText(label);
    dialog.setTextValue(initial);
    // The dialog selects its whole text as it is shown; the selection asked
    // for is set once it is up.
    if (QLineEdit* edit = dialog.findChild<QLineEdit*>()) {
        const int start = std::clamp(selectStart, 0, int(initial.size()));
        const int length = selectLength < 0 ? int(initial.size()) - start : std::min(selectLength, int(initial.size()) - start);
        QTimer::singleShot(0, edit, [edit, start, length] { edit->setSelection(start, length); });
    }
    return runGuarded(dialog) == QDialog::Accepted ? dialog.textValue() : QString();
}

SaveChoice UiServices::askSave(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Unsaved changes"), text,
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (runGuarded(box)) {
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

QString UiServices::saveFile(QWidget* parent, const QString& start, const QString& filter,
                             const QString& defaultSuffix) {
    const QFileInfo startInfo(start);
    const bool isFile = !start.isEmpty() && !startInfo.isDir() && !start.endsWith('/');
    QFileDialog dlg(parent, QString(), isFile ? startInfo.absolutePath() : start, filter);
    if (isFile) dlg.selectFile(startInfo.fileName());
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setDefaultSuffix(defaultSuffix);
    // The window asks before replacing another file, in its own words.
    dlg.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return {};
    return dlg.selectedFiles().first();
}

QColor UiServices::color(QWidget* parent, const QColor& initial) {
    return QColorDialog::getColor(initial, parent);
}

UiServices& UiServices::instance() {
    static UiServices real;
    static EndingServices ending;
    if (g_askingStopped) return ending;
    return g_installed ? *g_installed : real;
}

void UiServices::install(UiServices* services) { g_installed = services; }

void UiServices::stopAsking(bool stop) { g_askingStopped = stop; }

bool UiServices::askingStopped() { return g_askingStopped; }

}  // namespace slv

namespace slv {
QString UiServices::chooseFolder(QWidget* parent, const QString& caption, const QString& start) {
    return QFileDialog::getExistingDirectory(parent, caption, start);
}
}  // namespace slv
