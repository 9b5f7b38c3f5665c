#include "instance/channelmessage.h"

namespace {

QByteArray versionTag() {
    return QByteArrayLiteral("NUVOKrc/") + QByteArray::number(ChannelMessage::kVersion);
}

bool isName(const QByteArray& text) {
    if (text.isEmpty())
        return false;
    for (const char c : text)
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'))
            return false;
    return true;
}

} // namespace

ChannelMessage& ChannelMessage::with(const QString& name, const QString& value) {
    fields.append({name, value});
    return *this;
}

QString ChannelMessage::field(const QString& name) const {
    for (const auto& [key, value] : fields)
        if (key == name)
            return value;
    return {};
}

QByteArray ChannelMessage::line() const {
    QByteArray text = versionTag() + ' ' + word.toUtf8();
    for (const auto& [name, value] : fields)
        text += ' ' + name.toUtf8() + '=' + value.toUtf8().toPercentEncoding();
    return text + '\n';
}

std::optional<ChannelMessage> ChannelMessage::parse(QByteArray line, QString* problem) {
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    const QList<QByteArray> parts = line.split(' ');
    if (parts.value(0) != versionTag()) {
        *problem = QStringLiteral("not a request of this program's version (%1)")
                       .arg(QString::fromLatin1(versionTag()));
        return std::nullopt;
    }
    if (parts.size() < 2 || !isName(parts[1])) {
        *problem = QStringLiteral("a line without a request");
        return std::nullopt;
    }
    ChannelMessage message;
    message.word = QString::fromLatin1(parts[1]);
    for (qsizetype i = 2; i < parts.size(); ++i) {
        const qsizetype equals = parts[i].indexOf('=');
        const QByteArray name = parts[i].left(equals);
        if (equals < 0 || !isName(name)) {
            *problem = QStringLiteral("a field that is not name=value");
            return std::nullopt;
        }
        message.with(QString::fromLatin1(name),
                     QString::fromUtf8(QByteArray::fromPercentEncoding(parts[i].mid(equals + 1))));
    }
    return message;
}
