#include "app/logpanel.h"

#include <QAbstractTextDocumentLayout>
#include <QResizeEvent>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextBlock>
#include <algorithm>

namespace {

int separatedLines(const QString& text) {
    return static_cast<int>(text.count(QChar(QChar::LineSeparator))) + 1;
}

} // namespace

LogPanel::LogPanel(int maxLines, QWidget* parent) : QPlainTextEdit(parent), m_maxLines(maxLines) {
    // A packed block shows its lines one below the other only unwrapped, and
    // the scroll bars count them so.
    setLineWrapMode(QPlainTextEdit::NoWrap);
    // The log grows for months: no undo history.
    setUndoRedoEnabled(false);
    // Lines scrolled into view are laid out: pack them again from there on.
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int top) {
        const QTextBlock block = document()->findBlockByLineNumber(top);
        if (block.isValid())
            m_freshBlock = qMin(m_freshBlock, qMax(1, block.blockNumber()));
    });
}

void LogPanel::appendLine(const QString& line) {
    // Keeping the end in view lays out the newest line; once a newer one
    // follows, that layout's lines are let go at once, and before the insert:
    // the document lays a changed block out again if it has a layout.
    document()->lastBlock().clearLayout();
    {
        // A hidden panel has nothing to repaint, and its view asks for the
        // new line's place on the screen, which lays it out: the view hears
        // of the new size once the panel is shown.
        const QSignalBlocker quiet(isVisible() ? nullptr : document()->documentLayout());
        m_sizeUntold = m_sizeUntold || !isVisible();
        QTextCursor end(document());
        // One edit: a cursor moved outside an edit lays out the block it is in.
        end.beginEditBlock();
        end.movePosition(QTextCursor::End);
        // Inserting at the end costs the line's length, not the log's.
        end.insertText(QChar(u'\n') + line);
        end.endEditBlock();
    }
    QTextBlock previous = document()->lastBlock().previous();
    if (previous.isValid())
        previous.clearLayout();
    dropOldestLines();
    packOldLines();
}

void LogPanel::keepCaretAtEnd() {
    if (!isVisible()) {
        m_caretToEnd = true;
        return;
    }
    placeCaretAtEnd();
}

void LogPanel::placeCaretAtEnd() {
    m_caretToEnd = false;
    setTextCursor(caretAtEnd());
}

// Just before the last character, which scrolls the last line into view.
QTextCursor LogPanel::caretAtEnd() const {
    const int last = document()->characterCount() - 2;
    QTextCursor end(document());
    end.setPosition(last > 0 ? last : 0);
    return end;
}

// Where the caret is, or is to be once the panel is shown.
QTextCursor LogPanel::caret() const {
    return m_caretToEnd ? caretAtEnd() : textCursor();
}

void LogPanel::showEvent(QShowEvent* event) {
    QPlainTextEdit::showEvent(event);
    if (m_sizeUntold) {
        m_sizeUntold = false;
        QAbstractTextDocumentLayout* layout = document()->documentLayout();
        emit layout->documentSizeChanged(layout->documentSize());
    }
    if (m_caretToEnd)
        placeCaretAtEnd();
}

int LogPanel::lines() const {
    return document()->lineCount();
}

QString LogPanel::crlfText() const {
    return toPlainText().replace(QChar(u'\n'), QStringLiteral("\r\n"));
}

int LogPanel::crlfCaret() const {
    const QTextCursor caret = this->caret();
    // Every line break before the caret is two characters in the CR LF text.
    const int position = caret.position();
    int offset = position + static_cast<int>(toPlainText().left(position).count(QChar(u'\n')));
    // An empty last line: the caret sits between that line end's CR and LF.
    const QTextBlock last = document()->lastBlock();
    if (last.length() == 1 && last.previous().isValid() && caret.block() == last.previous() &&
        caret.atBlockEnd())
        ++offset;
    return offset;
}

void LogPanel::dropOldestLines() {
    QTextDocument* document = this->document();
    for (;;) {
        const QTextBlock first = document->firstBlock();
        const QTextBlock second = first.next();
        if (!second.isValid() || document->lineCount() - first.lineCount() < m_maxLines)
            return;
        const QScopedValueRollback rearranging(m_rearranging, true);
        QTextCursor oldest(document);
        oldest.beginEditBlock();
        oldest.setPosition(second.position(), QTextCursor::KeepAnchor);
        oldest.removeSelectedText();
        // The first block now holds the second one's lines, maybe packed ones.
        QTextBlock now = document->firstBlock();
        now.setLineCount(separatedLines(now.text()));
        oldest.endEditBlock();
        m_freshBlock = qMax(1, m_freshBlock - 1);
    }
}

// The lines from the fresh block on, up to the newest blocks, are put back as
// one block once there are enough of them. The range starts at the break
// before them: removing it frees the storage of every block in the range.
void LogPanel::packOldLines() {
    QTextDocument* document = this->document();
    const int settled = document->blockCount() - kKeepBlocks;
    m_freshBlock = qBound(1, m_freshBlock, qMax(1, settled));
    if (settled <= m_freshBlock)
        return;
    // Line numbers count the lines of packed blocks too: no walk over blocks.
    const QTextBlock from = document->findBlockByNumber(m_freshBlock);
    const int first = from.firstLineNumber();
    if (document->findBlockByNumber(settled).firstLineNumber() - first < kPackLines)
        return;
    const QTextBlock to = document->findBlockByLineNumber(first + kPackLines - 1).next();
    const QScopedValueRollback rearranging(m_rearranging, true);
    // One edit: a cursor placed outside an edit lays out the block it is in,
    // here a packed one.
    QTextCursor range(document);
    range.beginEditBlock();
    range.setPosition(from.position() - 1);
    range.setPosition(to.position() - 1, QTextCursor::KeepAnchor);
    QString text = range.selectedText();
    std::replace(text.begin() + 1, text.end(), QChar(QChar::ParagraphSeparator),
                 QChar(QChar::LineSeparator));
    range.insertText(text);
    // Until it is laid out, a block counts as one line for the scroll bars.
    document->findBlockByNumber(m_freshBlock).setLineCount(separatedLines(text.mid(1)));
    range.endEditBlock();
    ++m_freshBlock;
}

void LogPanel::resizeEvent(QResizeEvent* event) {
    const bool newWidth = event->oldSize().width() != event->size().width();
    QPlainTextEdit::resizeEvent(event);
    if (newWidth)
        countPackedLines();
}

// A new width lays out the whole document again: every block gets a layout,
// and each counts as one line until it is laid out.
void LogPanel::countPackedLines() {
    QTextDocument* document = this->document();
    for (QTextBlock block = document->firstBlock(); block.isValid(); block = block.next()) {
        const int lines = separatedLines(block.text());
        if (lines > 1)
            block.setLineCount(lines);
    }
    m_freshBlock = 1;
    // The scroll bars follow the document's size.
    QAbstractTextDocumentLayout* layout = document->documentLayout();
    emit layout->documentSizeChanged(layout->documentSize());
}
