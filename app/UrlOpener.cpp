#include "app/UrlOpener.h"

#include <QDesktopServices>

#include "util/Encoding.h"

namespace velk {

QUrl UrlOpener::Checked(const Text& address) {
    const QUrl url(QString::fromUtf8(AnsiToUtf8(address)).trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme(); // QUrl keeps schemes in lower case
    if (!url.isValid() || (scheme != QStringLiteral("http") && scheme != QStringLiteral("https")) ||
        url.host().isEmpty())
        return QUrl();
    return url;
}

void UrlOpener::OpenUrl(const Text& address) {
    const QUrl url = Checked(address);
    if (url.isValid())
        QDesktopServices::openUrl(url);
}

} // namespace velk
