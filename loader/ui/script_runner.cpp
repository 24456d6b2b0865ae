#include "script_runner.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <optional>
#include <stdexcept>

#include "loader_state.h"
#include "serial_line.h"

namespace vrx {

namespace {

// Reads lines ending at CR LF, a lone CR or a lone LF; bytes are characters
// 0..255. A lone LF once stayed inside its line, which ran a Linux-written
// script as one line and still reported success.
class ScriptLineReader {
  public:
    explicit ScriptLineReader(QFile& file) : file_(file) {}

    std::optional<QString> next() {
        char c = 0;
        if (!file_.getChar(&c)) {
            if (file_.error() != QFileDevice::NoError) throw std::runtime_error("read failed");
            return std::nullopt;
        }
        QByteArray line;
        do {
            if (c == '\n') break;
            if (c == '\r') {
                char after = 0;
                if (file_.getChar(&after) && after != '\n') file_.ungetChar(after);
                break;
            }
            line.append(c);
        } while (file_.getChar(&c));
        return QString::fromLatin1(line);
    }

  private:
    QFile& file_;
};

void waitForText(const ScriptHooks& hooks) {
    LoaderState& state = loaderState();
    if (state.sWaitFor.isEmpty()) {
        hooks.yield(false);
        return;
    }
    if (hooks.waiting) hooks.waiting(true);
    while (!state.sWaitFor.isEmpty() && !state.bCancel) hooks.yield(true);
    if (hooks.waiting) hooks.waiting(false);
}

void runLines(QFile& file, const ScriptHooks& hooks, int& counter) {
    LoaderState& state = loaderState();
    ScriptLineReader reader(file);
    while (!state.bCancel) {
        const std::optional<QString> line = reader.next();
        if (!line) return;
        if (counter >= kMaxScriptLines) throw std::overflow_error("line counter overflow");
        ++counter;
        hooks.setStatusPanel(QStringLiteral("Executing script line %1").arg(counter));
        if (line->isEmpty()) continue;
        const QString argument = ScriptArgument(*line);
        if (line->front() == u'>') {
            hooks.send(argument.toLatin1());
        } else if (line->front() == u'<') {
            state.sWaitFor = argument;
            waitForText(hooks);
        }
    }
}

}  // namespace

QString ScriptArgument(const QString& line) {
    QString argument = line.mid(1);
    argument.replace(QStringLiteral("/n"), QStringLiteral("\r"));
    return argument;
}

int RunScript(const QString& path, const ScriptHooks& hooks) {
    LoaderState& state = loaderState();
    state.bBusy = true;
    state.bCancel = false;
    int counter = 0;
    QFile file(path);
    try {
        if (!file.open(QIODevice::ReadOnly)) throw std::runtime_error("cannot open the script");
        runLines(file, hooks, counter);
    } catch (const std::exception&) {
        // Ends the run as its end of file does; the summary tells how far it got.
    }
    file.close();
    // A wait that ended by cancel or error must not stay armed for the next run.
    state.sWaitFor.clear();
    hooks.setStatusPanel(QString());
    state.bBusy = false;
    return counter;
}

ScriptHooks LineScriptHooks(SerialLine& line, std::function<void(const QString&)> setStatusPanel) {
    ScriptHooks hooks;
    hooks.setStatusPanel = std::move(setStatusPanel);
    hooks.send = [&line](const QByteArray& bytes) {
        if (!line.isOpen()) throw SerialError("the port is not open");
        waitForRoom(line, [] { return loaderState().bCancel; });
        line.write(bytes);
    };
    hooks.yield = [](bool waitForEvents) {
        QCoreApplication::processEvents(waitForEvents ? QEventLoop::WaitForMoreEvents
                                                      : QEventLoop::AllEvents);
    };
    return hooks;
}

}  // namespace vrx
