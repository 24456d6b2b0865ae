// The port list: a combo box that tells its owner right before its list
// opens, so the entries show the devices present now (an adapter plugged back
// in under a new name) rather than those of start-up.
#pragma once

#include <QAbstractItemView>
#include <QComboBox>
#include <functional>

namespace vrx {

class PortComboBox : public QComboBox {
  public:
    using QComboBox::QComboBox;

    std::function<void()> aboutToOpen;

    void showPopup() override {
        if (aboutToOpen) aboutToOpen();
        // The box is narrow; the list is as wide as its longest device path.
        view()->setMinimumWidth(view()->sizeHintForColumn(0) + 24);
        QComboBox::showPopup();
    }
};

}  // namespace vrx
