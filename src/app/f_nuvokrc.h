#pragma once

#include "app/logpanel.h"
#include "app/settings/settingseffect.h"
#include "app/windowservices.h"
#include "input/handsetinput.h"
#include "input/infraredinput.h"
#include "net/controllerlink.h"
#include "remote/droptally.h"
#include "session/remotesession.h"

#include <QDeadlineTimer>
#include <QIcon>
#include <QMainWindow>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTimer;

class clsVolume;
class PhoneBook;
class PhoneInput;
class SettingsWindow;
class TrayStuff;

// Tunables of the main window. The defaults are the program's own; tests
// shorten the controller's deadline and point the controller at loopback.
struct WindowOptions {
    QString controllerHost;
    float controllerPort;
    int controllerDeadlineMs = ControllerLink::kDefaultDeadlineMs;
    int maxLogLines = 100000;
    bool logToStderr = false;
    char decimalSeparator; // of the user's number format
    // When what senders outside Handsets sent is summed up in the log.
    nuvok::DropTiming dropTiming;
    // How long the sound server and the players may take before they count as hung.
    PeerTimes peerTimes;
    WindowOptions();
};

// The program's one window: the controls, the listener and start-up; the
// interpreter, the peers and the controller are the session's.
class F_NUVOKrc : public QMainWindow, private SettingsEffect {
    Q_OBJECT

public:
    explicit F_NUVOKrc(WindowServices services = {}, WindowOptions options = {},
                       QWidget* parent = nullptr);
    ~F_NUVOKrc() override;

    // Log panel
    void logData(const QString& strText);
    QString logText() const; // the panel's text with CR LF line ends
    int logCaret() const;    // caret offset in the CR LF text

    // The notification-area icon and the window's minimise handling.
    TrayStuff& tray() { return *m_tray; }

    // The run behind the window: the inputs, interpreter, peers, controller.
    RemoteSession* session() const { return m_session; }
    // The handset's listener, whose port and state the window shows.
    HandsetInput* handset() const { return m_handset; }

    // Start-up; the argument text is what followed the program name.
    void Form_Load(const std::string& commandLine);

    // Runs an operation whose failure is reported as one log line. Every handler
    // reached from the event loop runs through it: an exception leaving a slot
    // or an event handler would end the program.
    void reportFailures(const std::function<void()>& operation);

    // A later start of the program, handed over with its argument text, read
    // by the program's own rules: no arguments show the window, "-min" leaves
    // it as it is, "-port N" listens on N for this run (and, where that
    // cannot be, stays where it was); "--settings" shows the settings window
    // as well. The activation token lets a Wayland compositor give the shown
    // window the focus.
    struct LaterStart {
        bool done = false;
        QString text; // what was done, or why not: "its window is shown"
    };
    LaterStart takeOverStart(const std::string& arguments, const QString& activationToken,
                             bool settings = false);
    // A new pairing code for a phone, as links to the web remote (one per
    // address of this PC); empty while the web remote is off.
    QStringList pairingLinks() override;

    // The settings window, made when first asked for, shown and raised.
    void showSettings();

signals:
    void closing();  // the window begins to close: no later start is taken over
    void unloaded(); // the window has been closed and the program may end

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void m_settings_Click();
    // The controls' and the menu's handlers, run through reportFailures.
    void Form_QueryUnload();
    void Form_Unload();
    void doListen(); // (re)opens the listener on the port with the stored protocol
    void b_listen_Click();
    void Timer1_Timer();
    void m_port_Click();
    void m_protocol_Click();
    void C_PortNum_Change();
    void C_PortNum_KeyPress(int keyAscii);
    void m_add2reg_Click();
    void m_info_Click();
    void m_help_Click();
    void B_clr_Click();
    void m_more_Click();
    void m_retry_Click();
    void m_echo_Click();
    void m_notify_Click();
    void t_receive_Change();
    void Form_Resize();
    void createVolumeObject(); // the one clsVolume, from the window services
    void putAwayAtStart();     // the window minimised or hidden, once start-up has shown it
    void rightClick();         // window state to normal, as when the user asks for the window

private:
    // Controls, named as the window shows them (and as their object names).
    QLineEdit* T_mode = nullptr;
    QComboBox* Combo_IP = nullptr;
    QComboBox* C_PortNum = nullptr;
    QLineEdit* T_RemIP = nullptr;
    QPushButton* b_listen = nullptr;
    QLineEdit* T_state = nullptr;
    QLineEdit* T_remoteHost = nullptr;
    QLineEdit* T_RPort = nullptr;
    QLabel* Label1 = nullptr;
    QFrame* Line1 = nullptr;
    LogPanel* t_receive = nullptr;
    QPushButton* B_clr = nullptr;
    QLabel* icon_green = nullptr;
    QLabel* icon_blue = nullptr;
    QTimer* Timer1 = nullptr;

    // Menu
    QMenu* m_opt = nullptr;
    QAction* m_port = nullptr;
    QAction* m_destination = nullptr;
    QAction* m_retry = nullptr;
    QAction* m_echo = nullptr;
    QAction* m_protocol = nullptr;
    QAction* m_add2reg = nullptr;
    QAction* m_notify = nullptr;
    QAction* m_settings = nullptr;
    SettingsWindow* m_settingsWindow = nullptr; // made when first asked for
    QMenu* m_1 = nullptr;
    QAction* m_info = nullptr;
    QAction* m_more = nullptr;
    QAction* m_help = nullptr;

    bool readStartWithSession() const; // whether the start entry is stored
    QString storeStartWithSession(bool wanted);
    // The outer width at start and after Enlarge is turned off, and enlarged.
    static constexpr int kNormalWidth = 4680;
    static constexpr int kEnlargedWidth = 9450;
    void createControls();
    void nameControls();
    void createPhoneInput();
    void createMenu();
    void applyEnlarged();
    void keepStartWidth();
    void keepMinimisedAtStart();
    bool startHoldsMinimised() const;
    std::string readSetting(const char* key) const;
    // The port to listen on when no -port is given: the stored one, or 65530.
    static float storedPort(const nuvok::SettingsStore& store);
    Changes putIntoEffect(const Changes& changes) override;
    QString stateOf(const QString& page) const override;
    QString defaultOf(const QString& key) const override;
    QString lastSender() const override;
    bool startsWithSession() const override;
    QString setStartWithSession(bool on) override;
    void learnButton(Learner learner) override;
    PhoneBook& phoneBook() override { return *m_phoneBook; }
    void lookForPlayers();
    QString m_playersFound; // where the players were found, when last looked for
    void applyStartSettings(const nuvok::SettingsStore& store, const std::set<QString>* changed);
    // A handler as a slot, run through reportFailures.
    template <typename... Args> auto guarded(void (F_NUVOKrc::*handler)(Args...)) {
        return [this, handler](Args... args) {
            reportFailures([this, handler, &args...] { (this->*handler)(args...); });
        };
    }
    void writePortBox(const QString& text);
    void portBoxEdited();
    void showActivity(bool busy);
    // One picture change of the activity display, in the order they are asked for.
    enum class PictureOf { Tray, Window };
    void showPicture(PictureOf where, const QIcon& picture);
    void showQueuedPictures();
    void showPeer();
    void readStartSettings();

    WindowServices m_services;
    WindowOptions m_options;
    QIcon m_greenIcon;
    QIcon m_blueIcon;
    // Picture changes waiting for the end of the handler that asked for them.
    std::vector<std::pair<PictureOf, QIcon>> m_queuedPictures;
    // What the window's own icon is to be; a hidden window gets it when shown.
    QIcon m_windowPicture;
    RemoteSession* m_session = nullptr;
    HandsetInput* m_handset = nullptr;   // the session's
    InfraredInput* m_infrared = nullptr; // the session's
    PhoneBook* m_phoneBook = nullptr;
    PhoneInput* m_phone = nullptr;      // the session's
    std::optional<int> m_volumePercent; // the last level a step told, for the phones
    std::unique_ptr<TrayStuff> m_tray;
    int m_quietPortBoxWrites = 0;
    bool m_minimisedAtStart = false;  // until the user restores the window during start-up
    bool m_unloaded = false;          // the window has been closed
    bool m_startWidthPending = false; // the start width awaits the window manager's frame
    // While it runs, a window system that shows the start window is overruled.
    QDeadlineTimer m_startSettling{0};
    static constexpr int kStartSettlingMs = 3000;
};
