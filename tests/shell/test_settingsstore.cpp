#include "common/failure.h"
#include "shell/qtsettingsstore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTest>

// The settings store in a private configuration folder (XDG_CONFIG_HOME is
// set per test program).
class SettingsStoreTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void valuesSurviveARoundTrip_data();
    void valuesSurviveARoundTrip();
    void valuesLiveInTheIniFileOfTheConfigFolder();
    void missingKeysReadEmpty();
    void handWrittenValuesReadAsWritten();
    void handEditsAreSeenByAStoreAlreadyInUse();
    void writingKeepsTheOtherKeys();
    void aRefusedWriteIsReported();

private:
    static QString settingsFile() {
        return qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/NUVOKrc.conf");
    }
    static void writeFile(const QByteArray& text) {
        QDir().mkpath(qEnvironmentVariable("XDG_CONFIG_HOME"));
        QFile file(settingsFile());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
        file.flush();
        // QSettings notices a changed file by its size and time stamp. Tests
        // follow each other within the same millisecond, people at a text
        // editor do not: give every hand edit a time stamp of its own.
        static int edits = 0;
        file.setFileTime(QDateTime::currentDateTime().addSecs(-60 - ++edits),
                         QFileDevice::FileModificationTime);
    }
    static QByteArray readFile() {
        QFile file(settingsFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

void SettingsStoreTest::init() {
    QVERIFY(!qEnvironmentVariable("XDG_CONFIG_HOME").isEmpty());
    QDir(settingsFile()).removeRecursively();
    QFile::remove(settingsFile());
}

void SettingsStoreTest::cleanup() {
    init();
}

void SettingsStoreTest::valuesSurviveARoundTrip_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("protocol") << "Protocol"
                              << "TCP";
    QTest::newRow("port") << "portNum"
                          << "5000";
    QTest::newRow("empty") << "Protocol"
                           << "";
    QTest::newRow("blanks kept") << "portNum"
                                 << "  8080 ";
    QTest::newRow("commas") << "Protocol"
                            << "a,b, c";
    QTest::newRow("ini syntax") << "Protocol"
                                << "x=y;#z [Settings]\\n";
    QTest::newRow("quotes") << "Protocol"
                            << "\"TCP\"";
    QTest::newRow("non-ASCII") << "Protocol"
                               << "Jörg €";
}

void SettingsStoreTest::valuesSurviveARoundTrip() {
    QFETCH(QString, key);
    QFETCH(QString, value);
    QtSettingsStore().write(key.toStdString(), value.toStdString());
    // A second store sees what the first one wrote.
    QCOMPARE(QString::fromStdString(QtSettingsStore().read(key.toStdString())), value);
}

void SettingsStoreTest::valuesLiveInTheIniFileOfTheConfigFolder() {
    QtSettingsStore store;
    store.write("Protocol", "TCP");
    store.write("portNum", "5000");
    const QByteArray text = readFile();
    QVERIFY2(text.startsWith("[Settings]\n"), text.constData());
    QVERIFY(text.contains("\nProtocol=TCP\n"));
    QVERIFY(text.contains("\nportNum=5000\n"));
}

void SettingsStoreTest::missingKeysReadEmpty() {
    QtSettingsStore store;
    QCOMPARE(store.read("Protocol"), std::string()); // no file at all
    writeFile("[Settings]\nProtocol=UDP\n[Other]\nportNum=5000\n");
    QCOMPARE(store.read("portNum"), std::string());
    QCOMPARE(store.read("Protocol"), std::string("UDP"));
}

void SettingsStoreTest::handWrittenValuesReadAsWritten() {
    writeFile("[Settings]\r\nProtocol=tcp\r\nportNum = 5000\r\n");
    QtSettingsStore store;
    QCOMPARE(store.read("Protocol"), std::string("tcp"));
    QCOMPARE(store.read("portNum"), std::string("5000"));
}

void SettingsStoreTest::handEditsAreSeenByAStoreAlreadyInUse() {
    QtSettingsStore store;
    store.write("Protocol", "TCP");
    QCOMPARE(store.read("Protocol"), std::string("TCP"));
    writeFile("[Settings]\nProtocol=UDP\n");
    QCOMPARE(store.read("Protocol"), std::string("UDP"));
}

void SettingsStoreTest::writingKeepsTheOtherKeys() {
    writeFile("[Settings]\nportNum=5000\n");
    QtSettingsStore store;
    store.write("Protocol", "TCP");
    QCOMPARE(store.read("portNum"), std::string("5000"));
    QCOMPARE(store.read("Protocol"), std::string("TCP"));
}

void SettingsStoreTest::aRefusedWriteIsReported() {
    // A folder where the file should be cannot be written by anyone.
    QVERIFY(QDir().mkpath(settingsFile()));
    QString message;
    try {
        QtSettingsStore().write("Protocol", "TCP");
    } catch (const nuvok::Failure& failure) {
        message = QString::fromStdString(failure.description());
    }
    QVERIFY2(message.contains(settingsFile()), qPrintable(message));
    QVERIFY(message.contains(QStringLiteral("Protocol")));
}

QTEST_GUILESS_MAIN(SettingsStoreTest)
#include "test_settingsstore.moc"
