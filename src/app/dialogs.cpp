#include "app/dialogs.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>

QString QtDialogs::prompt(const QString& text, const QString& title, const QString& defaultAnswer) {
    bool ok = false;
    const QString answer = QInputDialog::getText(QApplication::activeWindow(), title, text,
                                                 QLineEdit::Normal, defaultAnswer, &ok);
    return ok ? answer : QString();
}

void QtDialogs::message(const QString& text, const QString& title) {
    QMessageBox::information(QApplication::activeWindow(), title, text, QMessageBox::Ok);
}
