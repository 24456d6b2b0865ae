// frmWaitForComm: the modal dialog shown while the loader waits for the boot
// ROM's boot ID. It runs the wait loop it is given while it is open; closing
// it in any way other than the boot ID's arrival cancels the wait. Alt+B
// pulses DTR; the hidden debug send switches debug mode on and writes straight
// to the port.
#pragma once

#include <QByteArray>
#include <QDialog>
#include <functional>

#include "wait_for_comm_text.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace vrx {

class WaitForCommDialog : public QDialog {
    Q_OBJECT
  public:
    using PortWriter = std::function<void(const QByteArray&)>;

    WaitForCommDialog(PortWriter writeToPort, std::function<void()> pulseDtr,
                      QWidget* parent = nullptr);

    // Loads and shows the dialog, runs `waitLoop` while it is open and closes
    // it again. Returns once the dialog has closed.
    void run(const std::function<void()>& waitLoop);

    bool found() const { return found_; }

    void Form_Load();
    void CancelButton_Click();
    void cmdOut_Click();
    // True when the key was Alt+B (and DTR was pulsed).
    bool Form_KeyDown(int keyCode, Qt::KeyboardModifiers shift);

    void done(int result) override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void Form_Unload();

    PortWriter writeToPort_;
    std::function<void()> pulseDtr_;
    QLabel* lblMsg_;
    QPushButton* cancelButton_;
    QLineEdit* txtOut_;
    QPushButton* cmdOut_;
    bool found_ = false;
};

}  // namespace vrx
