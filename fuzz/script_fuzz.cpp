// Script files of arbitrary bytes through the script runner: the lines it
// counts and the texts it sends must be exactly those of the line rule (CR LF,
// a lone CR or a lone LF ends a line, ">" sends with "/n" as CR, "<" waits), and a run
// always ends with the loader no longer busy.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cstdlib>
#include <vector>

#include "loader_state.h"
#include "script_runner.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

const QString& scriptPath() {
    static const QString path = QDir::tempPath() + QString("/x9fuzz_script_%1.txt").arg(getpid());
    return path;
}

// The line rule written out independently of the runner's reader.
std::vector<QByteArray> splitLines(const uint8_t* data, std::size_t size) {
    std::vector<QByteArray> lines;
    QByteArray line;
    for (std::size_t k = 0; k < size; ++k) {
        if (data[k] == '\r') {
            lines.push_back(line);
            line.clear();
            if (k + 1 < size && data[k + 1] == '\n') ++k;
        } else if (data[k] == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line.append(static_cast<char>(data[k]));
        }
    }
    if (!line.isEmpty()) lines.push_back(line);
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    {
        QFile file(scriptPath());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    vrx::resetLoaderState();
    std::vector<QByteArray> sent;
    int waits = 0;
    vrx::ScriptHooks hooks;
    hooks.setStatusPanel = [](const QString&) {};
    hooks.send = [&](const QByteArray& bytes) { sent.push_back(bytes); };
    // The target answers every wait at once.
    hooks.yield = [&](bool waitForEvents) {
        if (waitForEvents) {
            ++waits;
            vrx::loaderState().sWaitFor.clear();
        }
    };
    const int counted = vrx::RunScript(scriptPath(), hooks);

    const std::vector<QByteArray> lines = splitLines(data, size);
    std::vector<QByteArray> expected;
    int expectedWaits = 0;
    for (const QByteArray& line : lines) {
        if (line.startsWith('>')) {
            QByteArray argument = line.mid(1);
            argument.replace("/n", "\r");
            expected.push_back(argument);
        } else if (line.size() > 1 && line.startsWith('<')) {
            ++expectedWaits;
        }
    }
    check(counted == static_cast<int>(std::min<std::size_t>(lines.size(), vrx::kMaxScriptLines)));
    check(sent == expected);
    check(waits == expectedWaits);
    check(!vrx::loaderState().bBusy);
    check(vrx::loaderState().sWaitFor.isEmpty());
    return 0;
}
