#include "app/f_nuvokrc.h"

#include <QLineEdit>

void F_NUVOKrc::doListen() {}

void F_NUVOKrc::Timer1_Timer() {
    const QString text = QString::number(Winsock1->State());
    if (T_state->text() != text)
        T_state->setText(text);
}

void F_NUVOKrc::m_port_Click() {}
void F_NUVOKrc::m_protocol_Click() {}
void F_NUVOKrc::m_info_Click() {}
void F_NUVOKrc::m_help_Click() {}
