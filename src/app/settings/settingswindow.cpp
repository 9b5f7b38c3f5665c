#include "app/settings/settingswindow.h"
#include "app/settings/buttonmapeditor.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <exception>

SettingsWindow::SettingsWindow(std::shared_ptr<nuvok::SettingsStore> store, SettingsEffect& effect,
                               QWidget* parent)
    : QWidget(parent, Qt::Window), m_store(std::move(store)), m_effect(effect) {
    setWindowTitle(QStringLiteral("NUVOKrc Settings"));
    setObjectName(QStringLiteral("settingsWindow"));
    auto* tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("pages"));
    std::map<QString, QFormLayout*> pages;
    for (const SettingEntry& setting : settingList()) {
        const QString pageName = QString::fromUtf8(setting.page);
        QFormLayout*& page = pages[pageName];
        if (!page) {
            auto* widget = new QWidget(tabs);
            page = new QFormLayout(widget);
            page->setRowWrapPolicy(QFormLayout::WrapLongRows);
            tabs->addTab(widget, pageName);
            auto* state = new QLabel(widget);
            state->setObjectName(QString(pageName).remove(QLatin1Char(' ')) +
                                 QStringLiteral("State"));
            state->setWordWrap(true);
            state->setTextInteractionFlags(Qt::TextSelectableByMouse);
            page->addRow(state);
            m_states[pageName] = state;
        }
        Field field{&setting, new QLineEdit(this), new QLabel(this), {}};
        const QString key = QString::fromLatin1(setting.key);
        field.edit->setObjectName(key);
        field.edit->setMinimumWidth(260); // a path or a list of addresses fits
        field.edit->setToolTip(QStringLiteral("Stored as %1").arg(key));
        const QString byDefault = m_effect.defaultOf(key);
        field.edit->setPlaceholderText(byDefault.isEmpty()
                                           ? QStringLiteral("none")
                                           : QStringLiteral("default: %1").arg(byDefault));
        field.problem->setObjectName(key + QStringLiteral("Problem"));
        field.problem->setStyleSheet(QStringLiteral("color: #b00000"));
        field.problem->setWordWrap(true);
        field.problem->hide();
        auto* column = new QVBoxLayout;
        column->addWidget(field.edit);
        column->addWidget(field.problem);
        QString label = QString::fromUtf8(setting.summary);
        label[0] = label[0].toUpper();
        page->addRow(label, column);
        connect(field.edit, &QLineEdit::textEdited, this, [this, key] {
            check(m_fields.at(key));
            checkAll();
        });
        m_fields.emplace(key, field);
    }
    addHandsetExtras(pages.at(QStringLiteral("Handset")));
    addControllerExtras(pages.at(QStringLiteral("Controller and door")));
    addGeneralExtras(pages.at(QStringLiteral("General")));
    addInfraredExtras(pages.at(QStringLiteral("Infrared")));
    addPhoneExtras(pages.at(QStringLiteral("Phone")));
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setWordWrap(true);
    m_buttons = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Apply | QDialogButtonBox::Cancel, this);
    connect(m_buttons->button(QDialogButtonBox::Ok), &QPushButton::clicked, this, [this] {
        if (apply())
            close();
    });
    connect(m_buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, this,
            [this] { apply(); });
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QWidget::close);
    // The keyboard lands in a page's first field: at the start, and when
    // Ctrl+Tab turns to another page.
    const auto focusFirstField = [this, tabs](int index) {
        for (const SettingEntry& setting : settingList())
            if (tabs->tabText(index) == QString::fromUtf8(setting.page)) {
                m_fields.at(QLatin1String(setting.key)).edit->setFocus();
                return;
            }
    };
    connect(tabs, &QTabWidget::currentChanged, this, focusFirstField);
    focusFirstField(0);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addWidget(m_status);
    layout->addWidget(m_buttons);
    reload();
    resize(sizeHint().expandedTo(QSize(620, 0)));
}

void SettingsWindow::reload() {
    for (auto& [key, field] : m_fields) {
        field.stored = QString::fromStdString(m_store->read(key.toStdString()));
        field.edit->setText(field.stored);
        check(field);
    }
    m_startStored = m_effect.startsWithSession();
    m_startWithSession->setChecked(m_startStored);
    m_buttonMap->load(m_store->readSection("LircButtons"));
    m_status->clear();
    checkAll();
    showStates();
}

void SettingsWindow::storedElsewhere(const QString& key) {
    if (key == QLatin1String("startWithSession")) {
        const bool edited = m_startWithSession->isChecked() != m_startStored;
        m_startStored = m_effect.startsWithSession();
        if (!edited)
            m_startWithSession->setChecked(m_startStored);
        return;
    }
    const auto found = m_fields.find(key);
    if (found == m_fields.end())
        return;
    Field& field = found->second;
    const bool edited = field.edit->text() != field.stored;
    field.stored = QString::fromStdString(m_store->read(key.toStdString()));
    if (!edited) {
        field.edit->setText(field.stored);
        check(field);
        checkAll();
    }
}

void SettingsWindow::showStates() {
    for (const auto& [page, label] : m_states) {
        label->setText(m_effect.stateOf(page));
        label->setVisible(!label->text().isEmpty());
    }
    showExtras();
}

void SettingsWindow::say(Field& field, const QString& text) {
    field.problem->setText(text);
    field.problem->setVisible(!text.isEmpty());
    field.edit->setStyleSheet(text.isEmpty() ? QString()
                                             : QStringLiteral("border: 2px solid #d00000"));
}

void SettingsWindow::check(Field& field) {
    const QString problem = settingProblem(*field.setting, field.edit->text());
    say(field, problem.isEmpty() ? QString() : QStringLiteral("This %1").arg(problem));
}

// Nothing that cannot be used can be stored: OK and Apply wait for it.
void SettingsWindow::checkAll() {
    bool usable = m_buttonMap->problem().isEmpty();
    for (const auto& [key, field] : m_fields)
        usable = usable && field.problem->text().isEmpty();
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(usable);
    m_buttons->button(QDialogButtonBox::Apply)->setEnabled(usable);
}

bool SettingsWindow::apply() {
    QStringList notStored;
    if (m_startWithSession->isChecked() != m_startStored) {
        const QString failure = m_effect.setStartWithSession(m_startWithSession->isChecked());
        if (!failure.isEmpty())
            notStored << failure;
        m_startStored = m_effect.startsWithSession();
        m_startWithSession->setChecked(m_startStored);
    }
    SettingsEffect::Changes changes = m_buttonMap->changes();
    for (const auto& [key, field] : m_fields)
        if (field.edit->text() != field.stored)
            changes[key] = field.edit->text();
    if (changes.empty()) {
        m_status->setText(notStored.join(QLatin1Char('\n')));
        return notStored.isEmpty();
    }
    const SettingsEffect::Changes failed = m_effect.putIntoEffect(changes);
    // What took effect is stored together, or not at all.
    SettingsEffect::Changes took;
    std::vector<nuvok::SettingsStore::Change> toStore;
    for (const auto& [key, value] : changes) {
        if (const auto failure = failed.find(key); failure != failed.end()) {
            say(m_fields.at(key), failure->second);
            continue;
        }
        took[key] = value;
        const qsizetype slash = key.indexOf(QLatin1Char('/'));
        // A field emptied goes back to the default: its key is removed, as
        // it was before anyone set it.
        toStore.push_back({slash < 0 ? "Settings" : key.left(slash).toStdString(),
                           key.mid(slash + 1).toStdString(),
                           value.isEmpty() ? std::nullopt : std::optional(value.toStdString())});
    }
    try {
        if (!toStore.empty())
            m_store->store(toStore);
        for (const auto& [key, value] : took)
            if (const auto field = m_fields.find(key); field != m_fields.end())
                field->second.stored = value;
        m_buttonMap->markStored(took);
    } catch (const std::exception& failure) {
        notStored << QString::fromLocal8Bit(failure.what()) +
                         QStringLiteral(" (the changes are in effect until the program ends)");
    }
    m_status->setText(notStored.join(QLatin1Char('\n')));
    checkAll();
    showStates();
    return failed.empty() && notStored.isEmpty();
}

void SettingsWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        // Esc first gives up learning a button, then closes.
        if (m_buttonMap->learning())
            m_buttonMap->cancelLearning();
        else
            close();
        return;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        m_buttons->button(QDialogButtonBox::Ok)->isEnabled()) {
        if (apply())
            close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void SettingsWindow::hideEvent(QHideEvent* event) {
    m_buttonMap->cancelLearning();
    QWidget::hideEvent(event);
}
