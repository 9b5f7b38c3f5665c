#include "app/commandline.h"
#include "handsetcommandline.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <map>

// The README and the documents in docs/ as a reader follows them: every link
// reaches a file and a heading there, and every command shown is one that
// dev.sh, nuvokrc and nuvok-send know.
class DocsTest : public QObject {
    Q_OBJECT

    static QString read(const QString& path) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll());
    }

    // The text without fenced code blocks: what is rendered as prose and headings.
    static QString withoutFences(const QString& text) {
        static const QRegularExpression fence(QStringLiteral("^```.*?^```"),
                                              QRegularExpression::MultilineOption |
                                                  QRegularExpression::DotMatchesEverythingOption);
        return QString(text).remove(fence);
    }

    // The anchors a forge makes of a document's headings: the heading's text in
    // lower case, without punctuation, blanks as hyphens, and -1, -2, ... for repeats.
    static QStringList anchors(const QString& text) {
        static const QRegularExpression heading(QStringLiteral(R"(^ {0,3}#{1,6}[ \t]+(.*?)[ #]*$)"),
                                                QRegularExpression::MultilineOption);
        static const QRegularExpression linkTarget(QStringLiteral(R"(\]\([^)]*\))"));
        static const QRegularExpression punctuation(QStringLiteral(R"([^\p{L}\p{M}\p{N}_\- ])"),
                                                    QRegularExpression::UseUnicodePropertiesOption);
        QStringList found;
        std::map<QString, int> seen;
        for (const auto& match : heading.globalMatch(withoutFences(text))) {
            QString slug = match.captured(1).remove(linkTarget).toLower().remove(punctuation);
            slug.replace(QLatin1Char(' '), QLatin1Char('-'));
            const int repeats = seen[slug]++;
            found << (repeats == 0 ? slug : QStringLiteral("%1-%2").arg(slug).arg(repeats));
        }
        return found;
    }

    // The code a reader copies: indented and fenced blocks, and inline code.
    static QStringList codeIn(const QString& text) {
        QStringList code;
        bool fenced = false;
        for (const QString& line : text.split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1String("```")))
                fenced = !fenced;
            else if (fenced || line.startsWith(QLatin1String("    ")))
                code << line;
        }
        static const QRegularExpression inlineCode(QStringLiteral("`([^`\n]+)`"));
        for (const auto& match : inlineCode.globalMatch(withoutFences(text)))
            code << match.captured(1);
        return code;
    }

    static QStringList documents() {
        QStringList paths{QStringLiteral(NUVOK_SOURCE_DIR "/README.md")};
        const QDir docs(QStringLiteral(NUVOK_SOURCE_DIR "/docs"));
        for (const QString& name : docs.entryList({QStringLiteral("*.md")}, QDir::Files))
            paths << docs.filePath(name);
        return paths;
    }

private slots:
    void linksReachTheirTarget_data() {
        QTest::addColumn<QString>("path");
        for (const QString& path : documents())
            QTest::newRow(qPrintable(QDir(NUVOK_SOURCE_DIR).relativeFilePath(path))) << path;
    }
    void linksReachTheirTarget() {
        QFETCH(QString, path);
        const QString text = read(path);
        QVERIFY(!text.isEmpty());
        static const QRegularExpression inlineCode(QStringLiteral("`[^`\n]*`"));
        static const QRegularExpression link(QStringLiteral(R"(\]\(([^)\s]+)\))"));
        static const QRegularExpression scheme(QStringLiteral("^[a-z][a-z0-9+.-]*:"));
        QStringList broken;
        for (const auto& match : link.globalMatch(withoutFences(text).remove(inlineCode))) {
            const QString target = match.captured(1);
            if (scheme.match(target).hasMatch())
                continue;
            const QString file = target.section(QLatin1Char('#'), 0, 0);
            const QString anchor = target.section(QLatin1Char('#'), 1);
            const QString targetPath =
                file.isEmpty() ? path : QFileInfo(path).dir().absoluteFilePath(file);
            if (!QFileInfo::exists(targetPath))
                broken << target + QStringLiteral(" (no such file)");
            else if (!anchor.isEmpty() && !anchors(read(targetPath)).contains(anchor))
                broken << target + QStringLiteral(" (no such heading)");
        }
        QVERIFY2(broken.isEmpty(), qPrintable(broken.join(QLatin1String(", "))));
    }

    void commandsExist_data() { linksReachTheirTarget_data(); }
    void commandsExist() {
        QFETCH(QString, path);
        const QString devScript = read(QStringLiteral(NUVOK_SOURCE_DIR "/dev.sh"));
        const QString caseBody = devScript.section(QStringLiteral("case \"$cmd\" in"), 1);
        static const QRegularExpression verbLine(QStringLiteral(R"(^([a-z][a-z-]*)\)$)"),
                                                 QRegularExpression::MultilineOption);
        QStringList verbs;
        for (const auto& match : verbLine.globalMatch(caseBody))
            verbs << match.captured(1);
        QVERIFY(verbs.contains(QStringLiteral("run")));
        const std::map<QString, QString> helpOf{
            {QStringLiteral("nuvokrc"), QString::fromStdString(CommandLine::helpText())},
            {QStringLiteral("nuvok-send"), QString::fromStdString(nuvok::handsetUsage())}};
        // A command up to the end of the line or a shell separator or comment.
        static const QRegularExpression command(QStringLiteral(
            R"((?:^|[\s(])(\./dev\.sh|nuvokrc|nuvok-send)((?:[ \t]+[^\s&|;#`]+)*))"));
        QStringList unknown;
        for (const QString& code : codeIn(read(path))) {
            for (const auto& match : command.globalMatch(code)) {
                const QStringList words =
                    match.captured(2)
                        .remove(QRegularExpression(QStringLiteral(R"([\[\]])")))
                        .split(QLatin1Char(' '), Qt::SkipEmptyParts);
                if (match.captured(1) == QLatin1String("./dev.sh")) {
                    if (!words.isEmpty() && !verbs.contains(words.first()))
                        unknown << QStringLiteral("./dev.sh ") + words.first();
                    continue;
                }
                const QString help = helpOf.at(match.captured(1));
                for (const QString& word : words) {
                    const QString option = word.section(QLatin1Char('='), 0, 0);
                    if (option.startsWith(QLatin1Char('-')) &&
                        !help.contains(
                            QRegularExpression(QStringLiteral(R"((^|[\s\[])%1([\s\]]|$))")
                                                   .arg(QRegularExpression::escape(option)))))
                        unknown << match.captured(1) + QLatin1Char(' ') + option;
                }
            }
        }
        QVERIFY2(unknown.isEmpty(), qPrintable(unknown.join(QLatin1String(", "))));
    }

    // A newcomer runs and tests the program from the README's first lines.
    void theReadmeStartsWithRunAndTest() {
        const QStringList firstLines =
            read(QStringLiteral(NUVOK_SOURCE_DIR "/README.md")).split(QLatin1Char('\n')).mid(0, 12);
        for (const char* verb : {"run", "test"})
            QVERIFY2(
                firstLines
                        .filter(QRegularExpression(
                            QStringLiteral("^    \\./dev\\.sh %1\\b").arg(QLatin1String(verb))))
                        .size() == 1,
                verb);
    }
};

QTEST_MAIN(DocsTest)
#include "test_docs.moc"
