#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>

class PhoneBook;
class QLabel;
class QPushButton;
class QTableWidget;

// The Phone page's extras: pairing a phone by the code it scans, and the
// phones paired, each renamed, given the controller or forgotten at once
// (these are not settings that OK or Cancel would wait for).
class PhonesPage : public QWidget {
    Q_OBJECT

public:
    // `pair` asks for links with a new code; empty while the web remote is off.
    PhonesPage(PhoneBook& book, std::function<QStringList()> pair, QWidget* parent = nullptr);
    ~PhonesPage() override;

    // A failure of a change to a phone (it could not be stored), in words.
    QString problem() const { return m_problem; }

signals:
    void problemChanged();

private:
    void pair();
    void fill();
    void changed(int row, int column);
    void forget();
    void tryChange(const std::function<void()>& change);

    PhoneBook& m_book;
    std::function<QStringList()> m_pair;
    QLabel* m_code;
    QLabel* m_links;
    QTableWidget* m_phones;
    QPushButton* m_forget;
    QString m_problem;
    bool m_filling = false;
};

// The picture of a QR code of the text, `scale` pixels per module; a null
// image where this build cannot make one (the link is shown as text).
class QImage;
QImage qrCodeImage(const QString& text, int scale);
