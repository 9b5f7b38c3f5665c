#pragma once

#include "instance/channelmessage.h"

#include <QHash>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class QLocalServer;
class QLocalSocket;

// The program's command channel: a local server that only this user can
// reach. A client sends one request line and gets one answer line, then may
// send the next. Everything about a client is bounded: its line, how long it
// may stay silent, how many clients are served at once; a client that breaks
// a bound is answered once and let go. Requests are answered at once, from
// the event loop, also while a modal box runs its own.
class CommandChannel : public QObject {
    Q_OBJECT

public:
    // The answer to a request (word ok, failed or refused).
    using Handler = std::function<ChannelMessage(const ChannelMessage& request)>;
    // Whether the client on a connected socket may be served; who it is, in
    // words, when not.
    using PeerCheck = std::function<bool(qintptr descriptor, QString* who)>;

    struct Limits {
        int silenceMs = 5000; // a client that sends nothing that long is let go
        int clients = 8;      // served at once; more are let go at once
    };

    // Takes a server that listens already.
    CommandChannel(std::unique_ptr<QLocalServer> server, PeerCheck peerCheck, Limits limits,
                   QObject* parent = nullptr);
    ~CommandChannel() override;

    // The answer to the requests with this word.
    void handle(const QString& word, Handler handler);
    // Stops listening and lets every client go; the name is free for the
    // next start. Repeatable.
    void close();
    bool listening() const;

    static ChannelMessage answer(const QString& verdict, const QString& text);

signals:
    // Something the user should know of: a client refused, say.
    void logLine(const QString& text);

private:
    void accept();
    void read(QLocalSocket* client);
    void respond(QLocalSocket* client, const ChannelMessage& answer);

    std::unique_ptr<QLocalServer> m_server;
    PeerCheck m_peerCheck;
    Limits m_limits;
    QHash<QString, Handler> m_handlers;
    int m_clients = 0;
};
