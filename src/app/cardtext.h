#pragma once

#include <QString>

// The texts of the Help and Info cards, with CR LF line ends as the message
// boxes show them.
namespace cardText {

// The usage card, naming the players' window titles.
QString usage(const QString& videoTitle, const QString& audioTitle);
// The usage card with the usual players (before start-up has named them).
QString usage();
// The Info card.
QString about();

} // namespace cardText
