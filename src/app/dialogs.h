#pragma once

#include "mixer/notifier.h"

#include <QString>
#include <memory>

// The window's modal questions and messages, behind an interface so that tests
// can answer them.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Returns the answer; Cancel gives the empty text.
    virtual QString prompt(const QString& text, const QString& title,
                           const QString& defaultAnswer) = 0;
    // A box with the OK button only.
    virtual void message(const QString& text, const QString& title) = 0;
};

// Qt's own modal input dialog, and a message box without an icon.
class QtDialogs : public Dialogs {
public:
    QString prompt(const QString& text, const QString& title,
                   const QString& defaultAnswer) override;
    void message(const QString& text, const QString& title) override;
};

// The no-mixer message, shown in the window's message box under the
// application's name.
class DialogsNotifier : public nuvok::Notifier {
public:
    explicit DialogsNotifier(std::shared_ptr<Dialogs> dialogs) : m_dialogs(std::move(dialogs)) {}
    void showMessage(const std::string& text) override;

private:
    std::shared_ptr<Dialogs> m_dialogs;
};
