#pragma once

#include <QObject>

namespace nuvok::test {

// One of the window's controls or menu entries, found by its name.
template <typename T> T* control(const QObject& window, const char* name) {
    T* found = window.findChild<T*>(QLatin1String(name));
    if (!found)
        qFatal("the window has no control %s", name);
    return found;
}

// Runs one of the window's handlers (its private slots) by name, as its
// control or menu entry would.
inline void runHandler(QObject& window, const char* name) {
    if (!QMetaObject::invokeMethod(&window, name, Qt::DirectConnection))
        qFatal("the window has no handler %s", name);
}

} // namespace nuvok::test
