// The About box: the program's title and version, and a button that starts a
// system information tool when one is installed.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>

#include "dialogs.h"

namespace vrx {

// Graphical system information tools, most specific first.
inline const QStringList kSystemInfoTools = {"hardinfo2", "hardinfo", "kinfocenter",
                                             "gnome-system-monitor"};

// The full path of the first tool of `tools` found on `searchPath` (PATH when
// empty), or "" when none is installed.
QString FindSystemInfoTool(const QStringList& tools = kSystemInfoTools,
                           const QStringList& searchPath = {});

class AboutBox : public QDialog {
    Q_OBJECT
  public:
    // `startTool` starts the found program and says whether it started.
    using Starter = std::function<bool(const QString& program)>;

    AboutBox(Dialogs& dialogs, QWidget* parent = nullptr);

    void setToolFinder(std::function<QString()> finder) { findTool_ = std::move(finder); }
    void setStarter(Starter starter) { startTool_ = std::move(starter); }

    void cmdSysInfo_Click();

  private:
    Dialogs& dialogs_;
    std::function<QString()> findTool_;
    Starter startTool_;
};

}  // namespace vrx
