#pragma once

// A test that cannot run here for want of something it needs (a program, a
// package, a private server). In a build run by hand that may simply be
// missing, and the test is skipped with the reason. Under ./dev.sh test,
// which installs everything the suite needs and sets NUVOKRC_NO_SKIPS=1, the
// same want is a fault of the set-up: the test fails with the reason, so that
// no part of the suite is left out unseen.
//
// Rows that do not apply to a desktop (no notification area on weston) are
// no want of anything; they keep QSKIP.

#include <QByteArray>
#include <QString>
#include <QTest>

namespace nuvok::test {

inline bool skipsAllowed() {
    return qEnvironmentVariable("NUVOKRC_NO_SKIPS") != QLatin1String("1");
}

inline QByteArray notRunText(const QString& reason) {
    return (QStringLiteral("not run: ") + reason +
            QStringLiteral(" (./dev.sh test installs what the suite needs, so a skip is a "
                           "failure there)"))
        .toUtf8();
}

} // namespace nuvok::test

#define NUVOK_SKIP_MISSING(reason)                                                                 \
    do {                                                                                           \
        const QString nuvokMissingReason_ = (reason);                                              \
        if (::nuvok::test::skipsAllowed())                                                         \
            QSKIP(qPrintable(nuvokMissingReason_));                                                \
        QFAIL(::nuvok::test::notRunText(nuvokMissingReason_).constData());                         \
    } while (false)
