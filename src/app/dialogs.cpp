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
    QWidget* parent = QApplication::activeWindow();
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    box.setWindowModality(parent != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
    box.exec();
}

void DialogsNotifier::showMessage(const std::string& text) {
    m_dialogs->message(QString::fromStdString(text), QCoreApplication::applicationName());
}
