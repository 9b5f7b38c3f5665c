#include "app/f_nuvokrc.h"
#include "app/settings/settingswindow.h"

#include "app/emptyservices.h"

#include "app/icons.h"
#include "app/traystuff.h"
#include "app/twips.h"
#include "common/buildconfig.h"
#include "common/numtext.h"

#include <QAction>
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QTimer>
#include <algorithm>

namespace {

constexpr int kLogTop = 1200;
// Frame and margins of a one-line text field, in pixels.
constexpr int kFieldPadding = 8;

void place(QWidget* widget, int left, int top, int width, int height) {
    widget->setGeometry(twips::toPixels(left), twips::toPixels(top), twips::toPixels(width),
                        twips::toPixels(height));
}

// The layout is fixed; where a caption is wider than its box in the user's
// font, a smaller font shows all of it instead of cutting it off.
void fitFont(QWidget* widget, const QString& text, int padding) {
    QFont font = widget->font();
    if (font.pointSizeF() <= 0)
        return;
    while (font.pointSizeF() > 5 &&
           QFontMetrics(font).horizontalAdvance(text) + padding > widget->width())
        font.setPointSizeF(font.pointSizeF() - 0.5);
    widget->setFont(font);
}

QLineEdit* readOnlyField(QWidget* parent, const QString& text, const QString& tip = {}) {
    auto* field = new QLineEdit(text, parent);
    field->setReadOnly(true);
    if (!tip.isEmpty())
        field->setToolTip(tip);
    return field;
}

void setBackground(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Base, colour);
    widget->setPalette(palette);
}

} // namespace

WindowOptions::WindowOptions()
    : controllerHost(QString::fromLatin1(nuvok::build::kControllerHost)),
      controllerPort(static_cast<float>(nuvok::build::kControllerPort)),
      decimalSeparator(QLocale::system().decimalPoint().at(0).toLatin1()) {}

F_NUVOKrc::F_NUVOKrc(WindowServices services, WindowOptions options, QWidget* parent)
    : QMainWindow(parent), m_services(std::move(services)), m_options(std::move(options)),
      m_greenIcon(icons::idle()), m_blueIcon(icons::busy()) {
    fillEmptyServices(m_services, [this](const QString& line) { logData(line); });
    // First: the window's state changes reach the icon's handling from here on.
    m_tray = std::make_unique<TrayStuff>(
        *this, m_services.trayArea,
        TrayStuff::Hooks{
            [this](const QString& line) { logData(line); },
            [this](const std::function<void()>& operation) { reportFailures(operation); },
            [this] { rightClick(); }});
    setWindowTitle(QStringLiteral("NUVOK Remote Control"));
    setWindowIcon(m_greenIcon);
    createControls();
    createMenu();
    resize(twips::toPixels(9330), twips::toPixels(6030) + menuBar()->sizeHint().height());

    m_session =
        new RemoteSession(m_services.desktop, m_services.players, m_options.peerTimes, this);
    m_handset = new HandsetInput(m_options.dropTiming);
    m_session->addInput(m_handset);
    m_infrared = new InfraredInput();
    m_session->addInput(m_infrared);
    createPhoneInput();
    connect(m_handset, &HandsetInput::peerAccepted, this, guarded(&F_NUVOKrc::showPeer));
    connect(m_session, &RemoteSession::busy, this, &F_NUVOKrc::showActivity);
    m_session->setController(m_options.controllerHost, m_options.controllerPort);
    m_session->controllerLink()->setDeadlineMs(m_options.controllerDeadlineMs);
    connect(m_session, &RemoteSession::logLine, this,
            [this](const QString& line) { reportFailures([&] { logData(line); }); });
    // Every key shows the mode, mostly the one shown already: that changes nothing.
    connect(m_session, &RemoteSession::modeShown, T_mode, [this](const QString& text) {
        if (T_mode->text() != text)
            T_mode->setText(text);
    });
    m_session->feedback()->setService(m_services.notifications);

    Timer1 = new QTimer(this);
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, guarded(&F_NUVOKrc::Timer1_Timer));
    connect(Timer1, &QTimer::timeout, this, guarded(&F_NUVOKrc::keepStartWidth));
    connect(Timer1, &QTimer::timeout, this, guarded(&F_NUVOKrc::keepMinimisedAtStart));
    Timer1->start();
    nameControls();
}

// Tests and accessibility tools find the controls by their names.
void F_NUVOKrc::nameControls() {
    const std::pair<QObject*, const char*> named[] = {
        {T_mode, "T_mode"},
        {Combo_IP, "Combo_IP"},
        {C_PortNum, "C_PortNum"},
        {T_RemIP, "T_RemIP"},
        {b_listen, "b_listen"},
        {T_state, "T_state"},
        {T_remoteHost, "T_remoteHost"},
        {T_RPort, "T_RPort"},
        {Label1, "Label1"},
        {Line1, "Line1"},
        {t_receive, "t_receive"},
        {B_clr, "B_clr"},
        {icon_green, "icon_green"},
        {icon_blue, "icon_blue"},
        {Timer1, "Timer1"},
        {m_opt, "m_opt"},
        {m_port, "m_port"},
        {m_destination, "m_destination"},
        {m_retry, "m_retry"},
        {m_echo, "m_echo"},
        {m_protocol, "m_protocol"},
        {m_add2reg, "m_add2reg"},
        {m_notify, "m_notify"},
        {m_settings, "m_settings"},
        {m_1, "m_1"},
        {m_info, "m_info"},
        {m_more, "m_more"},
        {m_help, "m_help"},
    };
    for (const auto& [object, name] : named)
        object->setObjectName(QLatin1String(name));
}

F_NUVOKrc::~F_NUVOKrc() = default;

void F_NUVOKrc::createControls() {
    auto* client = new QWidget(this);
    setCentralWidget(client);

    QFont fieldFont(QStringLiteral("MS Sans Serif"));
    fieldFont.setPointSizeF(8.25);
    fieldFont.setBold(true);
    QFont ipFont(QStringLiteral("Courier New"));
    ipFont.setPointSizeF(9);
    ipFont.setBold(true);
    const QColor scrollBarColour = palette().color(QPalette::Button);

    T_mode = readOnlyField(client, QStringLiteral("mode"));
    place(T_mode, 120, 120, 975, 285);
    T_mode->setFont(fieldFont);
    setBackground(T_mode, scrollBarColour);

    Combo_IP = new QComboBox(client);
    Combo_IP->setEditable(true);
    Combo_IP->addItems(
        {QStringLiteral("localhost"), QStringLiteral("127.0.0.1"), QStringLiteral("192.0.0.1")});
    Combo_IP->setInsertPolicy(QComboBox::NoInsert);
    // Editable boxes show exactly what was typed: Qt's inline completion from
    // the list would show an entry while the typed text is what counts.
    Combo_IP->setCompleter(nullptr);
    Combo_IP->setEditText(QStringLiteral("localhost"));
    Combo_IP->setToolTip(QStringLiteral("Destination IP or Name"));
    place(Combo_IP, 1200, 120, 3255, 315);

    C_PortNum = new QComboBox(client);
    C_PortNum->setEditable(true);
    C_PortNum->setInsertPolicy(QComboBox::NoInsert);
    C_PortNum->setCompleter(nullptr);
    C_PortNum->addItems({"21", "22", "23", "53", "67", "68", "80", "443", "1900", "7000", "7001",
                         "7007", "8080", "8000", "8001", "33000", "33001", "33002"});
    C_PortNum->setEditText(QStringLiteral("80"));
    place(C_PortNum, 4560, 120, 975, 315);
    // Typing applies the box; picking from the list only shows the entry.
    connect(C_PortNum->lineEdit(), &QLineEdit::textEdited, this, &F_NUVOKrc::portBoxEdited);
    C_PortNum->lineEdit()->installEventFilter(this);

    T_RemIP = readOnlyField(client, QStringLiteral("000.000.000.000"), QStringLiteral("Remote IP"));
    T_RemIP->setFont(ipFont);
    place(T_RemIP, 5640, 120, 1695, 285);
    fitFont(T_RemIP, T_RemIP->text(), kFieldPadding);

    b_listen = new QPushButton(QStringLiteral("&Listen"), client);
    place(b_listen, 120, 600, 855, 255);
    connect(b_listen, &QPushButton::clicked, this, guarded(&F_NUVOKrc::b_listen_Click));

    T_state = readOnlyField(client, QStringLiteral("state"));
    T_state->setFont(fieldFont);
    setBackground(T_state, palette().color(QPalette::Inactive, QPalette::PlaceholderText));
    place(T_state, 1200, 600, 375, 285);

    T_remoteHost = readOnlyField(client, QStringLiteral("Remote Host Name"),
                                 QStringLiteral("Remote Host Name"));
    T_remoteHost->setFont(fieldFont);
    setBackground(T_remoteHost, scrollBarColour);
    place(T_remoteHost, 1800, 600, 2655, 285);
    fitFont(T_remoteHost, T_remoteHost->text(), kFieldPadding);

    T_RPort = readOnlyField(client, QStringLiteral("Remote Port"), QStringLiteral("Remote Port"));
    T_RPort->setFont(fieldFont);
    setBackground(T_RPort, scrollBarColour);
    place(T_RPort, 4560, 600, 975, 285);
    fitFont(T_RPort, T_RPort->text(), kFieldPadding);

    Label1 = new QLabel(QStringLiteral("Send Draft:"), client);
    place(Label1, 7440, 360, 855, 255);
    fitFont(Label1, Label1->text(), 0);

    Line1 = new QFrame(client);
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Plain);
    Line1->setGeometry(twips::toPixels(240), twips::toPixels(1080), twips::toPixels(13920 - 240),
                       1);

    t_receive = new LogPanel(m_options.maxLogLines, client);
    t_receive->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    t_receive->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The panel has the focus at start; Tab moves on instead of typing a tab.
    t_receive->setTabChangesFocus(true);
    t_receive->setPlainText(QStringLiteral("received data:\n"));
    place(t_receive, 120, kLogTop, 7035, 4755);
    connect(t_receive, &QPlainTextEdit::textChanged, this, guarded(&F_NUVOKrc::t_receive_Change));

    B_clr = new QPushButton(QStringLiteral("CLR"), client);
    place(B_clr, 6480, 2280, 495, 255);
    connect(B_clr, &QPushButton::clicked, this, guarded(&F_NUVOKrc::B_clr_Click));

    icon_green = new QLabel(client);
    icon_green->setPixmap(m_greenIcon.pixmap(64, 64));
    place(icon_green, 8040, 4080, 960, 960);
    icon_blue = new QLabel(client);
    icon_blue->setPixmap(m_blueIcon.pixmap(64, 64));
    place(icon_blue, 7680, 3840, 960, 960);

    for (QLabel* label : {Label1, icon_green, icon_blue})
        label->setFocusPolicy(Qt::NoFocus);
    const QList<QWidget*> tabOrder = {t_receive, b_listen, T_state,   Combo_IP, T_remoteHost,
                                      T_RPort,   T_RemIP,  C_PortNum, B_clr,    T_mode};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    t_receive->setFocus();
}

void F_NUVOKrc::createMenu() {
    m_opt = menuBar()->addMenu(QStringLiteral("&Options"));
    m_port = m_opt->addAction(QStringLiteral("&Port"));
    m_port->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    m_destination = m_opt->addAction(QStringLiteral("&Destination"));
    m_retry = m_opt->addAction(QStringLiteral("Re&try connection forever"));
    m_retry->setCheckable(true);
    m_echo = m_opt->addAction(QStringLiteral("&Local Echo"));
    m_echo->setCheckable(true);
    m_protocol = m_opt->addAction(QStringLiteral("Pr&otocol"));
    m_add2reg = m_opt->addAction(QStringLiteral("&Add to Registry: Start on Power up"));
    m_add2reg->setCheckable(true);
    m_notify = m_opt->addAction(QStringLiteral("Show &notifications"));
    m_notify->setCheckable(true);
    m_notify->setChecked(true);
    connect(m_notify, &QAction::triggered, this, guarded(&F_NUVOKrc::m_notify_Click));
    // Every setting in one window, at the menu's end.
    m_settings = m_opt->addAction(QStringLiteral("&Settings\u2026"));
    m_settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    connect(m_settings, &QAction::triggered, this, guarded(&F_NUVOKrc::m_settings_Click));
    connect(m_port, &QAction::triggered, this, guarded(&F_NUVOKrc::m_port_Click));
    connect(m_protocol, &QAction::triggered, this, guarded(&F_NUVOKrc::m_protocol_Click));
    connect(m_add2reg, &QAction::triggered, this, guarded(&F_NUVOKrc::m_add2reg_Click));

    m_1 = menuBar()->addMenu(QStringLiteral("&Info"));
    m_info = m_1->addAction(QStringLiteral("&About"));
    m_more = m_1->addAction(QStringLiteral("&Enlarge"));
    m_more->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    m_more->setCheckable(true);
    connect(m_more, &QAction::triggered, this, guarded(&F_NUVOKrc::applyEnlarged));
    m_help = m_1->addAction(QStringLiteral("&Help"));
    m_help->setShortcut(QKeySequence(Qt::Key_F1));
    connect(m_info, &QAction::triggered, this, guarded(&F_NUVOKrc::m_info_Click));
    connect(m_help, &QAction::triggered, this, guarded(&F_NUVOKrc::m_help_Click));
}

// ---- Size and width --------------------------------------------------------

// The width is an outer width, and the frame is known only once a window
// manager has framed the shown window, which may be long after start-up when
// the window starts hidden in the notification area.
void F_NUVOKrc::keepStartWidth() {
    if (!m_startWidthPending || !isVisible() || frameGeometry().width() == width())
        return;
    m_startWidthPending = false;
    const int wanted = m_more->isChecked() ? kEnlargedWidth : kNormalWidth;
    if (twips::outerWidth(*this) != wanted)
        twips::setOuterWidth(*this, wanted);
}

void F_NUVOKrc::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    reportFailures([this] { Form_Resize(); });
}

void F_NUVOKrc::Form_Resize() {
    const int h = twips::outerHeight(*this) - kLogTop - 900;
    if (h > 0)
        t_receive->resize(t_receive->width(), twips::toPixels(h));
    const int w = twips::outerWidth(*this) - 400;
    if (w > 0 && twips::toPixels(w) != t_receive->width())
        t_receive->resize(twips::toPixels(w), t_receive->height());
}

// Choosing a checkable entry flips its mark first; the mark is the flag.
void F_NUVOKrc::m_more_Click() {
    m_more->trigger();
}

void F_NUVOKrc::applyEnlarged() {
    twips::setOuterWidth(*this, m_more->isChecked() ? kEnlargedWidth : kNormalWidth);
}

// ---- Menu marks ------------------------------------------------------------

// Only the marks change: nothing reads them.
void F_NUVOKrc::m_retry_Click() {
    m_retry->trigger();
}
void F_NUVOKrc::m_echo_Click() {
    m_echo->trigger();
}

// The mark has flipped already: it is the new choice, kept for the next start.
void F_NUVOKrc::m_notify_Click() {
    const bool on = m_notify->isChecked();
    m_session->feedback()->setEnabled(on);
    m_services.settings->write("Notifications", on ? "true" : "false");
    if (m_settingsWindow)
        m_settingsWindow->storedElsewhere(QStringLiteral("Notifications"));
}
