#include "support/oddinput.h"
#include "support/windowfixture.h"

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

void BadInputTest::storedPortOutsideTheRangeGivesTheDefault_data() {
    QTest::addColumn<QByteArray>("stored");
    QTest::newRow("1E40") << QByteArray("1E40");
    QTest::newRow("-1E40") << QByteArray("-1E40");
    QTest::newRow("1E400") << QByteArray("1E400");
    QTest::newRow("1E-40") << QByteArray("1E-40");
    QTest::newRow("nan") << QByteArray("nan");
    QTest::newRow("inf") << QByteArray("inf");
    QTest::newRow("1 MB of digits") << QByteArray::fromStdString(megabyteOfDigits());
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
    QCOMPARE(f->handset()->listenPort, 65530.0f);
    QCOMPARE(f->handset()->socket().LocalPort(), 65530);
}

void BadInputTest::commandLinePortGoesThroughThePortBox_data() {
    QTest::addColumn<QByteArray>("argument");
    QTest::addColumn<float>("port");
    QTest::newRow("1E40") << QByteArray("1E40") << 65535.0f;
    QTest::newRow("1E400") << QByteArray("1E400") << 65535.0f;
    QTest::newRow("1 MB of digits") << QByteArray::fromStdString(megabyteOfDigits()) << 65535.0f;
    QTest::newRow("1 MB of text") << QByteArray::fromStdString(megabyteOfText()) << 0.0f;
    QTest::newRow("nan") << QByteArray("nan") << 0.0f;
    // Below -1 the port is left as it was: not yet set at start-up.
    QTest::newRow("-1E40") << QByteArray("-1E40") << 0.0f;
    QTest::newRow("-1E400") << QByteArray("-1E400") << 0.0f;
}

void BadInputTest::commandLinePortGoesThroughThePortBox() {
    QFETCH(QByteArray, argument);
    QFETCH(float, port);
    WindowFixture f;
    f->Form_Load("-port " + argument.toStdString());
    QCOMPARE(f->handset()->listenPort, port);
    QCOMPARE(f->handset()->socket().LocalPort(), int(port));
    QVERIFY(f.logLines().contains("Port: " + QString::number(port)));
}

void BadInputTest::overlongStoredProtocolListensOnUdp() {
    WindowFixture f;
    f.settings->values["Protocol"] = "TCP" + megabyteOfDigits();
    f->Form_Load("-port 0");
    QCOMPARE(f->handset()->socket().Protocol(), 1);
    QCOMPARE(f->handset()->socket().State(), 1);
}

QTEST_MAIN(BadInputTest)
#include "test_badinput.moc"
