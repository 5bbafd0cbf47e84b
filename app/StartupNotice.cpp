#include "app/StartupNotice.h"

#include <chrono>
#include <string>

#include <QMessageBox>

#include "app/Application.h"
#include "app/UrlOpener.h"
#include "http/HttpClient.h"
#include "util/Encoding.h"
#include "util/TextExtract.h"

namespace velk {
namespace {

constexpr std::uint32_t kNoticeRandomMax = 1000000;

// The C run-time's classic generator: 15-bit values from a 32-bit linear congruence.
std::uint32_t FirstRandom(std::uint32_t seed) {
    seed = seed * 214013u + 2531011u;
    return (seed >> 16) & 0x7FFF;
}

std::uint32_t TickCount() {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

Text Fetch(const Text& url) {
    HttpRequest request;
    request.url = url;
    return HttpClient::Send(request);
}

void ShowMessage(const Text& notice) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8("信息："), QString::fromUtf8(AnsiToUtf8(notice)),
                    QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText); // the notice comes from the network
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

} // namespace

StartupNotice::Seams StartupNotice::Program() {
    return Seams{Fetch, ShowMessage, UrlOpener::OpenUrl, Application::Quit, TickCount};
}

Text StartupNotice::NoticeUrl(const Text& noticeHost, std::uint32_t tick) {
    const std::uint32_t number = 1 + FirstRandom(tick) % kNoticeRandomMax;
    return "http://" + noticeHost + "/velk1.txt?" + std::to_string(number);
}

bool StartupNotice::Check(const Text& noticeHost, const Seams& seams) {
    if (noticeHost.empty())
        return true;
    const Text body = Utf8ToAnsi(seams.fetch(NoticeUrl(noticeHost, seams.tickCount())));
    if (body == "0")
        return true;
    seams.showMessage(body);
    seams.openUrl(TextBetween(body, "{{", "}}"));
    seams.exit(0);
    return false;
}

} // namespace velk
