#include "app/settings/phonespage.h"

#include <QImage>

// This build has no QR encoder: the page shows the link as text.
QImage qrCodeImage(const QString&, int) {
    return {};
}
