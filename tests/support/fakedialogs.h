#pragma once

#include "app/dialogs.h"

#include <QStringList>

namespace nuvok::test {

// Answers prompts from a queue and records every question and message.
class FakeDialogs : public Dialogs {
public:
    struct Shown {
        QString text;
        QString title;
        QString defaultAnswer;
    };

    QString prompt(const QString& text, const QString& title,
                   const QString& defaultAnswer) override {
        prompts.push_back({text, title, defaultAnswer});
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
    void message(const QString& text, const QString& title) override {
        messages.push_back({text, title, {}});
    }

    QStringList answers;
    QList<Shown> prompts;
    QList<Shown> messages;
};

} // namespace nuvok::test
