#include "app/f_nuvokrc.h"

#include "app/settings/settingswindow.h"
#include "common/buildconfig.h"

#include "app/cardtext.h"
#include "app/commandline.h"
#include "app/dialogs.h"
#include "app/startsettings.h"
#include "app/traystuff.h"
#include "app/twips.h"
#include "common/failure.h"
#include "common/numtext.h"
#include "web/phoneinput.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QStringList>
#include <algorithm>
#include <cmath>

void F_NUVOKrc::Form_Load(const std::string& commandLine) {
    // The players, the controller and who may send are known before the
    // first key can arrive: keys come in while the no-mixer box is open, and
    // after a failed start the user can still press Listen.
    reportFailures([this] { readStartSettings(); });
    // The program's own idea of the window: minimised until the user asks for
    // it (a click on the icon, once the event loop runs). What the window
    // manager did with the window meanwhile does not count. The window system
    // is told only when the window is shown: a window it knows as minimised
    // is mapped as an icon when shown later from the notification area, and
    // the window manager's report of that would read as the user minimising.
    m_minimisedAtStart = true;
    winId(); // the window exists, hidden, for whoever looks for it

    // The listener's steps: a failure ends them with one log line.
    reportFailures([&] {
        twips::setOuterWidth(*this, kNormalWidth);
        m_startWidthPending = true;
        m_tray->addTrayIcon();

        if (const std::optional<double> value = CommandLine::portIn(commandLine)) {
            // A huge number goes through the box written without a fraction,
            // so in any decimal format.
            writePortBox(
                QString::fromStdString(nuvok::plainNumberText(*value, m_options.decimalSeparator)));
            C_PortNum_Change();
            if (m_unloaded)
                return; // closed while the listener opened
            logData(QStringLiteral("Port:") +
                    QString::fromStdString(nuvok::signedNumberText(m_handset->listenPort)));
        } else {
            m_handset->listenPort = storedPort(*m_services.settings);
        }

        doListen(); // with the stored protocol
    });
    if (m_unloaded)
        return;

    // Put away whether or not the listener opened: without a notification
    // area a window that was never shown has no taskbar entry, and nobody
    // could reach it to choose another port. A window bound for the
    // notification area is not shown at all: an X window manager may map it
    // normally whatever it is asked, and may keep a window on the taskbar
    // that was withdrawn the moment it was mapped. A click on the icon shows
    // it. Where the window system does not report a minimise (Wayland), a
    // window without a notification area starts open: the desktop may have
    // no way to give a minimised window back.
    reportFailures([&] {
        if (!m_tray->hidesToTray()) {
            if (m_tray->minimiseReported())
                setWindowState(Qt::WindowMinimized);
            else
                m_minimisedAtStart = false;
            show();
        }
        // Once the events waiting now are handled, the window manager's
        // answer to the show among them: start-up never handles events
        // itself.
        QMetaObject::invokeMethod(this, guarded(&F_NUVOKrc::putAwayAtStart), Qt::QueuedConnection);
    });
    if (m_unloaded)
        return;

    // Independent of the listener, so that after a failed start the volume
    // keys and the menu mark work once the user has chosen another port.
    reportFailures([&] {
        if (readStartWithSession())
            m_add2reg->setChecked(true);
        createVolumeObject();
    });
}

// A window manager asked to show the window minimised may map it normally
// first and say so a moment later; asked again before it has taken the
// window on, it may keep it shown. So the window is put away after the
// window manager's first answer, and for a while after that an answer that it
// is shown is no request of the user's (see changeEvent).
void F_NUVOKrc::putAwayAtStart() {
    if (m_unloaded)
        return;
    keepStartWidth(); // the start width waits for the frame
    if (m_minimisedAtStart) {
        m_startSettling.setRemainingTime(kStartSettlingMs);
        m_tray->putAway(Qt::WindowMinimized);
    }
}

void F_NUVOKrc::readStartSettings() {
    m_session->strAudioTitle = QStringLiteral("Winamp");
    m_session->strVideoTitle = QStringLiteral("VLC");
    applyStartSettings(*m_services.settings, nullptr);
}

// What the settings say, for every group (changed: null) or for the groups
// of the changed keys.
void F_NUVOKrc::applyStartSettings(const nuvok::SettingsStore& store,
                                   const std::set<QString>* changed) {
    const auto any = [changed](std::initializer_list<const char*> keys) {
        if (!changed)
            return true;
        for (const char* key : keys) {
            const QLatin1String name(key);
            // A section's entries are changed as "<section>/<key>".
            const auto after = changed->lower_bound(name);
            if (changed->count(name) || (name.endsWith(QLatin1Char('/')) &&
                                         after != changed->end() && after->startsWith(name)))
                return true;
        }
        return false;
    };
    RemoteSession& session = *m_session;
    const StartSettings settings =
        ::readStartSettings(store, m_options.controllerHost, m_options.controllerPort,
                            QString::fromLatin1(nuvok::build::kLircSocket));
    if (any({"VideoTitle", "AudioTitle"})) {
        session.strAudioTitle = settings.audioTitle;
        session.strVideoTitle = settings.videoTitle;
        // The "6" key's title is fixed unless the user set an audio title.
        session.nextSongTitle =
            store.read("AudioTitle").empty() ? QStringLiteral("Winamp") : settings.audioTitle;
    }
    if (any({"ControllerHost", "ControllerPort"}))
        session.setController(settings.controllerHost, settings.controllerPort);
    if (any({"Handsets"}))
        m_handset->setHandsets(settings.handsets);
    if (any({"Handsets", "ControllerHandsets", "DoorOverTcpOnly"}))
        session.setControllerTrust(settings.controllerTrust);
    if (any({"Notifications"})) {
        m_notify->setChecked(settings.notifications);
        session.feedback()->setEnabled(settings.notifications);
    }
    if (any({"LircSocket", "LircHost", "LircPort", "LircRemotes", "LircButtons/"})) {
        m_infrared->setSettings(settings.lirc);
        m_infrared->start();
    }
    if (any({"WebRemote", "WebRemotePort"})) {
        m_phone->setServing(settings.webRemote, settings.webRemotePort);
        reportFailures([this] { m_phone->start(); });
        if (m_phone->serving() && m_phone->server()->isListening())
            logData(QStringLiteral("Web remote: the phone page is served on port %1")
                        .arg(m_phone->port()));
    }
    if (any({"PlayerControl"}))
        session.playerControl = nuvok::playerControlFromSetting(store.read("PlayerControl"));
    // Said at start-up; the settings window stores only what can be used.
    if (!changed)
        for (const QString& line : settings.problems)
            logData(line);
}

void F_NUVOKrc::closeEvent(QCloseEvent* event) {
    event->accept();
    if (m_unloaded)
        return;
    m_unloaded = true;
    emit closing();
    // The settings window goes with the program: changes not applied are not stored.
    if (m_settingsWindow)
        m_settingsWindow->close();
    // The close goes through whatever fails on the way.
    reportFailures([this] { Form_QueryUnload(); });
    reportFailures([this] { Form_Unload(); });
    emit unloaded();
}

void F_NUVOKrc::Form_QueryUnload() {
    setWindowState(windowState() | Qt::WindowMinimized);
}

void F_NUVOKrc::Form_Unload() {
    m_tray->removeTrayIcon();
    // Nothing holds the end: what has not reached the controller is dropped
    // and named in one line.
    m_session->end();
}

void F_NUVOKrc::m_help_Click() {
    // Before start-up has named the players the card shows the usual ones.
    const QString& video = m_session->strVideoTitle;
    const QString& audio = m_session->strAudioTitle;
    m_services.dialogs->message(video.isEmpty() || audio.isEmpty() ? cardText::usage()
                                                                   : cardText::usage(video, audio),
                                QStringLiteral("Usage Info"));
}

void F_NUVOKrc::m_info_Click() {
    m_services.dialogs->message(cardText::about(), QStringLiteral("Info"));
}
