// The window's message boxes and file dialog: QMessageBox and QFileDialog
// behind the Dialogs interface, with the icon and title each caller asks for.
#pragma once

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include "dialogs.h"

namespace vrx {

// Turns a "Name|*.ext|Name|*.ext|" filter list into Qt's name filters
// ("Name (*.ext)"), one per pair; a trailing "|" adds nothing.
QStringList QtNameFilters(const QString& pipeFilter);

class QtDialogs : public Dialogs {
  public:
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    void message(MessageIcon icon, const QString& title, const QString& text) override;
    bool askYesNo(const QString& title, const QString& text) override;
    std::optional<QString> openFile(const FileDialogRequest& request) override;

  private:
    QPointer<QWidget> parent_;
    // A request with filter index 0 opens on the filter last used by any
    // file dialog of the program.
    int lastFilterIndex_ = 1;
};

}  // namespace vrx
