#include "app/f_nuvokrc.h"

#include "common/textcodec.h"

#include <QPlainTextEdit>
#include <QScopedValueRollback>
#include <QTextBlock>
#include <cstdio>

// The log panel: appending a line, keeping the end in view, clearing.

namespace {

// Lines are given fresh, layout-free storage in chunks of this many, once
// this many newer lines follow them (more than a tall panel shows).
constexpr int kShedChunk = 256;
constexpr int kShedKeep = 512;

// One log line stays one line: control codes become their visible pictures.
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
    QTextDocument* document = t_receive->document();
    const int blocksBefore = document->blockCount();
    QTextCursor end(document);
    end.movePosition(QTextCursor::End);
    // The break goes before the line, so the text always ends with the newest
    // line; inserting at the end costs the line's length, not the log's.
    end.insertText(QChar(u'\n') + line);
    // The oldest lines went when the log was full: the fresh ones moved up.
    const int dropped = blocksBefore + 1 - document->blockCount();
    if (dropped > 0)
        m_freshLogLines = qMax(1, m_freshLogLines - dropped);
    // Keeping the end in view lays out the newest line; once a newer one
    // follows, that layout's lines are let go at once.
    QTextBlock previous = document->lastBlock().previous();
    if (previous.isValid())
        previous.clearLayout();
    shedLayouts();
    if (m_options.logToStderr) {
        const QByteArray utf8 = line.toUtf8();
        std::fwrite(utf8.constData(), 1, static_cast<size_t>(utf8.size()), stderr);
        std::fputc('\n', stderr);
        std::fflush(stderr);
    }
}

// Every line that was ever laid out (each new line is, for the caret, and so
// is every line when the panel's width changes) keeps a text layout object of
// some 400 bytes for as long as the line exists: most of a long log's memory.
// Only removing a line frees it. So, a chunk at a time, old lines are removed
// and the same text is put back, which gives them storage without a layout.
// The text, the number of lines and every line's place stay the same, and the
// chunk lies far above the end, where the caret and the view are.
void F_NUVOKrc::shedLayouts() {
    QTextDocument* document = t_receive->document();
    const int settled = document->blockCount() - kShedKeep;
    // Clearing or editing may have removed fresh lines.
    m_freshLogLines = qBound(1, m_freshLogLines, qMax(1, settled));
    if (settled - m_freshLogLines < kShedChunk)
        return;
    // Removing a line break merges the next line into the one before and frees
    // the next one's storage, so the range starts at the break before the chunk.
    const int from = document->findBlockByNumber(m_freshLogLines).position() - 1;
    const int to = document->findBlockByNumber(m_freshLogLines + kShedChunk).position() - 1;
    QTextCursor chunk(document);
    chunk.setPosition(from);
    chunk.setPosition(to, QTextCursor::KeepAnchor);
    const QString text = chunk.selectedText();
    const QScopedValueRollback shedding(m_sheddingLayouts, true);
    // One edit, so that the cursor does not lay out a line when it ends.
    chunk.beginEditBlock();
    chunk.insertText(text);
    chunk.endEditBlock();
    m_freshLogLines += kShedChunk;
}

void F_NUVOKrc::t_receive_Change() {
    // Giving old lines fresh storage leaves the text as it was.
    if (m_sheddingLayouts)
        return;
    // Just before the last character, which scrolls the last line into view.
    const int last = t_receive->document()->characterCount() - 2;
    QTextCursor caret(t_receive->document());
    caret.setPosition(last > 0 ? last : 0);
    t_receive->setTextCursor(caret);
}

QString F_NUVOKrc::logText() const {
    return t_receive->toPlainText().replace(QChar(u'\n'), QStringLiteral("\r\n"));
}

int F_NUVOKrc::logCaret() const {
    const QTextCursor caret = t_receive->textCursor();
    const QTextDocument* document = t_receive->document();
    int offset = caret.position() + caret.blockNumber(); // each line end is CR LF
    // An empty last line: the caret sits between that line end's CR and LF.
    const QTextBlock last = document->lastBlock();
    if (last.length() == 1 && last.previous().isValid() && caret.block() == last.previous() &&
        caret.atBlockEnd())
        ++offset;
    return offset;
}

void F_NUVOKrc::B_clr_Click() {
    t_receive->setPlainText(QString());
}
