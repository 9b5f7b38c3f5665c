#include "app/f_nuvokrc.h"
#include "app/traystuff.h"
#include "shell/systemtrayarea.h"
#include "support/eventwait.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTest>

using nuvok::test::waitUntil;

// The icon in a real notification area (icewm's task bar on a private X
// server): the window manager's minimise hides the window into the icon, and
// a real mouse click on the icon brings it back.
class TrayX11Test : public QObject {
    Q_OBJECT

private slots:
    void minimiseHidesAndAClickOnTheIconRestores();

private:
    static void screenshot(const QString& name) {
        const QString folder = qEnvironmentVariable("NUVOKRC_ARTIFACTS", QStringLiteral("."));
        QGuiApplication::primaryScreen()->grabWindow(0).save(folder + QLatin1Char('/') + name);
    }
    static bool xdotool(const QStringList& arguments) {
        return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
    }
};

void TrayX11Test::minimiseHidesAndAClickOnTheIconRestores() {
    auto area = std::make_shared<SystemTrayArea>();
    WindowServices services;
    services.trayArea = area;
    F_NUVOKrc window(services);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY2(waitUntil([&] { return area->available(); }, 20000), "no notification area");
    window.tray().addTrayIcon();
    QVERIFY(window.tray().hidesToTray());
    QVERIFY2(waitUntil([&] { return area->geometry().width() > 0; }, 10000), "icon not docked");

    QVERIFY(xdotool({QStringLiteral("windowminimize"), QString::number(window.winId())}));
    QVERIFY2(waitUntil([&] { return !window.isVisible(); }), "minimise did not hide the window");
    QVERIFY(!(window.tray().windowState() & Qt::WindowMinimized));
    QTest::qWait(300); // let the task bar settle for the picture
    screenshot(QStringLiteral("desktop-hidden.png"));

    const QPoint centre = area->geometry().center();
    QVERIFY(xdotool({QStringLiteral("mousemove"), QString::number(centre.x()),
                     QString::number(centre.y()), QStringLiteral("click"), QStringLiteral("1")}));
    QVERIFY2(waitUntil([&] { return window.isVisible(); }), "the click did not show the window");
    QVERIFY(!(window.windowState() & Qt::WindowMinimized));
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(300);
    screenshot(QStringLiteral("desktop-restored.png"));
    window.tray().removeTrayIcon();
}

QTEST_MAIN(TrayX11Test)
#include "test_tray_x11.moc"
