// HttpClient::Send against a bare libcurl GET of the same loopback URL, in the same run, for a
// 20 KB page: the difference is the routine's own work (header block, multi-handle loop with
// the message pump, header-line and cookie parsing, the charset check). BM_SendWorkOnly runs
// that work without a network, to show it apart from the noise of the loopback transfers.

#include <string>

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include "http/HttpClient.h"
#include "http/HttpCookies.h"
#include "http/HttpHeaders.h"
#include "http/ResponseDecoder.h"
#include "tests/support/LoopbackServer.h"
#include "util/TextSearch.h"

using namespace velk;
using velk::test::LoopbackServer;
using velk::test::ServerReply;
using velk::test::ServerRequest;

namespace {

// A 20 KB page declaring gbk, as the hot-search page does: the charset check runs its search
// and keeps the bytes.
std::string Page() {
    std::string page = "<!DOCTYPE html><html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
                       "charset=gbk\"><title>\xce\xa2\xb2\xa9</title></head><body>\n";
    while (page.size() < 20 * 1024)
        page += "<li><a href=\"/weibo?q=%23x%23\" target=\"_blank\">\xc8\xc8\xcb\xd1 entry</a></li>\n";
    return page + "</body></html>";
}

const std::string kExtraHeaders = "Content-Type: text/html\r\nSet-Cookie: SUB=abc; path=/; domain=x\r\n";

LoopbackServer& Server() {
    static LoopbackServer server([](const ServerRequest&) { return ServerReply::Http(200, Page(), kExtraHeaders); });
    return server;
}

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* userdata) {
    static_cast<std::string*>(userdata)->append(data, size * count);
    return size * count;
}

void BM_BareCurlGet(benchmark::State& state) {
    const std::string url = Server().Url("/top");
    for (auto _ : state) {
        std::string body;
        CURL* h = curl_easy_init();
        curl_easy_setopt(h, CURLOPT_URL, url.c_str());
        curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, Collect);
        curl_easy_setopt(h, CURLOPT_WRITEDATA, &body);
        curl_easy_perform(h);
        curl_easy_cleanup(h);
        benchmark::DoNotOptimize(body);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 20 * 1024);
}

void BM_Send(benchmark::State& state) {
    const std::string url = Server().Url("/top");
    for (auto _ : state) {
        HttpRequest request;
        request.url = url;
        benchmark::DoNotOptimize(HttpClient::Send(request));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 20 * 1024);
}

void BM_SendWorkOnly(benchmark::State& state) {
    const std::string page = Page();
    const Bytes body = ToBytes(page);
    const Text headers = "HTTP/1.1 200 OK\r\nContent-Length: 20480\r\nConnection: close\r\n" + kExtraHeaders + "\r\n";
    for (auto _ : state) {
        Text block = HttpHeaders::BuildHeaderBlock("", 0, "", true, true);
        Text cookies;
        for (const Text& line : SplitText(headers, "\r\n")) {
            if (line.compare(0, 12, "Set-Cookie: ") == 0)
                cookies += HttpCookies::ExtractSetCookie(line) + "; ";
        }
        Text result = page;
        ResponseDecoder::DecodeResponseText(result, body);
        benchmark::DoNotOptimize(block);
        benchmark::DoNotOptimize(cookies);
        benchmark::DoNotOptimize(result);
    }
}

BENCHMARK(BM_BareCurlGet)->UseRealTime();
BENCHMARK(BM_Send)->UseRealTime();
BENCHMARK(BM_BareCurlGet)->UseRealTime();
BENCHMARK(BM_SendWorkOnly);

} // namespace

int main(int argc, char** argv) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    curl_global_cleanup();
    return 0;
}
