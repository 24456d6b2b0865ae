// The QSerialPortLine vrxload talks over, counting the opens that succeeded:
// beside the front end's count of attempts, it tells "the port could not be
// opened" (exit status 3) from every other failure of a sequence.
#pragma once

#include "qserialport_line.h"

namespace vrx::cli {

class CountingPortLine : public QSerialPortLine {
    Q_OBJECT
  public:
    using QSerialPortLine::QSerialPortLine;

    void open(const QString& device, const QString& settings) override {
        QSerialPortLine::open(device, settings);
        ++opens_;
    }
    int opens() const { return opens_; }

  private:
    int opens_ = 0;
};

}  // namespace vrx::cli
