// The editor's modal interactions (message boxes and dialogs) behind one
// seam, so that tests can answer them without blocking on a real dialog.
#pragma once

#include <QColor>
#include <QString>
#include <QStringList>
#include <memory>

class QMessageBox;
class QWidget;

namespace slv {

// The answers to "Save changes to NAME ?".
enum class SaveChoice { Save, Discard, Cancel };

class UiServices {
public:
    virtual ~UiServices() = default;
    // An error message box with one OK button.
    virtual void error(QWidget* parent, const QString& text);
    // A notice with one OK button.
    virtual void inform(QWidget* parent, const QString& text);
    // A confirmation with Yes and No; true only for Yes.
    virtual bool confirm(QWidget* parent, const QString& text);
    // The question before a file is replaced, with Yes and No; No is the
    // default. True only for Yes.
    virtual bool askReplace(QWidget* parent, const QString& text);
    // A question about a file another program changed on disk, with Yes and
    // No; No is the default. True only for Yes.
    virtual bool askAboutDiskChange(QWidget* parent, const QString& text);
    // The box askAboutDiskChange runs, built and not shown.
    static std::unique_ptr<QMessageBox> diskChangeBox(QWidget* parent, const QString& text);
    // A notice that does not wait for an answer: the window goes on while it
    // is shown, and it closes with its OK button.
    virtual void note(QWidget* parent, const QString& text);
    // A line of text, filled in with `initial`; empty when cancelled. The
    // characters from `selectStart` on, `selectLength` of them (-1: to the
    // end), are selected, ready to be typed over.
    virtual QString askText(QWidget* parent, const QString& label, const QString& initial, int selectStart = 0,
                            int selectLength = -1);
    // The question before a changed level is closed or replaced, with Save,
    // Discard and Cancel buttons.
    virtual SaveChoice askSave(QWidget* parent, const QString& text);
    // Open-file dialog; empty when cancelled. `filter` is in the toolkit's form.
    virtual QStringList openFiles(QWidget* parent, const QString& folder, const QString& filter,
                                  bool multiple);
    // Save-file dialog starting at `start` (a folder, or a file whose name is
    // filled in); empty when cancelled. It asks nothing before replacing.
    virtual QString saveFile(QWidget* parent, const QString& start, const QString& filter,
                             const QString& defaultSuffix);
    // A folder chooser starting at `start`; empty when cancelled.
    virtual QString chooseFolder(QWidget* parent, const QString& caption, const QString& start);
    // Colour dialog; invalid colour when cancelled.
    virtual QColor color(QWidget* parent, const QColor& initial);

    static UiServices& instance();
    // Replaces the services (tests); nullptr restores the real ones.
    static void install(UiServices* services);
    // From now on nothing is shown or asked: the program is ending and no
    // one may wait for an answer. Messages go to the error output, every
    // question gets its cancelling answer (No, Cancel, nothing chosen).
    // stopAsking(false) asks again (tests).
    static void stopAsking(bool stop = true);
    static bool askingStopped();
};

}  // namespace slv
