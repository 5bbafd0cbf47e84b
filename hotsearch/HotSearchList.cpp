#include "hotsearch/HotSearchList.h"

#include <mutex>
#include <utility>

#include "http/HttpClient.h"
#include "regex/RegexObject.h"
#include "util/Guarded.h"
#include "util/ServiceHosts.h"

namespace velk {
namespace {

// One entry: group 1 is the search key as the page writes it (already percent-encoded), group 2
// the entry's text up to the next "</a>". The dot stops at line breaks, so link and text must
// stand on one line.
constexpr char kEntryPattern[] = R"re(weibo\?q=(.*?)" target="_blank">(.*?)</a>)re";

// Held while a refresh hands over its titles and links, and while a click reads the links.
std::mutex g_mutex;
HotSearchList::Outlets g_outlets;

Guarded<Text> g_weiboHost{VELK_WEIBO_HOST};

void HandOver(const TextArray& titles, TextArray links) {
    std::lock_guard lock(g_mutex);
    if (g_outlets.replaceLinks)
        g_outlets.replaceLinks(std::move(links));
    if (g_outlets.setTitle)
        for (std::int32_t item = 1; item <= HotSearchList::ItemCount; ++item)
            g_outlets.setTitle(item, titles[std::size_t(item - 1)]);
}

} // namespace

void HotSearchList::Install(Outlets outlets) {
    std::lock_guard lock(g_mutex);
    g_outlets = std::move(outlets);
}

void HotSearchList::SetWeiboHost(const Text& host) {
    g_weiboHost.Set(host);
}

Text HotSearchList::WeiboHost() {
    return g_weiboHost.Get();
}

void HotSearchList::Refresh() {
    // One host for the address, the Host line and the links, even if it is replaced meanwhile.
    const Text host = WeiboHost();
    RegexObject entries;
    HttpRequest request;
    request.url = PageUrl(host);
    request.headers = HeaderBlock(host);
    // On the interface thread the fetch dispatches window events: a click may run nested here and
    // reads the links of the last refresh, which stay whole until the hand-over below.
    const Text body = HttpClient::Send(request);
    if (body.empty())
        return;
    // A search that fails (its work budget or deadline ran out, the page is too large) has not
    // shown that the page holds no entries, so it changes nothing either.
    if (!entries.Search(kEntryPattern, body))
        return;

    TextArray titles;
    TextArray links;
    for (std::int32_t k = 1; k <= ItemCount; ++k) {
        titles.push_back(entries.SubMatchText(k, 2));
        links.push_back(EntryLink(host, entries.SubMatchText(k, 1)));
    }
    HandOver(titles, std::move(links));
}

void HotSearchList::RefreshThreadMain(std::uintptr_t) {
    Refresh();
}

void HotSearchList::OpenItem(std::int32_t item) {
    Text address;
    std::function<void(const Text&)> openUrl;
    {
        std::lock_guard lock(g_mutex);
        if (item < 1 || item > ItemCount || !g_outlets.links)
            return;
        const TextArray links = g_outlets.links();
        if (links.size() < std::size_t(ItemCount))
            return;
        address = links[std::size_t(item - 1)];
        openUrl = g_outlets.openUrl;
    }
    if (openUrl)
        openUrl(address);
}

Text HotSearchList::PageUrl(const Text& host) {
    return "https://" + host + "/top/summary?cate=realtimehot";
}

Text HotSearchList::HeaderBlock(const Text& host) {
    // The user agent ends in "Safari/537.3" on purpose: that is the line this client has always sent.
    return "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,image/webp,image/apng,*/*;q=0.8\r\n"
           "Accept-Language: zh-CN,zh;q=0.9\r\n"
           "Cache-Control: no-cache\r\n"
           "Connection: keep-alive\r\n"
           "Host: " +
           host +
           "\r\n"
           "Pragma: no-cache\r\n"
           "Upgrade-Insecure-Requests: 1\r\n"
           "User-Agent: Mozilla/5.0 (Windows NT 10.0; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) "
           "Chrome/69.0.3497.100 Safari/537.3";
}

Text HotSearchList::EntryLink(const Text& host, const Text& key) {
    return "https://" + host + "/weibo?q=" + key;
}

} // namespace velk
