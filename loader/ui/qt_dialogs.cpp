#include "qt_dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace vrx {

QStringList QtNameFilters(const QString& pipeFilter) {
    const QStringList parts = pipeFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty() && parts[i + 1].isEmpty()) continue;
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        // On Windows "*.*" matches every file; here it would hide the images
        // that carry no extension (zImage, uImage, Image, rootfs).
        for (QString& pattern : patterns) {
            if (pattern == QLatin1String("*.*")) pattern = QStringLiteral("*");
        }
        filters << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                       QLatin1Char(')');
    }
    return filters;
}

void QtDialogs::message(MessageIcon icon, const QString& title, const QString& text) {
    QMessageBox::Icon boxIcon = QMessageBox::NoIcon;
    if (icon == MessageIcon::Information) boxIcon = QMessageBox::Information;
    if (icon == MessageIcon::Exclamation) boxIcon = QMessageBox::Warning;
    QMessageBox box(boxIcon, title, text, QMessageBox::Ok, parent_);
    box.exec();
}

bool QtDialogs::askYesNo(const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Yes | QMessageBox::No, parent_);
    return box.exec() == QMessageBox::Yes;
}

std::optional<QString> QtDialogs::openFile(const FileDialogRequest& request) {
    QFileDialog dialog(parent_, request.title, request.initialDir);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(request.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::ReadOnly, false);
    const QStringList filters = QtNameFilters(request.filter);
    dialog.setNameFilters(filters);
    const int index = request.filterIndex > 0 ? request.filterIndex : lastFilterIndex_;
    if (index >= 1 && index <= filters.size()) dialog.selectNameFilter(filters[index - 1]);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const int used = int(filters.indexOf(dialog.selectedNameFilter()));
    if (used >= 0) lastFilterIndex_ = used + 1;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return QString();
    return chosen.front();
}

}  // namespace vrx
