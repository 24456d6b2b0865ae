// The QSerialPortLine vrxload talks over, counting the opens that succeeded:
// beside the front end's count of attempts, it tells "the port could not be
// opened" (exit status 3) from every other failure of a sequence. With a
// trace (--trace FILE) it also records every byte both ways.
#pragma once

#include "line_trace.h"
#include "qserialport_line.h"

namespace vrx::cli {

class CountingPortLine : public QSerialPortLine {
    Q_OBJECT
  public:
    using QSerialPortLine::QSerialPortLine;

    void open(const QString& device, const QString& settings) override {
        if (trace_) trace_->note("open " + device + " " + settings);
        QSerialPortLine::open(device, settings);
        ++opens_;
    }
    void close() override {
        if (trace_ && isOpen()) trace_->note("close");
        QSerialPortLine::close();
    }
    void write(const QByteArray& bytes) override {
        QSerialPortLine::write(bytes);
        if (trace_) trace_->bytes(TraceDirection::Sent, bytes);
    }
    QByteArray read(qint64 maxBytes) override {
        QByteArray bytes = QSerialPortLine::read(maxBytes);
        if (trace_) trace_->bytes(TraceDirection::Received, bytes);
        return bytes;
    }
    int opens() const { return opens_; }
    void setTrace(LineTrace* trace) { trace_ = trace; }

  private:
    int opens_ = 0;
    LineTrace* trace_ = nullptr;
};

}  // namespace vrx::cli
