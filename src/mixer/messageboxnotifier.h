#pragma once

#include "mixer/notifier.h"

class QWidget;

// Shows each message in a modal box with an OK button only, titled with the
// application's name.
class MessageBoxNotifier : public nuvok::Notifier {
public:
    explicit MessageBoxNotifier(QWidget* parent = nullptr) : m_parent(parent) {}
    void showMessage(const std::string& text) override;

private:
    QWidget* m_parent;
};
