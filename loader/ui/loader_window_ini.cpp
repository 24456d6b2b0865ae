// frmLoader and its INI file: the start-up load, the "Load INI file" menu
// entry filling the slots, and what a slot shows when its file is missing.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "address_check.h"
#include "file_paths.h"
#include "ini_file.h"
#include "loader_state.h"
#include "loader_window.h"

namespace vrx {

void LoaderWindow::iniStartupLoad() {
    const QString& iniFile = loaderState().sIniFile;
    if (FileExists(iniFile, true)) {
        mnuLoadIni_Click();
        return;
    }
    dialogs_.message(MessageIcon::Information, "No file",
                     QStringLiteral("No INI File found. Expect ") + iniFile +
                         QStringLiteral("\r\nDefault values are NOT set!"));
}

void LoaderWindow::mnuLoadIni_Click() {
    const QString& iniFile = loaderState().sIniFile;
    std::array<QString, kSlotCount> values;
    for (int i = 0; i < kSlotCount; ++i)
        values[i] = ReadIniValue(iniFile, kIniSlotKeys[i].section, kIniSlotKeys[i].key);

    for (int i = 0; i < kSlotCount; ++i) {
        if (values[i].isEmpty()) continue;
        const IniSlotValue entry = ParseIniSlotValue(values[i], programFolder_);
        if (FileExists(entry.path, true)) {
            txtStartAddress_[i]->setText(NormalizeAddressText(entry.address, i));
            lblCodeSize_[i]->setText(FileSizeText(entry.path).value_or(QString()));
            txtFilNam_[i]->setText(FileNameOf(entry.path));
            txtFilNam_[i]->setProperty("Tag", entry.path);
            txtFilNam_[i]->setToolTip(QStringLiteral("Path: ") + DirectoryOf(entry.path));
            chkExeURK_[i]->setChecked(true);
            if (i == 0) cmdStartPrimary_->setEnabled(true);
        } else {
            txtFilNam_[i]->setText(QStringLiteral("CAN'T FIND: ") + FileNameOf(entry.path));
            txtFilNam_[i]->setToolTip("File Not Found, check .INI file");
            txtFilNam_[i]->setProperty("Tag", QString());
            txtStartAddress_[i]->setText((i == 0 || i == 5) ? QStringLiteral("0x0000")
                                                            : QStringLiteral("0x80000004"));
            lblCodeSize_[i]->clear();
            chkExeURK_[i]->setChecked(false);
            if (i == 0) cmdStartPrimary_->setEnabled(false);
        }
    }
}

}  // namespace vrx
