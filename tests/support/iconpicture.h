#pragma once

#include <QIcon>
#include <QImage>

namespace nuvok::test {

// What an icon shows, at the notification area's size. The window's pictures
// are made anew on each call (icons.h), each with its own cache key: icons
// made apart are compared by their pictures.
inline QImage pictureOf(const QIcon& icon) {
    return icon.pixmap(16).toImage();
}

} // namespace nuvok::test
