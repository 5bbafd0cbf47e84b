#pragma once
// Takes the place of the desktop's browser for http and https addresses: every address the
// program hands to QDesktopServices::openUrl is recorded instead of opened. Only one recorder
// may exist at a time (the handlers are process-wide); interface thread only.

#include <QObject>
#include <QStringList>
#include <QUrl>

namespace velk::test {

class UrlRecorder : public QObject {
    Q_OBJECT
public:
    UrlRecorder();
    ~UrlRecorder() override;
    UrlRecorder(const UrlRecorder&) = delete;
    UrlRecorder& operator=(const UrlRecorder&) = delete;

    // The addresses recorded since the last call, in order.
    QStringList Take();

public slots:
    void Open(const QUrl& url);

private:
    QStringList m_opened;
};

} // namespace velk::test
