#include "http/UrlReader.h"

#include <memory>

#include <curl/curl.h>

namespace velk {
namespace {

constexpr std::size_t kBodyCap = 32u * 1024 * 1024;
constexpr long kTimeoutSeconds = 30;

struct EasyCleanup {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct SlistCleanup {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* userdata) {
    auto* body = static_cast<Bytes*>(userdata);
    const std::size_t n = size * count;
    if (body->size() + n > kBodyCap)
        return 0; // ends the transfer with CURLE_WRITE_ERROR
    body->insert(body->end(), data, data + n);
    return n;
}

} // namespace

Bytes UrlReader::Read(const Text& url) {
    std::unique_ptr<CURL, EasyCleanup> curl(curl_easy_init());
    if (!curl || url.empty())
        return Bytes();
    std::unique_ptr<curl_slist, SlistCleanup> headers(curl_slist_append(nullptr, "Accept: */*"));
    curl_slist_append(headers.get(), "Pragma: no-cache");
    curl_slist_append(headers.get(), "Cache-Control: no-cache");
    Bytes body;
    CURL* h = curl.get();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(h, CURLOPT_TIMEOUT, kTimeoutSeconds);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, kTimeoutSeconds);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L); // worker threads: no SIGALRM for DNS timeouts
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &body);
    if (curl_easy_perform(h) != CURLE_OK)
        return Bytes();
    return body;
}

} // namespace velk
