#include "app/f_nuvokrc.h"

#include <QLineEdit>

void F_NUVOKrc::doListen() {}

void F_NUVOKrc::Timer1_Timer() {
    const QString text = QString::number(Winsock1->State());
    if (T_state->text() != text)
        T_state->setText(text);
}
