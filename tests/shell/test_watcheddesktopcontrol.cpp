// The event loop reads the desktop back-end's connection between keys, and
// keeps doing so across the connection being lost and opened again.

#include "shell/watcheddesktopcontrol.h"

#include <QTest>
#include <unistd.h>

namespace {

// A back-end whose "connection" is a pipe: a byte written is an event.
class PipeBackEnd : public nuvok::DesktopControl {
public:
    PipeBackEnd() { reopen(); }
    ~PipeBackEnd() override { shut(); }

    void activateWindow(const std::string&) override {}
    void sendKeys(const std::string&) override {}
    void watchEvents(std::function<void(int)> watch) override {
        m_watch = std::move(watch);
        if (m_watch)
            m_watch(m_pipe[0]);
    }
    void takeEvents() override {
        char byte = 0;
        if (::read(m_pipe[0], &byte, 1) == 1)
            ++taken;
        // As a lost connection is noticed: while the event is being taken.
        if (byte == 'x')
            shut();
    }

    void event(char byte) const { QCOMPARE(::write(m_pipe[1], &byte, 1), 1); }
    void reopen() {
        QCOMPARE(::pipe(m_pipe), 0);
        if (m_watch)
            m_watch(m_pipe[0]);
    }
    void shut() {
        if (m_pipe[0] < 0)
            return;
        if (m_watch)
            m_watch(-1);
        ::close(m_pipe[0]);
        ::close(m_pipe[1]);
        m_pipe[0] = m_pipe[1] = -1;
    }

    int taken = 0;

private:
    int m_pipe[2] = {-1, -1};
    std::function<void(int)> m_watch;
};

} // namespace

class WatchedDesktopControlTest : public QObject {
    Q_OBJECT

private slots:
    void eventsAreTakenInAcrossALostConnection() {
        auto owned = std::make_unique<PipeBackEnd>();
        PipeBackEnd& backEnd = *owned;
        WatchedDesktopControl control(std::move(owned));

        backEnd.event('a');
        QTRY_COMPARE(backEnd.taken, 1);
        backEnd.event('x'); // taken, and the connection is gone with it
        QTRY_COMPARE(backEnd.taken, 2);
        QTest::qWait(20);
        backEnd.reopen();
        backEnd.event('b');
        backEnd.event('c');
        QTRY_COMPARE(backEnd.taken, 4);
    }
};

QTEST_GUILESS_MAIN(WatchedDesktopControlTest)
#include "test_watcheddesktopcontrol.moc"
