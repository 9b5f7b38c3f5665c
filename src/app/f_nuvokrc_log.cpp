#include "app/f_nuvokrc.h"

#include "common/textcodec.h"

#include <cstdio>

// The log panel: appending a line, keeping the end in view, clearing.

namespace {

// One log line stays one line: control codes and line or paragraph
// separators become visible pictures.
QString visibleLine(const QString& text) {
    QString line = text;
    for (QChar& c : line) {
        const char32_t visible = nuvok::visibleControl(c.unicode());
        if (visible != c.unicode())
            c = QChar(static_cast<char16_t>(visible));
    }
    return line;
}

} // namespace

void F_NUVOKrc::logData(const QString& strText) {
    const QString line = visibleLine(strText);
    t_receive->appendLine(line);
    if (m_options.logToStderr) {
        // A terminal acts on more than the panel does: the C1 controls and
        // the characters that reorder text are written as <U+XXXX> there.
        const QByteArray utf8 = line.toUtf8();
        const std::string safe =
            nuvok::terminalSafe(std::string_view(utf8.constData(), std::size_t(utf8.size())));
        std::fwrite(safe.data(), 1, safe.size(), stderr);
        std::fputc('\n', stderr);
        std::fflush(stderr);
    }
}

void F_NUVOKrc::t_receive_Change() {
    // The panel rearranging its own lines leaves the text as it was.
    if (t_receive->rearranging())
        return;
    t_receive->keepCaretAtEnd();
}

QString F_NUVOKrc::logText() const {
    return t_receive->crlfText();
}

int F_NUVOKrc::logCaret() const {
    return t_receive->crlfCaret();
}

void F_NUVOKrc::B_clr_Click() {
    t_receive->setPlainText(QString());
}
