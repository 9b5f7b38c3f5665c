#pragma once

#include <QString>

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

// Qt's own modal input dialog and message box.
class QtDialogs : public Dialogs {
public:
    QString prompt(const QString& text, const QString& title,
                   const QString& defaultAnswer) override;
    void message(const QString& text, const QString& title) override;
};
