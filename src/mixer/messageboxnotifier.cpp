#include "mixer/messageboxnotifier.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QString>

void MessageBoxNotifier::showMessage(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(),
                    QString::fromStdString(text), QMessageBox::Ok, m_parent);
    box.setWindowModality(m_parent ? Qt::WindowModal : Qt::ApplicationModal);
    box.exec();
}
