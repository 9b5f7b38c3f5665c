#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

// One line of the command channel, a request or its answer:
//   NUVOKrc/1 <word> [<name>=<value>]...
// The word says what is asked (a request) or how it went (an answer: ok,
// failed, refused); the values are percent-encoded UTF-8, so that a line holds
// any text. A reader ignores names it does not know, so later versions may add
// some.
struct ChannelMessage {
    static constexpr int kVersion = 1;
    // Longer lines are refused unread, from either side.
    static constexpr qsizetype kMaxLineBytes = 8192;

    QString word;
    QList<QPair<QString, QString>> fields;

    ChannelMessage& with(const QString& name, const QString& value);
    QString field(const QString& name) const;

    // The line, with its line end.
    QByteArray line() const;
    // The message of a line (line end included or not); nothing when it is
    // none, with why in *problem.
    static std::optional<ChannelMessage> parse(QByteArray line, QString* problem);
};
