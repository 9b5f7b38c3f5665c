#include "support/eventwait.h"
#include "support/oddinput.h"
#include "support/windowfixture.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QUdpSocket>

using namespace nuvok::test;

// Changing the port and the protocol from the window.
class PortSettingsTest : public QObject {
    Q_OBJECT

private slots:
    void portPromptAnswers_data();
    void portPromptAnswers();
    void portPromptOffersTheCurrentPort();
    void typedPortsApplyAtOnce_data();
    void typedPortsApplyAtOnce();
    void decimalSeparatorOfTheUserDecidesFractions_data();
    void decimalSeparatorOfTheUserDecidesFractions();
    void startUpShowsTheCommandLinePortOnly_data();
    void startUpShowsTheCommandLinePortOnly();
    void prefixOfAnEntryStaysAsTyped_data();
    void prefixOfAnEntryStaysAsTyped();
    void enterAppendsANewPortOnce();
    void enterWithAnEmptyBoxAppliesPortZero();
    void pickingFromTheListDoesNotApply();
    void protocolPromptAnswers_data();
    void protocolPromptAnswers();
    void reopenFailureIsLoggedOnce();
};

void PortSettingsTest::portPromptAnswers_data() {
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<float>("port");
    const float free = float(freePort());
    QTest::newRow("free port") << QString::number(free) << true << free;
    QTest::newRow("blank, digits, letter") << " " + QString::number(free) + "x" << true << free;
    QTest::newRow("letters are port 0") << "abc" << true << 0.0f;
    QTest::newRow("zero") << "0" << true << 0.0f;
    QTest::newRow("65535") << "65535" << true << 65535.0f;
    QTest::newRow("-1") << "-1" << false << 0.0f;
    QTest::newRow("65536") << "65536" << false << 0.0f;
    QTest::newRow("cancel") << QString() << false << 0.0f;
}

void PortSettingsTest::portPromptAnswers() {
    QFETCH(QString, answer);
    QFETCH(bool, accepted);
    QFETCH(float, port);
    WindowFixture f;
    f->handset()->listenPort = 0;
    runHandler(*f.window, "doListen");
    const float before = 1234.0f;
    f->handset()->listenPort = before;
    f.dialogs->answers << answer;
    runHandler(*f.window, "m_port_Click");
    QCOMPARE(f.dialogs->prompts.size(), 1);
    QCOMPARE(f.dialogs->prompts[0].text, QStringLiteral("Portnummer eingeben"));
    QCOMPARE(f.dialogs->prompts[0].title, QStringLiteral("Portnummer"));
    if (accepted) {
        QCOMPARE(nuvok::test::control<QComboBox>(*f.window, "C_PortNum")->currentText(), answer);
        QCOMPARE(f->handset()->listenPort, port);
        QCOMPARE(f->handset()->socket().LocalPort(), int(port));
    } else {
        QCOMPARE(nuvok::test::control<QComboBox>(*f.window, "C_PortNum")->currentText(),
                 QStringLiteral("80"));
        QCOMPARE(f->handset()->listenPort, before);
        QCOMPARE(f->handset()->socket().LocalPort(), 0); // the listener was not touched
    }
}

void PortSettingsTest::portPromptOffersTheCurrentPort() {
    WindowFixture f;
    const quint16 free = freePort();
    f->handset()->listenPort = free;
    f.dialogs->answers << " " + QString::number(free); // the default, confirmed
    runHandler(*f.window, "m_port_Click");
    QCOMPARE(f.dialogs->prompts[0].defaultAnswer, " " + QString::number(free));
    QCOMPARE(nuvok::test::control<QComboBox>(*f.window, "C_PortNum")->currentText(),
             " " + QString::number(free));
    QCOMPARE(f->handset()->listenPort, float(free));
    QCOMPARE(f->handset()->socket().State(), 1);
    QCOMPARE(f->handset()->socket().boundPort(), int(free));
}

void PortSettingsTest::typedPortsApplyAtOnce_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("box");
    QTest::addColumn<float>("port");
    QTest::newRow("70000") << "70000"
                           << "65535" << 65535.0f;
    QTest::newRow("-5 keeps the port after '-' applied 0") << "-5"
                                                           << "-5" << 0.0f;
    QTest::newRow("1E3") << "1E3"
                         << "1E3" << 1000.0f;
}

void PortSettingsTest::typedPortsApplyAtOnce() {
    QFETCH(QString, typed);
    QFETCH(QString, box);
    QFETCH(float, port);
    WindowFixture f;
    f->handset()->listenPort = 4321;
    nuvok::test::control<QComboBox>(*f.window, "C_PortNum")->lineEdit()->clear();
    QTest::keyClicks(nuvok::test::control<QComboBox>(*f.window, "C_PortNum")->lineEdit(), typed);
    QCOMPARE(nuvok::test::control<QComboBox>(*f.window, "C_PortNum")->currentText(), box);
    QCOMPARE(f->handset()->listenPort, port);
}

void PortSettingsTest::decimalSeparatorOfTheUserDecidesFractions_data() {
    QTest::addColumn<char>("separator");
    QTest::addColumn<float>("port");
    QTest::addColumn<int>("opened");
    QTest::newRow("decimal point") << '.' << 80.5f << 80; // halves go to the even port
    QTest::newRow("decimal comma") << ',' << 80.0f << 80;
}

void PortSettingsTest::decimalSeparatorOfTheUserDecidesFractions() {
    QFETCH(char, separator);
    QFETCH(float, port);
    QFETCH(int, opened);
    WindowOptions options = WindowFixture::shortOptions();
    options.decimalSeparator = separator;
    WindowFixture f(options);
    f.dialogs->answers << "80.5";
    runHandler(*f.window, "m_port_Click");
    QCOMPARE(f->handset()->listenPort, port);
    QCOMPARE(f->handset()->socket().LocalPort(), opened);
}

void PortSettingsTest::prefixOfAnEntryStaysAsTyped_data() {
    QTest::addColumn<bool>("portBox"); // else the destination box
    QTest::addColumn<QString>("typed");
    for (const char* port : {"7", "5", "2", "1", "800"})
        QTest::newRow(port) << true << QString::fromLatin1(port);
    QTest::newRow("destination 1") << false << "1";
    QTest::newRow("destination l") << false << "l";
}

void PortSettingsTest::prefixOfAnEntryStaysAsTyped() {
    QFETCH(bool, portBox);
    QFETCH(QString, typed);
    WindowFixture f;
    QComboBox* box = portBox ? nuvok::test::control<QComboBox>(*f.window, "C_PortNum")
                             : nuvok::test::control<QComboBox>(*f.window, "Combo_IP");
    // Completion works on the box the user types into.
    f->show();
    QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
    box->setFocus();
    box->lineEdit()->clear();
    QTest::keyClicks(box->lineEdit(), typed);
    QTest::keyClick(box->lineEdit(), Qt::Key_Return);
    QCOMPARE(box->currentText(), typed);
    if (portBox)
        QCOMPARE(f->handset()->socket().LocalPort(), typed.toInt());
}

void PortSettingsTest::startUpShowsTheCommandLinePortOnly_data() {
    QTest::addColumn<char>("separator");
    QTest::addColumn<QByteArray>("stored");      // portNum; none when null
    QTest::addColumn<QByteArray>("commandLine"); // none when null
    QTest::addColumn<QString>("box");
    QTest::addColumn<float>("port");
    const QByteArray free = QByteArray::number(freePort());
    const QByteArray digits = QByteArray::fromStdString(megabyteOfDigits());
    const QByteArray text = QByteArray::fromStdString(megabyteOfText());
    QTest::newRow("-PORT") << '.' << QByteArray("1") << "-PORT " + free << QString(free)
                           << free.toFloat();
    QTest::newRow("-port alone") << '.' << QByteArray("1") << QByteArray("-port") << "0" << 0.0f;
    QTest::newRow("-port x") << '.' << QByteArray("1") << "-port x" + free << "0" << 0.0f;
    // A stored port is not shown.
    QTest::newRow("stored") << '.' << QByteArray("8080.5") << QByteArray() << "80" << 8080.5f;
    QTest::newRow("stored 65536") << '.' << QByteArray("65536") << QByteArray() << "80" << 65530.0f;
    // Huge ports are clamped, in either decimal format.
    QTest::newRow("22E8, comma") << ',' << QByteArray() << QByteArray("-port 22E8") << "65535"
                                 << 65535.0f;
    QTest::newRow("25000000, comma")
        << ',' << QByteArray() << QByteArray("-port 25000000") << "65535" << 65535.0f;
    QTest::newRow("1E40") << '.' << QByteArray() << QByteArray("-port 1E40") << "65535" << 65535.0f;
    QTest::newRow("1E400") << '.' << QByteArray() << QByteArray("-port 1E400") << "65535"
                           << 65535.0f;
    QTest::newRow("1 MB of digits")
        << '.' << QByteArray() << "-port " + digits << "65535" << 65535.0f;
    // Text that is no number shows as 0, not as it was given.
    QTest::newRow("1 MB of text") << '.' << QByteArray() << "-port " + text << "0" << 0.0f;
    QTest::newRow("nan") << '.' << QByteArray() << QByteArray("-port nan") << "0" << 0.0f;
    // Below -1 the box shows the number and the port is left as it was.
    QTest::newRow("-1E40") << '.' << QByteArray() << QByteArray("-port -1E40")
                           << "-1" + QString(40, u'0') << 0.0f;
    QTest::newRow("-1E400") << '.' << QByteArray() << QByteArray("-port -1E400")
                            << "-1" + QString(308, u'0') << 0.0f;
}

void PortSettingsTest::startUpShowsTheCommandLinePortOnly() {
    QFETCH(char, separator);
    QFETCH(QByteArray, stored);
    QFETCH(QByteArray, commandLine);
    QFETCH(QString, box);
    QFETCH(float, port);
    WindowOptions options = WindowFixture::shortOptions();
    options.decimalSeparator = separator;
    WindowFixture f(options);
    if (!stored.isNull())
        f.settings->values["portNum"] = stored.toStdString();
    f->Form_Load(commandLine.toStdString());
    QCOMPARE(nuvok::test::control<QComboBox>(*f.window, "C_PortNum")->currentText(), box);
    QCOMPARE(f->handset()->listenPort, port);
}

void PortSettingsTest::enterAppendsANewPortOnce() {
    WindowFixture f;
    const QString port = QString::number(freePort());
    const int entries = nuvok::test::control<QComboBox>(*f.window, "C_PortNum")->count();
    nuvok::test::control<QComboBox>(*f.window, "C_PortNum")->lineEdit()->setText(port);
    QTest::keyClick(nuvok::test::control<QComboBox>(*f.window, "C_PortNum")->lineEdit(),
                    Qt::Key_Return);
    QCOMPARE(nuvok::test::control<QComboBox>(*f.window, "C_PortNum")->count(), entries + 1);
    QCOMPARE(nuvok::test::control<QComboBox>(*f.window, "C_PortNum")->itemText(entries), port);
    QCOMPARE(f->handset()->listenPort, port.toFloat());
    QCOMPARE(f->handset()->socket().boundPort(), port.toInt());
    QTest::keyClick(nuvok::test::control<QComboBox>(*f.window, "C_PortNum")->lineEdit(),
                    Qt::Key_Return);
    QCOMPARE(nuvok::test::control<QComboBox>(*f.window, "C_PortNum")->count(), entries + 1);
}

void PortSettingsTest::enterWithAnEmptyBoxAppliesPortZero() {
    WindowFixture f;
    f->handset()->listenPort = 4321;
    const int entries = nuvok::test::control<QComboBox>(*f.window, "C_PortNum")->count();
    nuvok::test::control<QComboBox>(*f.window, "C_PortNum")->lineEdit()->setText(QString());
    QTest::keyClick(nuvok::test::control<QComboBox>(*f.window, "C_PortNum")->lineEdit(),
                    Qt::Key_Return);
    QCOMPARE(nuvok::test::control<QComboBox>(*f.window, "C_PortNum")->count(), entries);
    QCOMPARE(f->handset()->listenPort, 0.0f);
}

void PortSettingsTest::pickingFromTheListDoesNotApply() {
    WindowFixture f;
    f->handset()->listenPort = 4321;
    nuvok::test::control<QComboBox>(*f.window, "C_PortNum")->setCurrentIndex(12);
    QCOMPARE(nuvok::test::control<QComboBox>(*f.window, "C_PortNum")->currentText(),
             QStringLiteral("8080"));
    QCOMPARE(f->handset()->listenPort, 4321.0f);
    QCOMPARE(f->handset()->socket().State(), 0);
}

void PortSettingsTest::protocolPromptAnswers_data() {
    QTest::addColumn<QString>("storedBefore");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("storedAfter");
    QTest::addColumn<int>("state");
    QTest::newRow("tcp in lower case") << "UDP"
                                       << "tcp"
                                       << "TCP" << 2;
    QTest::newRow("Udp") << "TCP"
                         << "Udp"
                         << "UDP" << 1;
    QTest::newRow("udp and a blank") << "TCP"
                                     << "udp "
                                     << "TCP" << 2;
    QTest::newRow("other word") << "UDP"
                                << "http"
                                << "UDP" << 1;
    QTest::newRow("cancel") << "TCP"
                            << ""
                            << "TCP" << 2;
}

void PortSettingsTest::protocolPromptAnswers() {
    QFETCH(QString, storedBefore);
    QFETCH(QString, answer);
    QFETCH(QString, storedAfter);
    QFETCH(int, state);
    WindowFixture f;
    f.settings->values["Protocol"] = storedBefore.toStdString();
    f->handset()->listenPort = 0;
    f.dialogs->answers << answer;
    runHandler(*f.window, "m_protocol_Click");
    QCOMPARE(f.dialogs->prompts[0].text, QStringLiteral("UDP or TCP ?"));
    QCOMPARE(f.dialogs->prompts[0].title, QStringLiteral("Protocol"));
    QCOMPARE(f.dialogs->prompts[0].defaultAnswer, storedBefore);
    QCOMPARE(QString::fromStdString(f.settings->read("Protocol")), storedAfter);
    QCOMPARE(f->handset()->socket().State(), state);
}

void PortSettingsTest::reopenFailureIsLoggedOnce() {
    QUdpSocket occupier;
    QVERIFY(occupier.bind(QHostAddress::AnyIPv4, 0));
    WindowFixture f;
    const int lines = f.logLines().size();
    f.dialogs->answers << QString::number(occupier.localPort());
    runHandler(*f.window, "m_port_Click");
    QCOMPARE(f.logLines().size(), lines + 1);
    QVERIFY(f.logLines().last().contains(QString::number(occupier.localPort())));
    QCOMPARE(f->handset()->listenPort, float(occupier.localPort()));
}

QTEST_MAIN(PortSettingsTest)
#include "test_portsettings.moc"
