#pragma once

// Test helpers for a real X11 desktop: stand-in player windows in their own
// processes (keywindow) and a look at the desktop through a connection of the
// test's own, independent of the code under test.

#include "support/eventwait.h"

#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

struct _XDisplay;

namespace nuvok::test {

constexpr int kDesktopTimeoutMs = 15000;

// xdotool with these arguments: input as a user's, through the X server.
inline bool xdotool(const QStringList& arguments) {
    return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
}

// A left click at this point of the screen.
inline bool click(const QPoint& at) {
    return xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()),
                    QStringLiteral("click"), QStringLiteral("1")});
}

// A keywindow process: a window with a title that records the keys it gets.
class KeyWindow {
public:
    // A window that does not take the focus refuses it (ICCCM "no input").
    explicit KeyWindow(const QString& title, bool takesFocus = true) : m_title(title) {
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        QStringList arguments{title};
        if (!takesFocus)
            arguments.prepend(QStringLiteral("--no-focus"));
        m_process.start(QStringLiteral(KEYWINDOW_BINARY), arguments);
    }
    ~KeyWindow() {
        m_process.closeWriteChannel(); // keywindow ends at the end of its input
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    KeyWindow(const KeyWindow&) = delete;
    KeyWindow& operator=(const KeyWindow&) = delete;

    const QString& title() const { return m_title; }
    qint64 processId() const { return m_process.processId(); }

    // Waits until the window is mapped; false if it never is.
    bool waitReady() {
        return waitUntil([&] { return (read(), m_id != 0); }, kDesktopTimeoutMs);
    }
    unsigned long id() const { return m_id; }

    // The names of the keys pressed in the window so far.
    QStringList keys() {
        read();
        return m_keys;
    }
    // Waits until at least count keys have arrived.
    bool waitForKeys(qsizetype count) {
        return waitUntil([&] { return keys().size() >= count; }, kDesktopTimeoutMs);
    }
    bool closed() {
        read();
        return m_closed;
    }
    QString errorOutput() { return QString::fromLocal8Bit(m_process.readAllStandardError()); }

private:
    void read() {
        m_pending += m_process.readAllStandardOutput();
        qsizetype end;
        while ((end = m_pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(m_pending.left(end));
            m_pending.remove(0, end + 1);
            if (line.startsWith(QLatin1String("ready ")))
                m_id = line.mid(6).toULong(nullptr, 16);
            else if (line.startsWith(QLatin1String("key ")))
                m_keys << line.mid(4);
            else if (line == QLatin1String("closed"))
                m_closed = true;
        }
    }

    QString m_title;
    QProcess m_process;
    QByteArray m_pending;
    unsigned long m_id = 0;
    QStringList m_keys;
    bool m_closed = false;
};

// The desktop as the window manager shows it, read over a connection of the
// test's own (x11desktop.cpp keeps Xlib's macros away from Qt's headers).
class DesktopProbe {
public:
    DesktopProbe();
    ~DesktopProbe();
    DesktopProbe(const DesktopProbe&) = delete;
    DesktopProbe& operator=(const DesktopProbe&) = delete;

    bool connected() const { return m_display != nullptr; }
    // The window named by _NET_ACTIVE_WINDOW on the root window; 0 for none.
    unsigned long activeWindow() const;
    bool waitForActive(unsigned long window) const {
        return waitUntil([&] { return activeWindow() == window; }, kDesktopTimeoutMs);
    }
    // Asks the window manager to minimise the window (ICCCM iconify request).
    void minimise(unsigned long window) const;
    // Whether the window manager shows the window as minimised (WM_STATE).
    bool minimised(unsigned long window) const;
    // Whether a notification area owns the screen's XEmbed selection.
    bool notificationAreaThere() const;
    // Asks the window manager to move the window to another workspace.
    void moveToWorkspace(unsigned long window, long workspace) const;
    // The workspace of a window, or the current one for the root (-1: none).
    long workspaceOf(unsigned long window) const;
    long currentWorkspace() const;
    // Sends WM_DELETE_WINDOW, as a window manager's close button does, to
    // every window with exactly this title that takes it, mapped or not.
    // Returns how many windows were asked.
    int closeWindowsTitled(const QString& title) const;
    // The windows the window manager manages (_NET_CLIENT_LIST) with exactly
    // this title.
    std::vector<unsigned long> managedWindowsTitled(const QString& title) const;
    // Sends WM_DELETE_WINDOW to the window.
    void close(unsigned long window) const;

    // Every window with exactly this title, managed or not.
    std::vector<unsigned long> windowsTitled(const QString& title) const;
    // What the window manager and the server say of a top-level window.
    struct WindowView {
        bool managed = false;  // listed in _NET_CLIENT_LIST (taskbar and window lists)
        bool viewable = false; // mapped, with all its ancestors
        long wmState = -1;     // WM_STATE: 0 withdrawn, 1 normal, 3 iconic; -1 none
        QRect frame;           // on the screen, the window manager's frame included
    };
    WindowView view(unsigned long window) const;

    // The keyboard layout in use (XKB group) and Caps Lock, as the user
    // switches them; both take effect before the next request.
    int layoutGroup() const;
    void lockLayoutGroup(int group) const;
    bool capsLocked() const;
    void lockCaps(bool locked) const;

private:
    std::vector<unsigned long> managedWindows() const;
    void visit(unsigned long window, const QByteArray& title, int& asked) const;
    QByteArray titleOf(unsigned long window) const;
    bool takesDelete(unsigned long window) const;

    _XDisplay* m_display;
};

} // namespace nuvok::test
