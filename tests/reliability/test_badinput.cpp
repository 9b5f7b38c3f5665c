#include "support/windowfixture.h"

#include <QComboBox>
#include <QTest>

using namespace nuvok::test;

// Stored settings and command lines no user would give: huge, non-numeric and
// overlong values start the program on a port the rules give, and nothing
// crashes.
class BadInputTest : public QObject {
    Q_OBJECT

private slots:
    void storedPortOutsideTheRangeGivesTheDefault_data();
    void storedPortOutsideTheRangeGivesTheDefault();
    void commandLinePortGoesThroughThePortBox_data();
    void commandLinePortGoesThroughThePortBox();
    void overlongStoredProtocolListensOnUdp();
};

namespace {

const std::string kMegabyte(1 << 20, '9');

std::string megabyteOfText() {
    std::string text;
    text.reserve(1 << 20);
    for (int i = 0; text.size() < (1u << 20); ++i)
        text += "x\x01\xFF\t1E" + std::to_string(i);
    return text;
}

} // namespace

void BadInputTest::storedPortOutsideTheRangeGivesTheDefault_data() {
    QTest::addColumn<QByteArray>("stored");
    QTest::newRow("1E40") << QByteArray("1E40");
    QTest::newRow("-1E40") << QByteArray("-1E40");
    QTest::newRow("1E400") << QByteArray("1E400");
    QTest::newRow("1E-40") << QByteArray("1E-40");
    QTest::newRow("nan") << QByteArray("nan");
    QTest::newRow("inf") << QByteArray("inf");
    QTest::newRow("1 MB of digits") << QByteArray::fromStdString(kMegabyte);
    QTest::newRow("1 MB of text") << QByteArray::fromStdString(megabyteOfText());
    QTest::newRow("NUL inside") << QByteArray("\0"
                                              "80",
                                              3);
}

void BadInputTest::storedPortOutsideTheRangeGivesTheDefault() {
    QFETCH(QByteArray, stored);
    WindowFixture f;
    f.settings->values["portNum"] = stored.toStdString();
    f->Form_Load("");
    QCOMPARE(f->session()->listenPort, 65530.0f);
    QCOMPARE(f->session()->receiver()->socket().LocalPort(), 65530);
}

void BadInputTest::commandLinePortGoesThroughThePortBox_data() {
    QTest::addColumn<QByteArray>("argument");
    QTest::addColumn<QString>("box");
    QTest::addColumn<float>("port");
    QTest::newRow("1E40") << QByteArray("1E40") << "65535" << 65535.0f;
    QTest::newRow("1E400") << QByteArray("1E400") << "65535" << 65535.0f;
    QTest::newRow("1 MB of digits") << QByteArray::fromStdString(kMegabyte) << "65535" << 65535.0f;
    QTest::newRow("1 MB of text") << QByteArray::fromStdString(megabyteOfText()) << "0" << 0.0f;
    QTest::newRow("nan") << QByteArray("nan") << "0" << 0.0f;
    // Below -1 the port is left as it was: not yet set at start-up.
    QTest::newRow("-1E40") << QByteArray("-1E40") << "-1" + QString(40, u'0') << 0.0f;
    QTest::newRow("-1E400") << QByteArray("-1E400") << "-1" + QString(308, u'0') << 0.0f;
}

void BadInputTest::commandLinePortGoesThroughThePortBox() {
    QFETCH(QByteArray, argument);
    QFETCH(QString, box);
    QFETCH(float, port);
    WindowFixture f;
    f->Form_Load("-port " + argument.toStdString());
    QCOMPARE(nuvok::test::control<QComboBox>(*f.window, "C_PortNum")->currentText(), box);
    QCOMPARE(f->session()->listenPort, port);
    QCOMPARE(f->session()->receiver()->socket().LocalPort(), int(port));
    QVERIFY(f.logLines().contains("Port: " + QString::number(port)));
}

void BadInputTest::overlongStoredProtocolListensOnUdp() {
    WindowFixture f;
    f.settings->values["Protocol"] = "TCP" + kMegabyte;
    f->Form_Load("-port 0");
    QCOMPARE(f->session()->receiver()->socket().Protocol(), 1);
    QCOMPARE(f->session()->receiver()->socket().State(), 1);
}

QTEST_MAIN(BadInputTest)
#include "test_badinput.moc"
