#include "console_output.h"

#include <unistd.h>

namespace vrx::cli {

namespace {

constexpr int kBarWidth = 24;
constexpr const char* kClearLine = "\r\033[K";

QString windowsLineBreaks(const QString& text) {
    QString out = text;
    out.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return out;
}

QString rateText(double bytesPerSecond) {
    if (bytesPerSecond >= 1024.0 * 1024.0)
        return QString::number(bytesPerSecond / (1024.0 * 1024.0), 'f', 1) + " MiB/s";
    if (bytesPerSecond >= 1024.0)
        return QString::number(bytesPerSecond / 1024.0, 'f', 1) + " KiB/s";
    return QString::number(bytesPerSecond, 'f', 0) + " B/s";
}

QString durationText(qint64 seconds) {
    return QString("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QChar('0'));
}

}  // namespace

QString ProgressLine(qint64 sent, qint64 total, double seconds) {
    const double fraction = total > 0 ? double(sent) / double(total) : 0.0;
    const int filled = int(fraction * kBarWidth);
    QString line = "[" + QString(filled, '#') + QString(kBarWidth - filled, '.') + "]";
    line += QString("  %1/%2 bytes  %3%").arg(sent).arg(total).arg(int(fraction * 100.0));
    if (seconds > 0.0 && sent > 0) {
        const double rate = double(sent) / seconds;
        line += "  " + rateText(rate);
        line += "  " + durationText(qint64(double(total - sent) / rate + 0.5)) + " left";
    }
    return line;
}

ConsoleOutput::ConsoleOutput(std::FILE* out, std::FILE* err, bool quiet)
    : ConsoleOutput(out, err, quiet, ::isatty(fileno(out)) == 1, ::isatty(fileno(err)) == 1) {}

ConsoleOutput::ConsoleOutput(std::FILE* out, std::FILE* err, bool quiet, bool outIsTerminal,
                             bool errIsTerminal)
    : out_(out),
      err_(err),
      quiet_(quiet),
      outIsTerminal_(outIsTerminal),
      errIsTerminal_(errIsTerminal) {}

void ConsoleOutput::writeOut(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out_);
    std::fflush(out_);
}

void ConsoleOutput::writeErr(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), err_);
    std::fflush(err_);
}

// The bar overwrites the screen line it is drawn on; when that line was the
// log's unfinished line on the same screen, it is written there again.
void ConsoleOutput::clearBar() {
    if (!barShown_) return;
    barShown_ = false;
    writeErr(kClearLine);
    if (outIsTerminal_ && !partialLine_.isEmpty()) writeOut(partialLine_);
}

// When both streams share a screen and the log's line is unfinished there
// ("Waiting for BootID .. "), the notice would run on behind it.
void ConsoleOutput::writeErrLine(const QString& text) {
    clearBar();
    if (outIsTerminal_ && errIsTerminal_ && !partialLine_.isEmpty()) {
        writeErr(QStringLiteral("\n"));
        partialLine_.clear();
    }
    writeErr(text);
}

void ConsoleOutput::log(const QString& text, int replaceLast) {
    if (quiet_) return;
    clearBar();
    QString shown;
    for (int i = 0; i < replaceLast; ++i) {
        // Back, blank, back: a screen shows the character gone, and so does
        // `cat` of a log file.
        shown += QStringLiteral("\b \b");
        partialLine_.chop(1);
    }
    const QString added = ShownLogText(text);
    shown += added;
    const qsizetype lastBreak = added.lastIndexOf('\n');
    partialLine_ = lastBreak < 0 ? partialLine_ + added : added.mid(lastBreak + 1);
    writeOut(shown);
}

void ConsoleOutput::box(const QString& title, const QString& text) {
    writeErrLine(title + ": " + windowsLineBreaks(text) + "\n");
}

void ConsoleOutput::diagnostic(const QString& text) {
    writeErrLine("vrxload: " + text + "\n");
}

void ConsoleOutput::info(const QString& text) {
    if (!quiet_) diagnostic(text);
}

void ConsoleOutput::notice(const QString& text) {
    if (quiet_) return;
    writeErrLine(windowsLineBreaks(text) + "\n");
}

void ConsoleOutput::result(const QString& text) {
    clearBar();
    writeOut(text);
    partialLine_.clear();
}

void ConsoleOutput::progress(qint64 sent, qint64 total) {
    if (sent < lastSent_ || total != lastTotal_ || !transferClock_.isValid())
        transferClock_.start();
    lastSent_ = sent;
    lastTotal_ = total;
    if (quiet_ || !errIsTerminal_) return;
    const double seconds = double(transferClock_.elapsed()) / 1000.0;
    writeErr(kClearLine + ProgressLine(sent, total, seconds));
    barShown_ = true;
}

void ConsoleOutput::endProgress() {
    clearBar();
    lastSent_ = -1;
    lastTotal_ = -1;
    transferClock_.invalidate();
}

}  // namespace vrx::cli
