#include "net/handsetlist.h"

#include <QTest>

// Reading the Handsets setting and matching senders against it.
class HandsetListTest : public QObject {
    Q_OBJECT

private slots:
    void entriesAreReadOrNamed_data();
    void entriesAreReadOrNamed();
    void sendersAreMatched_data();
    void sendersAreMatched();
};

void HandsetListTest::entriesAreReadOrNamed_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("restricted");
    QTest::addColumn<int>("understood");
    QTest::addColumn<QStringList>("malformed");
    QTest::addColumn<QStringList>("ambiguous");
    QTest::newRow("missing") << QString() << false << 0 << QStringList() << QStringList();
    QTest::newRow("blanks") << " \t " << false << 0 << QStringList() << QStringList();
    QTest::newRow("example") << "127.0.1.30, 127.0.1.64/28" << true << 2 << QStringList()
                             << QStringList();
    QTest::newRow("IPv6") << "::1,::/127 , ::ffff:127.0.0.5" << true << 3 << QStringList()
                          << QStringList();
    QTest::newRow("stray commas") << ",127.0.0.2,," << true << 1 << QStringList() << QStringList();
    QTest::newRow("name") << "127.0.0.2, handset.lan" << true << 1 << QStringList{"handset.lan"}
                          << QStringList();
    QTest::newRow("short IPv4") << "127.1" << true << 0 << QStringList{"127.1"} << QStringList();
    QTest::newRow("octet too big")
        << "127.0.0.256" << true << 0 << QStringList{"127.0.0.256"} << QStringList();
    QTest::newRow("prefix too long") << "127.0.0.0/33, ::/129" << true << 0
                                     << QStringList{"127.0.0.0/33", "::/129"} << QStringList();
    QTest::newRow("empty prefix") << "127.0.0.0/" << true << 0 << QStringList{"127.0.0.0/"}
                                  << QStringList();
    QTest::newRow("negative prefix")
        << "127.0.0.0/-1" << true << 0 << QStringList{"127.0.0.0/-1"} << QStringList();
    QTest::newRow("semicolons") << "127.0.0.2; 127.0.0.3" << true << 0
                                << QStringList{"127.0.0.2; 127.0.0.3"} << QStringList();
    QTest::newRow("zone id") << "fe80::1%eth0" << true << 0 << QStringList{"fe80::1%eth0"}
                             << QStringList();
    QTest::newRow("zero-padded") << "127.000.000.010, 127.0.0.2, ::ffff:127.0.0.01/128" << true << 1
                                 << QStringList()
                                 << QStringList{"127.000.000.010", "::ffff:127.0.0.01/128"};
    QTest::newRow("only commas") << " , " << true << 0 << QStringList() << QStringList();
}

void HandsetListTest::entriesAreReadOrNamed() {
    QFETCH(QString, text);
    QFETCH(bool, restricted);
    QFETCH(int, understood);
    QFETCH(QStringList, malformed);
    QFETCH(QStringList, ambiguous);
    QStringList named;
    QStringList padded;
    const HandsetList list = HandsetList::parse(text, &named, &padded);
    QCOMPARE(list.restricted(), restricted);
    QCOMPARE(list.size(), understood);
    QCOMPARE(named, malformed);
    QCOMPARE(padded, ambiguous);
}

void HandsetListTest::sendersAreMatched_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("sender");
    QTest::addColumn<bool>("admitted");
    QTest::newRow("no list") << ""
                             << "127.0.0.9" << true;
    QTest::newRow("single, same") << "127.0.0.2"
                                  << "127.0.0.2" << true;
    QTest::newRow("single, other") << "127.0.0.2"
                                   << "127.0.0.3" << false;
    QTest::newRow("network, first") << "127.0.1.64/28"
                                    << "127.0.1.64" << true;
    QTest::newRow("network, last") << "127.0.1.64/28"
                                   << "127.0.1.79" << true;
    QTest::newRow("network, next") << "127.0.1.64/28"
                                   << "127.0.1.80" << false;
    QTest::newRow("network, before") << "127.0.1.64/28"
                                     << "127.0.1.63" << false;
    QTest::newRow("host bits set") << "127.0.1.70/28"
                                   << "127.0.1.65" << true;
    QTest::newRow("second entry") << "127.0.2.1, ::1/128, 127.0.0.0/8"
                                  << "127.1.2.3" << true;
    QTest::newRow("IPv4 over IPv6") << "127.0.0.2"
                                    << "::ffff:127.0.0.2" << true;
    QTest::newRow("IPv4-mapped entry") << "::ffff:127.0.0.2"
                                       << "127.0.0.2" << true;
    QTest::newRow("IPv6 single") << "::1"
                                 << "::1" << true;
    QTest::newRow("IPv6 other") << "::1"
                                << "::ffff:127.0.0.1" << false;
    QTest::newRow("IPv6 network") << "::/127"
                                  << "::1" << true;
    QTest::newRow("IPv6 outside") << "::/128"
                                  << "::1" << false;
    QTest::newRow("IPv6 list, IPv4 sender") << "::/64"
                                            << "127.0.0.2" << false;
    // Read neither as 127.0.0.8 nor as 127.0.0.10: left out.
    QTest::newRow("padded, octal") << "127.000.000.010"
                                   << "127.0.0.8" << false;
    QTest::newRow("padded, decimal") << "127.000.000.010"
                                     << "127.0.0.10" << false;
    QTest::newRow("single /32") << "127.0.0.10/32"
                                << "127.0.0.10" << true;
    QTest::newRow("mapped network") << "::ffff:127.0.0.0/120"
                                    << "127.0.0.9" << true;
    QTest::newRow("mapped network, other") << "::ffff:127.0.0.0/120"
                                           << "127.0.1.9" << false;
    QTest::newRow("IPv6 with IPv4 tail") << "::127.0.0.1"
                                         << "::7f00:1" << true;
    QTest::newRow("all malformed") << "handset, 127.1"
                                   << "127.0.0.1" << false;
    QTest::newRow("malformed left out") << "bogus, 127.0.0.2"
                                        << "127.0.0.2" << true;
}

void HandsetListTest::sendersAreMatched() {
    QFETCH(QString, text);
    QFETCH(QString, sender);
    QFETCH(bool, admitted);
    QCOMPARE(HandsetList::parse(text).admits(QHostAddress(sender)), admitted);
}

QTEST_GUILESS_MAIN(HandsetListTest)
#include "test_handsetlist.moc"
