#include "app/settings/phonespage.h"

#include "web/phonebook.h"

#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

enum Column { Name, Paired, LastSeen, MayControl };

QString shownTime(const QDateTime& time) {
    return time.isValid() ? QLocale().toString(time.toLocalTime(), QLocale::ShortFormat)
                          : QStringLiteral("never");
}

} // namespace

PhonesPage::PhonesPage(PhoneBook& book, std::function<QStringList()> pair, QWidget* parent)
    : QWidget(parent), m_book(book), m_pair(std::move(pair)), m_code(new QLabel(this)),
      m_links(new QLabel(this)), m_phones(new QTableWidget(0, 4, this)),
      m_forget(new QPushButton(QStringLiteral("&Forget"), this)) {
    auto* pairButton = new QPushButton(QStringLiteral("&Pair a phone"), this);
    pairButton->setObjectName(QStringLiteral("pairPhone"));
    pairButton->setToolTip(QStringLiteral("Shows a code for the phone's camera, good for 2 "
                                          "minutes and for one phone"));
    m_code->setObjectName(QStringLiteral("pairingCode"));
    m_links->setObjectName(QStringLiteral("pairingLinks"));
    m_links->setWordWrap(true);
    m_links->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_phones->setObjectName(QStringLiteral("phones"));
    m_phones->setHorizontalHeaderLabels({QStringLiteral("Phone"), QStringLiteral("Paired"),
                                         QStringLiteral("Last seen"),
                                         QStringLiteral("May switch the LEDs and open the door")});
    m_phones->horizontalHeader()->setStretchLastSection(true);
    m_phones->verticalHeader()->hide();
    m_phones->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_phones->setSelectionMode(QAbstractItemView::SingleSelection);
    m_forget->setObjectName(QStringLiteral("forgetPhone"));
    m_forget->setToolTip(
        QStringLiteral("The phone is let go at once; it pairs again to come back"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(pairButton, 0, Qt::AlignLeft);
    layout->addWidget(m_code, 0, Qt::AlignLeft);
    layout->addWidget(m_links);
    layout->addWidget(m_phones);
    layout->addWidget(m_forget, 0, Qt::AlignLeft);
    m_code->hide();
    connect(pairButton, &QPushButton::clicked, this, &PhonesPage::pair);
    connect(m_forget, &QPushButton::clicked, this, &PhonesPage::forget);
    connect(m_phones, &QTableWidget::cellChanged, this, &PhonesPage::changed);
    connect(m_phones, &QTableWidget::itemSelectionChanged, this,
            [this] { m_forget->setEnabled(!m_phones->selectedItems().isEmpty()); });
    connect(&m_book, &PhoneBook::changed, this, &PhonesPage::fill);
    fill();
}

// The table's last signals, as it goes with the page, find no page.
PhonesPage::~PhonesPage() {
    m_phones->disconnect(this);
}

void PhonesPage::pair() {
    const QStringList links = m_pair();
    if (links.isEmpty()) {
        m_code->hide();
        m_links->setText(QStringLiteral("The web remote is off: set it on above, press Apply, "
                                        "then pair"));
        return;
    }
    const QImage code = qrCodeImage(links.first(), 6);
    m_code->setPixmap(QPixmap::fromImage(code));
    m_code->setVisible(!code.isNull());
    m_links->setText(
        QStringLiteral("%1 with the phone's camera, or open %2 on it, within 2 minutes. The "
                       "phone must be on this PC's network.")
            .arg(code.isNull() ? QStringLiteral("Open") : QStringLiteral("Scan the code"),
                 links.join(QStringLiteral(" or "))));
}

void PhonesPage::fill() {
    m_filling = true;
    m_phones->setRowCount(0);
    for (const PhoneDevice& device : m_book.devices()) {
        const int row = m_phones->rowCount();
        m_phones->insertRow(row);
        auto* name = new QTableWidgetItem(device.name);
        name->setData(Qt::UserRole, device.number);
        m_phones->setItem(row, Name, name);
        for (const auto& [column, time] :
             {std::pair{Paired, device.paired}, std::pair{LastSeen, device.lastSeen}}) {
            auto* item = new QTableWidgetItem(shownTime(time));
            item->setFlags(item->flags() & ~Qt::ItemIsEditable);
            m_phones->setItem(row, column, item);
        }
        auto* may = new QTableWidgetItem;
        may->setFlags((may->flags() | Qt::ItemIsUserCheckable) & ~Qt::ItemIsEditable);
        may->setCheckState(device.mayControl ? Qt::Checked : Qt::Unchecked);
        m_phones->setItem(row, MayControl, may);
    }
    m_phones->resizeColumnsToContents();
    m_forget->setEnabled(!m_phones->selectedItems().isEmpty());
    m_filling = false;
}

void PhonesPage::tryChange(const std::function<void()>& change) {
    try {
        change();
        m_problem.clear();
    } catch (const std::exception& failure) {
        m_problem = QString::fromUtf8(failure.what()) +
                    QStringLiteral("; the change holds until the program ends");
    }
    emit problemChanged();
}

void PhonesPage::changed(int row, int column) {
    if (m_filling)
        return;
    const int device = m_phones->item(row, Name)->data(Qt::UserRole).toInt();
    if (column == Name)
        tryChange([&] { m_book.rename(device, m_phones->item(row, Name)->text()); });
    else if (column == MayControl)
        tryChange([&] {
            m_book.setMayControl(device,
                                 m_phones->item(row, MayControl)->checkState() == Qt::Checked);
        });
}

void PhonesPage::forget() {
    const QList<QTableWidgetItem*> selected = m_phones->selectedItems();
    if (selected.isEmpty())
        return;
    const int device = m_phones->item(selected.first()->row(), Name)->data(Qt::UserRole).toInt();
    tryChange([&] { m_book.forget(device); });
}
