// Message boxes, the Yes/No confirmation and file dialogs, behind one small
// interface: the window shows real dialogs, the command-line front end writes to
// standard error, and tests use ScriptedDialogs, which records every box and
// answers as told.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace vrx {

enum class MessageIcon { None, Information, Exclamation };

struct FileDialogRequest {
    QString title;
    QString filter;       // "Text (*.txt)|*.txt|All (*.*)|*.*" style, as the program gives it
    int filterIndex = 1;  // 1-based selected filter
    QString initialDir;
    bool mustExist = true;
};

class Dialogs {
  public:
    virtual ~Dialogs() = default;
    virtual void message(MessageIcon icon, const QString& title, const QString& text) = 0;
    // Yes/No box without icon; true for Yes.
    virtual bool askYesNo(const QString& title, const QString& text) = 0;
    // The full path chosen, or nothing when the user cancelled.
    virtual std::optional<QString> openFile(const FileDialogRequest& request) = 0;
};

// Records every box and answers from queues. An empty Yes/No queue answers No;
// an empty file queue answers "cancelled".
class ScriptedDialogs : public Dialogs {
  public:
    struct Box {
        MessageIcon icon;
        QString title;
        QString text;
        bool question;  // a Yes/No box
    };

    void message(MessageIcon icon, const QString& title, const QString& text) override {
        boxes.push_back({icon, title, text, false});
        if (onBox) onBox(boxes.back());
    }
    bool askYesNo(const QString& title, const QString& text) override {
        boxes.push_back({MessageIcon::None, title, text, true});
        if (onBox) onBox(boxes.back());
        if (yesNoAnswers.empty()) return false;
        const bool answer = yesNoAnswers.front();
        yesNoAnswers.pop_front();
        return answer;
    }
    std::optional<QString> openFile(const FileDialogRequest& request) override {
        fileRequests.push_back(request);
        if (fileAnswers.empty() || !fileAnswers.front()) {
            if (!fileAnswers.empty()) fileAnswers.pop_front();
            return std::nullopt;
        }
        const QString answer = *fileAnswers.front();
        fileAnswers.pop_front();
        return answer;
    }

    std::vector<Box> boxes;
    std::vector<FileDialogRequest> fileRequests;
    std::deque<bool> yesNoAnswers;
    std::deque<std::optional<QString>> fileAnswers;
    // Called after a box is recorded, before it is answered (lets a test act
    // "while the box is open").
    std::function<void(const Box&)> onBox;
};

}  // namespace vrx
