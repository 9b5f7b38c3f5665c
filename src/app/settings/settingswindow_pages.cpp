// What some pages of the settings window have beyond their fields: the last
// sender let in with one click, the controller's test, the start entry and
// the settings' folder.

#include "app/settings/buttonmapeditor.h"
#include "app/settings/controllerprobe.h"
#include "app/settings/phonespage.h"
#include "app/settings/settingswindow.h"
#include "net/handsetlist.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>

namespace {

QPushButton* namedButton(const QString& text, const char* name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    return button;
}

} // namespace

QString SettingsWindow::valueOrDefault(const char* key) const {
    const QString typed = m_fields.at(QLatin1String(key)).edit->text().trimmed();
    return typed.isEmpty() ? m_effect.defaultOf(QLatin1String(key)) : typed;
}

void SettingsWindow::addHandsetExtras(QFormLayout* page) {
    m_lastSender = namedButton(QString(), "letInLastSender", this);
    connect(m_lastSender, &QPushButton::clicked, this, &SettingsWindow::letInLastSender);
    page->addRow(QString(), m_lastSender);
}

// The handset heard last joins the handsets let in, as typed: OK stores it.
void SettingsWindow::letInLastSender() {
    const QString sender = m_effect.lastSender();
    Field& handsets = m_fields.at(QStringLiteral("Handsets"));
    const QString typed = handsets.edit->text().trimmed();
    handsets.edit->setText(typed.isEmpty() ? sender : typed + QStringLiteral(", ") + sender);
    check(handsets);
    checkAll();
    showExtras();
}

void SettingsWindow::addControllerExtras(QFormLayout* page) {
    m_probe = new ControllerProbe(this);
    auto* test = namedButton(QStringLiteral("&Test"), "controllerTest", this);
    test->setToolTip(QStringLiteral("Connects to the controller and closes again; sends nothing"));
    m_probeAnswer = new QLabel(this);
    m_probeAnswer->setObjectName(QStringLiteral("controllerTestAnswer"));
    m_probeAnswer->setWordWrap(true);
    auto* row = new QHBoxLayout;
    row->addWidget(test);
    row->addWidget(m_probeAnswer, 1);
    page->addRow(QString(), row);
    connect(test, &QPushButton::clicked, this, &SettingsWindow::testController);
    connect(m_probe, &ControllerProbe::answered, m_probeAnswer, &QLabel::setText);
}

// The address as typed, before it is stored: a wrong one is said under its
// field instead.
void SettingsWindow::testController() {
    for (const char* key : {"ControllerHost", "ControllerPort"})
        if (!m_fields.at(QLatin1String(key)).problem->text().isEmpty()) {
            m_probeAnswer->setText(QStringLiteral("Mend the address first"));
            return;
        }
    const ControllerLink::Destination to{valueOrDefault("ControllerHost"),
                                         valueOrDefault("ControllerPort").toInt()};
    m_probeAnswer->setText(QStringLiteral("Connecting…"));
    m_probe->probe(to);
}

void SettingsWindow::addGeneralExtras(QFormLayout* page) {
    m_startWithSession = new QCheckBox(QStringLiteral("Start with the session"), this);
    m_startWithSession->setObjectName(QStringLiteral("startWithSession"));
    page->addRow(QString(), m_startWithSession);
    const QString location = QString::fromStdString(m_store->location());
    const QDir folder = QFileInfo(location).absoluteDir();
    // Settings in the registry have no folder to open.
    if (location.isEmpty() || !folder.exists())
        return;
    auto* open =
        namedButton(QStringLiteral("&Open the settings folder"), "openSettingsFolder", this);
    connect(open, &QPushButton::clicked, this,
            [folder] { QDesktopServices::openUrl(QUrl::fromLocalFile(folder.absolutePath())); });
    page->addRow(QString(), open);
}

void SettingsWindow::showExtras() {
    const QString sender = m_effect.lastSender();
    const HandsetList letIn =
        HandsetList::parse(m_fields.at(QStringLiteral("Handsets")).edit->text(), nullptr, nullptr);
    m_lastSender->setVisible(!sender.isEmpty());
    m_lastSender->setText(QStringLiteral("&Let in the last sender, %1").arg(sender));
    m_lastSender->setEnabled(!(letIn.restricted() && letIn.admits(QHostAddress(sender))));
}

void SettingsWindow::addPhoneExtras(QFormLayout* page) {
    m_phones = new PhonesPage(
        m_effect.phoneBook(), [this] { return m_effect.pairingLinks(); }, this);
    page->addRow(m_phones);
    connect(m_phones, &PhonesPage::problemChanged, this,
            [this] { m_status->setText(m_phones->problem()); });
}

void SettingsWindow::addInfraredExtras(QFormLayout* page) {
    m_buttonMap = new ButtonMapEditor(
        [this](SettingsEffect::Learner learner) { m_effect.learnButton(learner); }, this);
    page->addRow(QStringLiteral("The buttons"), m_buttonMap);
    connect(m_buttonMap, &ButtonMapEditor::edited, this, [this] {
        checkAll();
        m_status->setText(m_buttonMap->problem());
    });
}
