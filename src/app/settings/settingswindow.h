#pragma once

#include "app/settings/settinglist.h"
#include "app/settings/settingseffect.h"
#include "shell/settingsstore.h"

#include <QWidget>

#include <map>
#include <memory>

class ButtonMapEditor;
class ControllerProbe;
class PhonesPage;
class QCheckBox;
class QDialogButtonBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;

// The settings window: every setting of the one list, on its page, checked
// as it is typed. OK and Apply put the changes into effect first and store
// what took effect; Cancel and Esc store nothing. Not modal.
class SettingsWindow : public QWidget {
    Q_OBJECT

public:
    SettingsWindow(std::shared_ptr<nuvok::SettingsStore> store, SettingsEffect& effect,
                   QWidget* parent = nullptr);

    // Reads the stored values into the fields again (when shown, and when
    // the main window stored one).
    void reload();
    // A value stored elsewhere (the menu's Protocol, Show notifications,
    // "startWithSession" for the start entry): shown, unless the user has
    // changed it here.
    void storedElsewhere(const QString& key);
    // True when every change took effect and was stored.
    bool apply();
    // Says again what the settings in effect do, on every page.
    void showStates();
    ButtonMapEditor* buttonMap() const { return m_buttonMap; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    struct Field {
        const SettingEntry* setting;
        QLineEdit* edit;
        QLabel* problem;
        QString stored;
    };
    void check(Field& field);
    void checkAll();
    void say(Field& field, const QString& text);
    // What some pages have beyond their fields.
    void addHandsetExtras(QFormLayout* page);
    void addControllerExtras(QFormLayout* page);
    void addGeneralExtras(QFormLayout* page);
    void addInfraredExtras(QFormLayout* page);
    void addPhoneExtras(QFormLayout* page);
    void letInLastSender();
    void testController();
    void showExtras();
    QString valueOrDefault(const char* key) const;

    std::shared_ptr<nuvok::SettingsStore> m_store;
    SettingsEffect& m_effect;
    std::map<QString, Field> m_fields;   // by key
    std::map<QString, QLabel*> m_states; // by page
    QPushButton* m_lastSender = nullptr;
    ControllerProbe* m_probe = nullptr;
    QLabel* m_probeAnswer = nullptr;
    QCheckBox* m_startWithSession = nullptr;
    ButtonMapEditor* m_buttonMap = nullptr;
    PhonesPage* m_phones = nullptr;
    bool m_startStored = false;
    QLabel* m_status;
    QDialogButtonBox* m_buttons;
};
