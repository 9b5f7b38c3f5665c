#pragma once

#include <QPlainTextEdit>

// The log panel: an editable plain-text panel that stays cheap at any length.
//
// A text document pays for each block (one per paragraph) in two ways: its
// look-ups walk trees as deep as the number of blocks, so every append gets
// slower as the log grows; and a block that was ever laid out keeps a text
// layout of some 400 bytes until it is removed. So, well above the end, the
// lines are packed: every kPackLines of them are put back as one block whose
// lines are joined by line separators (U+2028). The panel shows them, and its
// plain text reads them, exactly as before; the caret and the scroll bars
// count the same lines. Re-inserting a block also frees its layout, so lines
// that were scrolled into view are packed again later.
class LogPanel : public QPlainTextEdit {
    Q_OBJECT

public:
    // Lines packed into one block, and the newest blocks never packed (more
    // than a tall panel shows, so that packing never touches the view).
    static constexpr int kPackLines = 256;
    static constexpr int kKeepBlocks = 512;

    // At least the newest maxLines lines are kept; older ones go a block at a
    // time, so at most one packed block more.
    explicit LogPanel(int maxLines, QWidget* parent = nullptr);

    // Appends a line after a line break, so the text always ends with it.
    void appendLine(const QString& line);
    // Puts the caret just before the last character, which keeps the last
    // line in view. Placing the caret lays its line out and scrolls, which a
    // hidden panel does not need for every line: there it is done once the
    // panel is shown, and the caret offsets read meanwhile count it placed.
    void keepCaretAtEnd();
    // True while the panel rearranges its own text; the text stays the same.
    bool rearranging() const { return m_rearranging; }
    // Lines of text, counting those inside packed blocks.
    int lines() const;
    // The text and the caret offset with CR LF line ends.
    QString crlfText() const;
    int crlfCaret() const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void dropOldestLines();
    void packOldLines();
    void countPackedLines();
    void placeCaretAtEnd();
    QTextCursor caretAtEnd() const;
    QTextCursor caret() const;

    int m_maxLines;
    // Blocks [1, m_freshBlock) are packed and hold no layout.
    int m_freshBlock = 1;
    bool m_rearranging = false;
    bool m_caretToEnd = false; // the caret goes to the end once the panel is shown
    bool m_sizeUntold = false; // lines came while hidden: the view learns the size when shown
};
