#include "app/f_nuvokrc.h"

#include "common/textcodec.h"

#include <cstdio>
#include <string>
#include <string_view>

// The log panel: appending a line, keeping the end in view, clearing.

namespace {

// One log line stays one line and shows what it says (see
// nuvok::visibleLogLine); a line with nothing to show otherwise is not copied.
QString visibleLine(const QString& text) {
    std::u16string visible;
    if (!nuvok::visibleLogLine(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                                   static_cast<std::size_t>(text.size())),
                               visible))
        return text;
    return QString::fromStdU16String(visible);
}

} // namespace

void F_NUVOKrc::logData(const QString& strText) {
    const QString line = visibleLine(strText);
    t_receive->appendLine(line);
    if (m_options.logToStderr) {
        // The same visible form as in the panel, which no terminal acts on.
        const QByteArray utf8 = line.toUtf8();
        std::fwrite(utf8.constData(), 1, static_cast<std::size_t>(utf8.size()), stderr);
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
