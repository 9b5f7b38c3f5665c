#include "app/toolkitmessages.h"

#include <QTest>

// Which of the toolkit's messages stay out of the log stream: only the known
// texts, whole, and only as warnings.
class ToolkitMessagesTest : public QObject {
    Q_OBJECT

private slots:
    void onlyKnownWarningsAreNoise_data();
    void onlyKnownWarningsAreNoise();
};

void ToolkitMessagesTest::onlyKnownWarningsAreNoise_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("noise");
    const QString sizeHints = QStringLiteral("This plugin does not support propagateSizeHints()");
    const QString traySignal = QStringLiteral("QObject::connect: No such signal "
                                              "QPlatformNativeInterface::systemTrayWindowChanged("
                                              "QScreen*)");
    QTest::newRow("size hints") << int(QtWarningMsg) << sizeHints << true;
    QTest::newRow("tray signal") << int(QtWarningMsg) << traySignal << true;
    QTest::newRow("size hints as a critical") << int(QtCriticalMsg) << sizeHints << false;
    QTest::newRow("another missing feature")
        << int(QtWarningMsg) << QStringLiteral("This plugin does not support setParent!") << false;
    QTest::newRow("another missing signal")
        << int(QtWarningMsg)
        << QStringLiteral("QObject::connect: No such signal QSocketNotifier::gone()") << false;
    QTest::newRow("longer text") << int(QtWarningMsg) << sizeHints + QStringLiteral(" twice")
                                 << false;
    QTest::newRow("empty") << int(QtWarningMsg) << QString() << false;
}

void ToolkitMessagesTest::onlyKnownWarningsAreNoise() {
    QFETCH(int, type);
    QFETCH(QString, message);
    QFETCH(bool, noise);
    QCOMPARE(toolkitMessages::isNoise(QtMsgType(type), message), noise);
}

QTEST_GUILESS_MAIN(ToolkitMessagesTest)
#include "test_toolkitmessages.moc"
