#include "app/settings/buttonmapeditor.h"

#include "remote/keymessage.h"
#include "remote/lircbuttons.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <set>

namespace {

const QString kSection = QStringLiteral("LircButtons/");

// The handset's keys a button can stand for, by name.
const std::vector<std::pair<QString, int>>& keyNames() {
    static const std::vector<std::pair<QString, int>> names = [] {
        std::vector<std::pair<QString, int>> list{
            {QStringLiteral("Menu"), nuvok::kKeyMenu},
            {QStringLiteral("Idle"), nuvok::kKeyIdle},
            {QStringLiteral("Up"), nuvok::kKeyUp},
            {QStringLiteral("Down"), nuvok::kKeyDown},
            {QStringLiteral("Left"), nuvok::kKeyLeft},
            {QStringLiteral("Right"), nuvok::kKeyRight},
            {QStringLiteral("Select"), nuvok::kKeySelect},
        };
        for (int digit = 0; digit <= 9; ++digit)
            list.emplace_back(QString::number(digit), '0' + digit);
        return list;
    }();
    return names;
}

QString mediaName(nuvok::MediaKey key) {
    switch (key) {
    case nuvok::MediaKey::VolumeUp:
        return QStringLiteral("Volume up");
    case nuvok::MediaKey::VolumeDown:
        return QStringLiteral("Volume down");
    case nuvok::MediaKey::PlayPause:
        return QStringLiteral("Play/pause");
    case nuvok::MediaKey::NextSong:
        return QStringLiteral("Next song");
    case nuvok::MediaKey::PreviousSong:
        return QStringLiteral("Previous song");
    }
    return {};
}

// The code a stored value names, as the start-up reader takes it.
std::optional<int> storedCode(const std::string& value) {
    nuvok::LircButtonMap map;
    if (!map.set("x", value))
        return std::nullopt;
    return map.find("x")->keyCode;
}

} // namespace

ButtonMapEditor::ButtonMapEditor(Learning learning, QWidget* parent)
    : QWidget(parent), m_learning(std::move(learning)), m_table(new QTableWidget(0, 2, this)),
      m_learn(new QPushButton(QStringLiteral("L&earn"), this)),
      m_remove(new QPushButton(QStringLiteral("Remove"), this)), m_said(new QLabel(this)),
      m_giveUp(new QTimer(this)) {
    m_table->setObjectName(QStringLiteral("buttonMap"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("Button"), QStringLiteral("Handset key")});
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->hide();
    m_table->setMinimumHeight(200); // several rows in sight
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_learn->setObjectName(QStringLiteral("learnButton"));
    m_learn->setToolTip(QStringLiteral("Takes the chosen row's button from the next press of a "
                                       "remote; a new row when none is chosen"));
    m_remove->setObjectName(QStringLiteral("removeButton"));
    m_said->setObjectName(QStringLiteral("learnSaid"));
    m_said->setWordWrap(true);
    auto* add = new QPushButton(QStringLiteral("Add"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(m_learn);
    buttons->addWidget(m_remove);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_table);
    layout->addLayout(buttons);
    layout->addWidget(m_said);
    m_giveUp->setSingleShot(true);
    m_giveUp->setInterval(10000);
    connect(m_giveUp, &QTimer::timeout, this, [this] {
        stopLearning(QStringLiteral("No button was pressed within %1 s: nothing was learned")
                         .arg(m_giveUp->interval() / 1000.0));
    });
    connect(add, &QPushButton::clicked, this, [this] {
        addRow(QString(), nuvok::kKeySelect, QString());
        m_table->selectRow(m_table->rowCount() - 1);
        check();
    });
    connect(m_learn, &QPushButton::clicked, this, &ButtonMapEditor::learn);
    connect(m_remove, &QPushButton::clicked, this, [this] {
        const int row = m_table->currentRow();
        if (row < 0 || !m_table->cellWidget(row, 1))
            return;
        m_table->removeRow(row);
        check();
    });
    connect(m_table, &QTableWidget::itemChanged, this, [this] { check(); });
}

void ButtonMapEditor::setLearnTimeoutMs(int ms) {
    m_giveUp->setInterval(ms);
}

void ButtonMapEditor::load(const std::vector<std::pair<std::string, std::string>>& stored) {
    cancelLearning();
    m_said->clear();
    m_stored.clear();
    m_table->setRowCount(0);
    std::map<std::string, std::optional<int>> rows; // the buttons with a key code
    std::map<std::string, nuvok::MediaKey> media;
    const nuvok::LircButtonMap defaults;
    for (const auto& [button, does] : defaults.buttons())
        if (does.media)
            media[button] = *does.media;
        else
            rows[button] = does.keyCode;
    for (const auto& [button, value] : stored) {
        m_stored[QString::fromStdString(button)] = QString::fromStdString(value);
        rows[button] = storedCode(value);
        media.erase(button);
    }
    const QSignalBlocker quiet(m_table);
    for (const auto& [button, code] : rows)
        addRow(QString::fromStdString(button), code, QString());
    for (const auto& [button, key] : media)
        addRow(QString::fromStdString(button), std::nullopt, mediaName(key));
    check();
}

void ButtonMapEditor::addRow(const QString& button, std::optional<int> code, const QString& media) {
    const int row = m_table->rowCount();
    m_table->insertRow(row);
    auto* name = new QTableWidgetItem(button);
    m_table->setItem(row, 0, name);
    if (!media.isEmpty()) {
        // A media button does what its name says, always.
        name->setFlags(name->flags() & ~Qt::ItemIsEditable);
        auto* fixed = new QTableWidgetItem(media + QStringLiteral(" (fixed)"));
        fixed->setFlags(fixed->flags() & ~Qt::ItemIsEditable);
        m_table->setItem(row, 1, fixed);
        return;
    }
    auto* key = new QComboBox(m_table);
    for (const auto& [text, value] : keyNames())
        key->addItem(text, value);
    if (!code)
        key->addItem(QStringLiteral("not a key code"), -1);
    else if (key->findData(*code) < 0)
        key->addItem(QString::number(*code), *code); // kept as stored
    key->setCurrentIndex(key->findData(code.value_or(-1)));
    connect(key, &QComboBox::currentIndexChanged, this, [this] { check(); });
    m_table->setCellWidget(row, 1, key);
}

std::optional<int> ButtonMapEditor::codeAt(int row) const {
    const auto* key = qobject_cast<QComboBox*>(m_table->cellWidget(row, 1));
    if (!key || key->currentData().toInt() < 0)
        return std::nullopt;
    return key->currentData().toInt();
}

std::map<QString, QString> ButtonMapEditor::changes() const {
    const nuvok::LircButtonMap defaults;
    std::map<QString, QString> changes;
    std::set<QString> shown;
    for (int row = 0; row < m_table->rowCount(); ++row) {
        const QString button = m_table->item(row, 0)->text().trimmed();
        shown.insert(button);
        const std::optional<int> code = codeAt(row);
        if (!code)
            continue; // a media button, or a stored value left as it is
        const QString value = QString::number(*code);
        const auto stored = m_stored.find(button);
        const auto byDefault = defaults.find(button.toStdString());
        const bool asStored = stored != m_stored.end() ? stored->second.trimmed() == value
                                                       : byDefault && byDefault->keyCode == *code;
        if (!asStored)
            changes[kSection + button] = value;
    }
    for (const auto& [button, value] : m_stored)
        if (!shown.count(button))
            changes[kSection + button] = QString(); // null: removed
    return changes;
}

void ButtonMapEditor::markStored(const std::map<QString, QString>& changes) {
    for (const auto& [key, value] : changes) {
        if (!key.startsWith(kSection))
            continue;
        const QString button = key.mid(kSection.size());
        if (value.isNull())
            m_stored.erase(button);
        else
            m_stored[button] = value;
    }
}

// A button can stand for one key only: a name given twice is marked.
void ButtonMapEditor::check() {
    std::map<QString, int> seen;
    for (int row = 0; row < m_table->rowCount(); ++row)
        ++seen[m_table->item(row, 0)->text().trimmed()];
    m_problem.clear();
    const QSignalBlocker quiet(m_table);
    for (int row = 0; row < m_table->rowCount(); ++row) {
        QTableWidgetItem* item = m_table->item(row, 0);
        const QString button = item->text().trimmed();
        const bool wrong = button.isEmpty() || seen[button] > 1 ||
                           button.contains(QLatin1Char('/')) || button.contains(QLatin1Char('\\'));
        item->setBackground(wrong ? QColor(255, 200, 200) : QBrush());
        if (wrong && m_problem.isEmpty())
            m_problem = button.isEmpty()   ? QStringLiteral("A button has no name: press Learn")
                        : seen[button] > 1 ? QStringLiteral("%1 is mapped twice").arg(button)
                                           : QStringLiteral("%1 is no button name").arg(button);
    }
    m_remove->setEnabled(m_table->rowCount() > 0);
    emit edited();
}

bool ButtonMapEditor::learning() const {
    return m_learnRow >= 0;
}

void ButtonMapEditor::learn() {
    if (learning())
        return;
    int row = m_table->currentRow();
    m_learnAdded = row < 0 || !m_table->cellWidget(row, 1);
    if (m_learnAdded) {
        addRow(QString(), nuvok::kKeySelect, QString());
        row = m_table->rowCount() - 1;
        m_table->selectRow(row);
        check();
    }
    m_learnRow = row;
    m_learn->setEnabled(false);
    m_said->setText(QStringLiteral("Press the button on your remote now"));
    m_giveUp->start();
    // The editor may go first, at the program's end.
    m_learning([editor = QPointer(this)](const QString& button, const QString& remote) {
        if (editor)
            editor->learned(button, remote);
    });
}

void ButtonMapEditor::learned(const QString& button, const QString& remote) {
    if (!learning())
        return;
    const int row = m_learnRow;
    stopLearning(QStringLiteral("Learned %1 of remote %2").arg(button, remote), true);
    m_table->item(row, 0)->setText(button);
}

void ButtonMapEditor::cancelLearning() {
    if (learning())
        stopLearning(QStringLiteral("Learning given up: nothing was learned"));
}

void ButtonMapEditor::stopLearning(const QString& said, bool learned) {
    m_giveUp->stop();
    if (!learned && m_learnAdded) {
        m_table->removeRow(m_learnRow);
        check();
    }
    m_learnRow = -1;
    m_learn->setEnabled(true);
    m_learning(nullptr);
    m_said->setText(said);
}
