#pragma once

#include "shell/settingsstore.h"

#include <QWidget>

#include <map>
#include <optional>

class QLabel;
class QPushButton;
class QTableWidget;
class QTimer;

// The infrared buttons and the handset keys they stand for, as the group
// LircButtons stores them (decimal key codes); the buttons the program maps
// by itself are shown too, the media buttons as what they do. Learn takes a
// row's button from the next press of a remote.
class ButtonMapEditor : public QWidget {
    Q_OBJECT

public:
    // Asks for the next press (a null learner: no more).
    using Learner = std::function<void(const QString& button, const QString& remote)>;
    using Learning = std::function<void(Learner)>;

    ButtonMapEditor(Learning learning, QWidget* parent = nullptr);

    // The stored entries, by button.
    void load(const std::vector<std::pair<std::string, std::string>>& stored);
    // What differs from what is stored, as "LircButtons/<button>" to the
    // value, a null value for an entry to remove.
    std::map<QString, QString> changes() const;
    void markStored(const std::map<QString, QString>& changes);
    // Why the map cannot be stored (a button twice); empty: it can.
    QString problem() const { return m_problem; }

    bool learning() const;
    void cancelLearning();
    void setLearnTimeoutMs(int ms);

signals:
    void edited();

private:
    void addRow(const QString& button, std::optional<int> code, const QString& media);
    void learn();
    void learned(const QString& button, const QString& remote);
    void stopLearning(const QString& said, bool learned = false);
    void check();
    std::optional<int> codeAt(int row) const;

    Learning m_learning;
    QTableWidget* m_table;
    QPushButton* m_learn;
    QPushButton* m_remove;
    QLabel* m_said;
    QTimer* m_giveUp;
    int m_learnRow = -1;
    bool m_learnAdded = false;           // its row was added for learning
    std::map<QString, QString> m_stored; // button to value, as stored
    QString m_problem;
};
