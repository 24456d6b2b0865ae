#include "about_box.h"

#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>

#include "loader_state.h"
#include "version.h"

namespace vrx {

QString FindSystemInfoTool(const QStringList& tools, const QStringList& searchPath) {
    for (const QString& tool : tools) {
        const QString found = QStandardPaths::findExecutable(tool, searchPath);
        if (!found.isEmpty()) return found;
    }
    return QString();
}

AboutBox::AboutBox(Dialogs& dialogs, QWidget* parent)
    : QDialog(parent),
      dialogs_(dialogs),
      findTool_([] { return FindSystemInfoTool(); }),
      startTool_([](const QString& program) { return QProcess::startDetached(program, {}); }) {
    setObjectName("frmAbout");
    setWindowTitle(QStringLiteral("About ") + kProgramTitle);
    setFixedSize(380, 170);

    auto* title = new QLabel(kProgramTitle, this);
    title->setObjectName("lblTitle");
    QFont big = title->font();
    big.setPointSize(big.pointSize() + 4);
    big.setBold(true);
    title->setFont(big);
    title->setGeometry(16, 12, 350, 30);

    auto* version = new QLabel(QStringLiteral("Version %1.%2.%3")
                                   .arg(kVersionMajor)
                                   .arg(kVersionMinor)
                                   .arg(kVersionRevision),
                               this);
    version->setObjectName("lblVersion");
    version->setGeometry(16, 46, 350, 20);

    auto* description = new QLabel("Serial boot loader for VRX5520 boards", this);
    description->setObjectName("lblDescription");
    description->setGeometry(16, 70, 350, 20);

    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("cmdOK");
    ok->setGeometry(264, 100, 100, 26);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* sysInfo = new QPushButton("&System Info...", this);
    sysInfo->setObjectName("cmdSysInfo");
    sysInfo->setGeometry(264, 132, 100, 26);
    connect(sysInfo, &QPushButton::clicked, this, &AboutBox::cmdSysInfo_Click);
}

void AboutBox::cmdSysInfo_Click() {
    const QString tool = findTool_ ? findTool_() : QString();
    if (!tool.isEmpty() && startTool_ && startTool_(tool)) return;
    dialogs_.message(MessageIcon::None, kProgramTitle,
                     "System Information Is Unavailable At This Time");
}

}  // namespace vrx
