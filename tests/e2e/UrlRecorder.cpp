#include "tests/e2e/UrlRecorder.h"

#include <utility>

#include <QDesktopServices>

namespace velk::test {

UrlRecorder::UrlRecorder() {
    // QDesktopServices::openUrl calls the handler of the URL's scheme instead of the desktop's
    // (Qt manual, QDesktopServices::setUrlHandler); the slot is looked up by name.
    QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "Open");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "Open");
}

UrlRecorder::~UrlRecorder() {
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
}

QStringList UrlRecorder::Take() { return std::exchange(m_opened, {}); }

void UrlRecorder::Open(const QUrl& url) { m_opened.append(url.toString(QUrl::FullyEncoded)); }

} // namespace velk::test
