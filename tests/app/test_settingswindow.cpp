#include "app/settings/buttonmapeditor.h"
#include "app/settings/phonespage.h"
#include "app/settings/settingswindow.h"
#include "shell/qtsettingsstore.h"
#include "support/controllerstandin.h"
#include "support/eventwait.h"
#include "support/fakedesktopcontrol.h"
#include "support/freeport.h"
#include "support/lirclines.h"
#include "support/lircstandin.h"
#include "support/memorysettings.h"
#include "support/windowfixture.h"
#include "web/phonebook.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

using nuvok::test::control;
using nuvok::test::ControllerStandIn;
using nuvok::test::WindowFixture;

namespace {

// The settings window as Options → Settings… opens it.
SettingsWindow& openSettings(WindowFixture& f) {
    control<QAction>(*f.window, "m_settings")->trigger();
    auto* window = f.window->findChild<SettingsWindow*>();
    if (!window || !window->isVisible())
        qFatal("the settings window did not open");
    return *window;
}

// Types into a field as the user does: the field's text selected and replaced.
void type(SettingsWindow& window, const char* key, const QString& text) {
    auto* edit = control<QLineEdit>(window, key);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

QPushButton* button(SettingsWindow& window, QDialogButtonBox::StandardButton which) {
    return window.findChild<QDialogButtonBox*>()->button(which);
}

} // namespace

class SettingsWindowTest : public QObject {
    Q_OBJECT

private slots:
    // A value that cannot be used says why under its field, and keeps OK
    // and Apply from storing anything until it is mended.
    void aWrongValueIsSaidAndCannotBeStored_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("said");
        QTest::newRow("port") << "portNum"
                              << "70000"
                              << "This is not a port from 1 to 65535";
        QTest::newRow("host") << "ControllerHost"
                              << "my controller"
                              << "This is not a host name or address";
        QTest::newRow("list") << "Handsets"
                              << "127.0.0.2, the phone"
                              << "This names \"the phone\", which is neither an address nor a "
                                 "network like 192.168.1.30 or 192.168.1.64/28";
        QTest::newRow("switch") << "DoorOverTcpOnly"
                                << "yes"
                                << "This is neither true nor false";
    }
    void aWrongValueIsSaidAndCannotBeStored() {
        QFETCH(QString, key);
        QFETCH(QString, typed);
        QFETCH(QString, said);
        WindowFixture f;
        SettingsWindow& window = openSettings(f);
        type(window, qPrintable(key), typed);
        auto* problem = control<QLabel>(window, qPrintable(key + "Problem"));
        QCOMPARE(problem->text(), said);
        QVERIFY(!button(window, QDialogButtonBox::Ok)->isEnabled());
        QVERIFY(!button(window, QDialogButtonBox::Apply)->isEnabled());
        QTest::keyClick(control<QLineEdit>(window, qPrintable(key)), Qt::Key_Return);
        QCOMPARE(f.settings->writes, 0);
        type(window, qPrintable(key), QString());
        QVERIFY(problem->text().isEmpty());
        QVERIFY(button(window, QDialogButtonBox::Ok)->isEnabled());
        f->close(); // the settings window goes with the program
        QVERIFY(!window.isVisible());
    }

    // Esc leaves the settings file byte for byte as it was; what OK stores
    // comes back as it was typed, a comma in a title included.
    void cancelChangesNoByteAndOkKeepsWhatWasTyped() {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("NUVOKrc.conf"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QByteArray kept("; kept by hand\n[Settings]\nportNum=65530\nVideoTitle=Video\n");
        file.write(kept);
        file.close();
        const auto store = std::make_shared<QtSettingsStore>(
            [path] { return std::make_unique<QSettings>(path, QSettings::IniFormat); });
        WindowFixture f(WindowFixture::shortOptions(), store);
        SettingsWindow& window = openSettings(f);
        QCOMPARE(control<QLineEdit>(window, "VideoTitle")->text(), "Video");
        QCOMPARE(control<QLabel>(window, "GeneralState")->text(),
                 QStringLiteral("The settings are kept in %1").arg(path));
        type(window, "ControllerHost", QStringLiteral("127.0.0.9"));
        QTest::keyClick(control<QLineEdit>(window, "ControllerHost"), Qt::Key_Escape);
        QVERIFY(!window.isVisible());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), kept);
        file.close();
        QCOMPARE(f->session()->controllerHost(), QStringLiteral("127.0.0.1"));

        SettingsWindow& again = openSettings(f);
        QCOMPARE(control<QLineEdit>(again, "ControllerHost")->text(), QString());
        type(again, "AudioTitle", QStringLiteral("Music, loud"));
        QTest::keyClick(control<QLineEdit>(again, "AudioTitle"), Qt::Key_Return);
        QVERIFY(!again.isVisible());
        QCOMPARE(store->read("AudioTitle"), "Music, loud");
        QCOMPARE(store->read("VideoTitle"), "Video");
        SettingsWindow& third = openSettings(f);
        type(third, "VideoTitle", QString());
        QTest::keyClick(&third, Qt::Key_Return);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(!file.readAll().contains("VideoTitle")); // emptied: back to the default
    }

    // A store that cannot be written is said in the window; the change is
    // in effect, and nothing is written half.
    void aStoreThatCannotBeWrittenIsSaid() {
        QTemporaryDir folder;
        QFile blocker(folder.filePath(QStringLiteral("blocker")));
        QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where a folder should be
        blocker.close();
        const QString path = blocker.fileName() + QStringLiteral("/NUVOKrc.conf");
        const auto store = std::make_shared<QtSettingsStore>(
            [path] { return std::make_unique<QSettings>(path, QSettings::IniFormat); });
        WindowFixture f(WindowFixture::shortOptions(), store);
        SettingsWindow& window = openSettings(f);
        type(window, "AudioTitle", QStringLiteral("Music"));
        type(window, "VideoTitle", QStringLiteral("Films"));
        QTest::keyClick(&window, Qt::Key_Return);
        QVERIFY(window.isVisible());
        QVERIFY2(control<QLabel>(window, "status")
                     ->text()
                     .startsWith(QStringLiteral("Could not save the settings in %1").arg(path)),
                 qPrintable(control<QLabel>(window, "status")->text()));
        QCOMPARE(f->session()->strAudioTitle, QStringLiteral("Music"));
        QVERIFY(!QFileInfo::exists(path));
    }

    // The pages say where the handset must send, who can open the door and
    // where the players are, as the settings in effect have it.
    void pagesSayWhereToSendAndWhoOpensTheDoor() {
        WindowFixture f(WindowFixture::shortOptions(), nullptr,
                        std::make_shared<nuvok::test::FakeDesktopControl>());
        f->session()->strVideoTitle = QStringLiteral("VLC");
        f->session()->strAudioTitle = QStringLiteral("Winamp");
        f->handset()->listenPort = 0;
        nuvok::test::runHandler(*f.window, "doListen");
        const QString warning = QStringLiteral("A UDP datagram can open the door");
        SettingsWindow& window = openSettings(f);
        const auto state = [&](const char* page) { return control<QLabel>(window, page)->text(); };
        QVERIFY2(state("HandsetState")
                     .startsWith(QStringLiteral("Set the handset to send by UDP to port %1")
                                     .arg(f->handset()->socket().boundPort())),
                 qPrintable(state("HandsetState")));
        QCOMPARE(state("ControlleranddoorState"), "Any sender on the network can open the door");
        QVERIFY(nuvok::test::waitUntil(
            [&] { return state("PlayersState").contains("\"Winamp\": found by its window"); }));
        QVERIFY(state("PlayersState").contains("\"VLC\": found by its window"));
        type(window, "VideoTitle", QStringLiteral("Films"));
        QTest::mouseClick(button(window, QDialogButtonBox::Apply), Qt::LeftButton);
        QVERIFY(nuvok::test::waitUntil(
            [&] { return state("PlayersState").contains("\"Films\": not found: "); }));
        QCOMPARE(f->logText().count(warning), 1);

        type(window, "DoorOverTcpOnly", QStringLiteral("true"));
        QTest::keyClick(control<QLineEdit>(window, "DoorOverTcpOnly"), Qt::Key_Return);
        openSettings(f);
        QCOMPARE(state("ControlleranddoorState"),
                 "No handset can open the door: DoorOverTcpOnly is on, and the listener takes UDP");
        const quint16 port = quint16(nuvok::test::freePort());
        type(window, "Protocol", QStringLiteral("TCP"));
        type(window, "portNum", QString::number(port));
        QTest::keyClick(control<QLineEdit>(window, "portNum"), Qt::Key_Return);
        openSettings(f);
        QVERIFY(
            state("HandsetState")
                .startsWith(QStringLiteral("Set the handset to send by TCP to port %1").arg(port)));
        QCOMPARE(state("ControlleranddoorState"), "Only handsets over TCP can open the door");
        QCOMPARE(f->logText().count(warning), 1); // said once, never again
    }

    // OK puts each change into effect, then stores exactly what was typed;
    // a port that cannot be had is said, not stored, and the listener stays.
    void okPutsChangesIntoEffectAndStoresThem() {
        WindowFixture f;
        f->handset()->listenPort = 0;
        nuvok::test::runHandler(*f.window, "doListen");
        QUdpSocket occupier;
        QVERIFY(occupier.bind(QHostAddress::AnyIPv4, 0));
        const quint16 port = occupier.localPort();
        SettingsWindow& window = openSettings(f);
        type(window, "ControllerHost", QStringLiteral("127.0.0.9"));
        type(window, "AudioTitle", QStringLiteral("Music, loud"));
        type(window, "portNum", QString::number(port));
        QTest::keyClick(control<QLineEdit>(window, "portNum"), Qt::Key_Return);
        QVERIFY(window.isVisible()); // the port is in use
        QVERIFY(!control<QLabel>(window, "portNumProblem")->text().isEmpty());
        QCOMPARE(f.settings->values.count("portNum"), 0u);
        QCOMPARE(f.settings->values["ControllerHost"], "127.0.0.9");
        QCOMPARE(f.settings->values["AudioTitle"], "Music, loud");
        QCOMPARE(f->session()->controllerHost(), QStringLiteral("127.0.0.9"));
        QCOMPARE(f->session()->strAudioTitle, QStringLiteral("Music, loud"));
        QCOMPARE(f->handset()->socket().State(), 1); // still listening where it was

        occupier.close();
        type(window, "portNum", QString::number(port));
        QTest::keyClick(control<QLineEdit>(window, "portNum"), Qt::Key_Return);
        QVERIFY(!window.isVisible());
        QCOMPARE(f.settings->values["portNum"], QString::number(port).toStdString());
        QCOMPARE(f->handset()->socket().boundPort(), int(port));
    }

    // Test connects to the address as typed and sends nothing; a refused
    // sender is let in with one click; the start entry is stored by OK only.
    void testLetInAndStartEntry() {
        WindowFixture f;
        f->handset()->listenPort = 0;
        nuvok::test::runHandler(*f.window, "doListen");
        ControllerStandIn controller;
        SettingsWindow& window = openSettings(f);
        auto* answer = control<QLabel>(window, "controllerTestAnswer");
        type(window, "ControllerPort", QString::number(controller.port()));
        QTest::mouseClick(control<QPushButton>(window, "controllerTest"), Qt::LeftButton);
        const QString reached =
            QStringLiteral("Reached the controller at 127.0.0.1:%1").arg(controller.port());
        QVERIFY(nuvok::test::waitUntil([&] { return answer->text() == reached; }));
        QVERIFY(nuvok::test::waitUntil([&] { return controller.connections().size() == 1; }));
        controller.refuse();
        QTest::mouseClick(control<QPushButton>(window, "controllerTest"), Qt::LeftButton);
        QVERIFY(nuvok::test::waitUntil(
            [&] { return answer->text() == QLatin1String("Not reached: connection refused"); }));
        QVERIFY(controller.commands().isEmpty());
        QCOMPARE(f.settings->writes, 0);

        type(window, "Handsets", QStringLiteral("127.0.0.2"));
        QTest::keyClick(&window, Qt::Key_Return);
        QUdpSocket handset;
        QVERIFY(handset.bind(QHostAddress(QStringLiteral("127.0.0.5")), 0));
        handset.writeDatagram("\x01\x11", QHostAddress::LocalHost,
                              quint16(f->handset()->socket().boundPort()));
        QVERIFY(nuvok::test::waitUntil([&] { return !f->handset()->lastHeard().isNull(); }));
        openSettings(f);
        auto* letIn = control<QPushButton>(window, "letInLastSender");
        QCOMPARE(letIn->text(), "&Let in the last sender, 127.0.0.5");
        QTest::mouseClick(letIn, Qt::LeftButton);
        QCOMPARE(control<QLineEdit>(window, "Handsets")->text(), "127.0.0.2, 127.0.0.5");
        QVERIFY(!letIn->isEnabled());

        auto* start = control<QCheckBox>(window, "startWithSession");
        start->click();
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(!f.sessionStart->stored);
        openSettings(f);
        QVERIFY(!start->isChecked());
        f.sessionStart->refusal = "the folder is read-only";
        start->click();
        QTest::keyClick(&window, Qt::Key_Return);
        QVERIFY(window.isVisible());
        QCOMPARE(control<QLabel>(window, "status")->text(),
                 "Start on Power up is still off: the folder is read-only");
        QVERIFY(!start->isChecked()); // what is stored
        f.sessionStart->refusal.clear();
        start->click();
        QTest::keyClick(&window, Qt::Key_Return);
        QVERIFY(f.sessionStart->stored && control<QAction>(*f.window, "m_add2reg")->isChecked());
    }

    // Learn takes a row's button from the next press, which does nothing
    // else; Esc and the time-out leave the map as it was; a button mapped
    // twice cannot be stored.
    void learnFillsARowFromTheNextPress() {
        WindowFixture f;
        nuvok::test::LircStandIn lirc;
        SettingsWindow& window = openSettings(f);
        type(window, "LircHost", QStringLiteral("127.0.0.1"));
        type(window, "LircPort", QString::number(lirc.port()));
        QTest::mouseClick(button(window, QDialogButtonBox::Apply), Qt::LeftButton);
        QVERIFY(lirc.waitForClients(1));
        auto* map = control<QTableWidget>(window, "buttonMap");
        auto* learn = control<QPushButton>(window, "learnButton");
        auto* said = control<QLabel>(window, "learnSaid");
        const int rows = map->rowCount();
        map->clearSelection();
        map->setCurrentCell(-1, -1);
        QTest::mouseClick(learn, Qt::LeftButton);
        QCOMPARE(said->text(), "Press the button on your remote now");
        QTest::keyClick(map, Qt::Key_Escape);
        QVERIFY(window.isVisible());
        QCOMPARE(map->rowCount(), rows);
        window.buttonMap()->setLearnTimeoutMs(50);
        QTest::mouseClick(learn, Qt::LeftButton);
        QVERIFY(nuvok::test::waitUntil([&] { return said->text().startsWith("No button"); }));
        QCOMPARE(map->rowCount(), rows);

        window.buttonMap()->setLearnTimeoutMs(10000);
        QTest::mouseClick(learn, Qt::LeftButton);
        lirc.send(nuvok::test::lircEventLine(QStringLiteral("KEY_9"), QStringLiteral("tv")) +
                  nuvok::test::lircEventLine(QStringLiteral("KEY_9"), QStringLiteral("tv"), 1));
        QVERIFY(nuvok::test::waitUntil(
            [&] { return map->rowCount() == rows + 1 && !window.buttonMap()->learning(); }));
        QCOMPARE(said->text(), "Learned KEY_9 of remote tv");
        QCOMPARE(map->item(rows, 0)->text(), "KEY_9");
        QVERIFY(!button(window, QDialogButtonBox::Ok)->isEnabled()); // KEY_9 twice
        QCOMPARE(control<QLabel>(window, "status")->text(), "KEY_9 is mapped twice");
        map->item(rows, 0)->setText(QStringLiteral("KEY_RED"));
        QTest::keyClicks(qobject_cast<QComboBox*>(map->cellWidget(rows, 1)), "Down");
        QTest::keyClick(&window, Qt::Key_Return);
        QVERIFY(!window.isVisible());
        QCOMPARE(f.settings->sections["LircButtons"],
                 (std::map<std::string, std::string>{{"KEY_RED", "15"}}));
        QVERIFY(!f->logText().contains("IR: KEY_9")); // the learned press did nothing
        // The new map starts the infrared input again.
        QVERIFY(nuvok::test::waitUntil([&] { return lirc.accepted() == 2; }));
        lirc.send(nuvok::test::lircEventLine(QStringLiteral("KEY_RED"), QStringLiteral("tv")));
        QVERIFY(nuvok::test::waitUntil([&] { return f->logText().contains("IR: KEY_RED (tv)"); }));
    }

    // The web remote turned on by Apply serves at once; Pair a phone shows
    // the code and the link, and says what to do while the remote is off.
    void thePhonePageTurnsTheRemoteOnAndPairs() {
        WindowFixture f;
        SettingsWindow& window = openSettings(f);
        auto* pair = control<QPushButton>(window, "pairPhone");
        auto* links = control<QLabel>(window, "pairingLinks");
        QTest::mouseClick(pair, Qt::LeftButton);
        QVERIFY(links->text().startsWith(QLatin1String("The web remote is off")));
        const int port = nuvok::test::freePort();
        type(window, "WebRemote", QStringLiteral("true"));
        type(window, "WebRemotePort", QString::number(port));
        QTest::mouseClick(button(window, QDialogButtonBox::Apply), Qt::LeftButton);
        QCOMPARE(f.settings->values["WebRemote"], "true");
        QVERIFY(
            control<QLabel>(window, "PhoneState")
                ->text()
                .startsWith(
                    QStringLiteral("The web remote: serving the phone page on port %1").arg(port)));
        QTest::mouseClick(pair, Qt::LeftButton);
        QVERIFY(links->text().contains(QStringLiteral(":%1/#pair=").arg(port)));
        QVERIFY(!control<QLabel>(window, "pairingCode")->pixmap().isNull());
    }

    // The phones paired: renamed by typing, given the door by their tick,
    // forgotten by Forget, each at once.
    void thePhonesAreRenamedTickedAndForgotten() {
        nuvok::test::MemorySettings store;
        PhoneBook book(&store);
        const auto paired = book.pair(book.newSecret(), QStringLiteral("Phone one"));
        QVERIFY(paired);
        PhonesPage page(book, [] { return QStringList(); });
        page.show();
        page.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&page));
        auto* phones = control<QTableWidget>(page, "phones");
        QCOMPARE(phones->rowCount(), 1);
        QCOMPARE(phones->item(0, 0)->text(), QStringLiteral("Phone one"));
        phones->setCurrentCell(0, 0);
        phones->editItem(phones->item(0, 0));
        auto* editor = phones->viewport()->findChild<QLineEdit*>();
        QVERIFY(editor);
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(editor, QStringLiteral("Kitchen"));
        QTest::keyClick(editor, Qt::Key_Return);
        QVERIFY(nuvok::test::waitUntil(
            [&] { return store.sections["WebDevices"]["1.Name"] == "Kitchen"; }));
        phones->item(0, 3)->setCheckState(Qt::Checked);
        QVERIFY(book.device(paired->device)->mayControl);
        QCOMPARE(store.sections["WebDevices"]["1.MayControl"], "true");
        phones->selectRow(0);
        QTest::mouseClick(control<QPushButton>(page, "forgetPhone"), Qt::LeftButton);
        QVERIFY(book.devices().isEmpty());
        QCOMPARE(phones->rowCount(), 0);
        QVERIFY(store.sections["WebDevices"].empty());
    }
};

QTEST_MAIN(SettingsWindowTest)
#include "test_settingswindow.moc"
