#include "app/f_nuvokrc.h"
#include "common/failure.h"
#include "support/eventwait.h"
#include "support/fakedesktopcontrol.h"
#include "support/windowfixture.h"

#include <QLineEdit>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

using nuvok::test::waitUntil;

namespace {

// A controller on loopback that keeps what each connection carried.
class Controller : public QObject {
public:
    Controller() {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                const qsizetype index = received.size();
                received.append(QByteArray());
                connect(socket, &QTcpSocket::readyRead, this,
                        [this, socket, index] { received[index] += socket->readAll(); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    quint16 port() const { return m_server.serverPort(); }
    QList<QByteArray> withData() const {
        QList<QByteArray> data;
        for (const QByteArray& bytes : received) {
            if (!bytes.isEmpty())
                data.append(bytes);
        }
        return data;
    }
    QList<QByteArray> received;

private:
    QTcpServer m_server;
};

struct Window {
    std::shared_ptr<nuvok::test::FakeDesktopControl> desktop =
        std::make_shared<nuvok::test::FakeDesktopControl>();
    std::unique_ptr<F_NUVOKrc> f;

    explicit Window(quint16 controllerPort = 0, bool withDesktop = true) {
        WindowServices services;
        if (withDesktop)
            services.desktop = desktop;
        WindowOptions options = nuvok::test::WindowFixture::shortOptions();
        if (controllerPort != 0)
            options.controllerPort = controllerPort;
        f = std::make_unique<F_NUVOKrc>(std::move(services), std::move(options));
        f->strAudioTitle = QStringLiteral("Winamp");
        f->strVideoTitle = QStringLiteral("VLC");
    }
    QStringList logLines() const {
        QStringList lines = f->logText().split(QStringLiteral("\r\n"));
        lines.removeAll(QString());
        lines.removeFirst(); // the panel's heading
        return lines;
    }
};

} // namespace

class RemoteWindowTest : public QObject {
    Q_OBJECT

private slots:
    void playerKeysReachTheDesktop() {
        Window w;
        for (int code : {238, 17, 16, 53, 4, 48})
            w.f->doRC(code);
        QCOMPARE(w.desktop->calls,
                 (std::vector<std::string>{"activate:VLC", "keys:{left}", "activate:VLC",
                                           "keys: ", "keys:{enter}", "keys: "}));
        QCOMPARE(w.logLines(), (QStringList{"bMenu 1", "mode_Video", "{left}", "[Space] Pause",
                                            "Select->Enter", "[Space]"}));
        QCOMPARE(w.f->T_mode->text(), QStringLiteral("Video mode"));
        w.f->doRC(238);
        w.f->doRC(14);
        QCOMPARE(w.desktop->calls.back(), std::string("activate:Winamp"));
        QCOMPARE(w.f->T_mode->text(), QStringLiteral("Audio mode"));
    }

    void failedActivationKeepsTheMenuFlagAndTheDisplay() {
        Window w;
        w.desktop->openWindows.clear();
        w.f->doRC(238);
        QCOMPARE(w.f->T_mode->text(), QStringLiteral("0"));
        QVERIFY_THROWS_EXCEPTION(nuvok::Failure, w.f->doRC(17));
        QCOMPARE(w.f->T_mode->text(), QStringLiteral("0"));
        QCOMPARE(w.f->RemoteState.mode, 4);
        QVERIFY(w.f->RemoteState.bMenu);
        QCOMPARE(w.logLines(), (QStringList{"bMenu 1", "mode_Video"}));
    }

    void withoutABackEndPlayerKeysFailWithADescription() {
        Window w(0, false);
        QString description;
        try {
            w.f->doRC(48);
        } catch (const nuvok::Failure& failure) {
            description = QString::fromStdString(failure.description());
        }
        QVERIFY2(description.contains(QStringLiteral("keystroke")), qPrintable(description));
    }

    void ledCommandReachesTheController() {
        Controller controller;
        Window w(controller.port());
        for (int code : {238, 16, 49})
            w.f->doRC(code);
        QVERIFY(waitUntil([&] { return controller.withData().size() == 1; }));
        QCOMPARE(controller.withData().first(), QByteArray("setport 1.1 \r\n"));
        QCOMPARE(w.f->T_mode->text(), QStringLiteral("1"));
    }

    // A key code handled during the door pause changes the state the outer
    // key code goes on with.
    void thirdNineDuringTheDoorPause() {
        Controller controller;
        Window w(controller.port());
        w.f->doRC(57);
        bool nestedRan = false;
        QTimer::singleShot(150, w.f.get(), [&] {
            nestedRan = w.f->RemoteState.mode == 0;
            w.f->doRC(57);
        });
        w.f->doRC(57);
        QVERIFY(nestedRan);
        QCOMPARE(w.logLines(), (QStringList{"DoorPreOpen", "Open Door", "DoorPreOpen"}));
        QCOMPARE(w.f->T_mode->text(), QStringLiteral("3"));
        QCOMPARE(w.f->RemoteState.mode, 3);
        QVERIFY(waitUntil([&] { return controller.withData().size() == 2; }));
        QCOMPARE(controller.withData(), (QList<QByteArray>{"setport 1.1\r\n", "setport 1.0\r\n"}));
    }
};

QTEST_MAIN(RemoteWindowTest)
#include "test_remote_window.moc"
