// Send-and-wait scripts: a text file whose lines either send text on the serial
// line (">text") or wait until the target has sent a text ("<text"); anything
// else is a comment. "/n" in a line stands for a carriage return. Lines end at
// CR LF, a lone CR or a lone LF: files written on Windows, old Macs and Linux
// all run line by line.
//
// The runner sets bBusy while it runs, stops at bCancel, and waits in the event
// loop for the receive timer to clear sWaitFor. It knows no widgets: the front
// end hands it the port's write, the status panel and its way of yielding.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

namespace vrx {

class SerialLine;

struct ScriptHooks {
    // Shows a text in the status bar's second panel.
    std::function<void(const QString&)> setStatusPanel;
    // Puts bytes on the line directly (not silenced by debug mode); throws when
    // the port is closed or the write fails.
    std::function<void(const QByteArray&)> send;
    // Gives the event loop a turn; with `waitForEvents`, sleeps until an event
    // (serial data, a timer, input) has been handled.
    std::function<void(bool waitForEvents)> yield;
    // Optional: told true when a "<" wait begins (sWaitFor is set) and false
    // when it ends, however it ends.
    std::function<void(bool waiting)> waiting;
};

// The hooks both front ends run scripts with: bytes go straight onto `line`
// (a closed port ends the run), and yielding hands the Qt event loop a turn.
ScriptHooks LineScriptHooks(SerialLine& line, std::function<void(const QString&)> setStatusPanel);

// The line counter is a 16-bit signed number: the run ends before the line
// that would take it past this.
inline constexpr int kMaxScriptLines = 32767;

// Runs the script file at `path` (steps 4 to 6 of the menu entry: busy, lines,
// clean-up). Any failure (file unreadable, port closed, too many lines) ends
// the run quietly. Returns the number of lines read.
int RunScript(const QString& path, const ScriptHooks& hooks);

// The argument of a script line with every "/n" turned into CR.
QString ScriptArgument(const QString& line);

}  // namespace vrx
