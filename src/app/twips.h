#pragma once

#include <QWidget>
#include <algorithm>

// The window's layout is written in twips, 15 to a pixel, and its width and
// height are outer ones: the window manager's frame included.
namespace twips {

constexpr int fromPixels(int pixels) {
    return pixels * 15;
}
constexpr int toPixels(int twips) {
    return twips / 15;
}

inline int outerWidth(const QWidget& window) {
    return fromPixels(window.frameGeometry().width());
}
inline int outerHeight(const QWidget& window) {
    return fromPixels(window.frameGeometry().height());
}
inline void setOuterWidth(QWidget& window, int width) {
    const int frame = window.frameGeometry().width() - window.width();
    window.resize(std::max(1, toPixels(width) - frame), window.height());
}

} // namespace twips
