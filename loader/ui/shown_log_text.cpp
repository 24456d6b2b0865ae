#include "shown_log_text.h"

namespace vrx {

QString ShownLogText(const QString& logText) {
    QString shown;
    shown.reserve(logText.size());
    for (QChar c : logText) {
        const char16_t code = c.unicode();
        if (code == u'\r') continue;
        if (code == u'\n' || code == u'\t')
            shown += c;
        else if (code < 0x20)
            shown += QChar(char16_t(0x2400 + code));
        else if (code == 0x7F)
            shown += QChar(char16_t(0x2421));
        else
            shown += c;
    }
    return shown;
}

}  // namespace vrx
