#pragma once
// The hot-search list of the second tab: the first ten entries of Weibo's real-time hot-search
// summary page, and the search page of each entry.
//
// Refresh fetches "https://<weibo host>/top/summary?cate=realtimehot" with a browser's header
// block, cuts the entries out with one pattern (the search key and the text of each link that
// opens in a new tab, link and text on one line) and hands the texts of matches 1 to 10 to the
// title outlet, as written in the page, and their ten links "https://<weibo host>/weibo?q=<key>"
// to the links outlet. Rows without a match get the empty title and the bare link. A failed fetch
// (empty body) or a search that could not be run to its end (a page built to make the pattern
// backtrack, a page too large) changes nothing: titles and links stay from the last refresh that
// worked. OpenItem hands the link of one row to the opener, once there are links.
//
// Threads: the start-up refresh runs on a worker thread (RefreshThreadMain), later ones on the
// interface thread, where the fetch dispatches window events so handlers may run nested inside
// it. Titles and links of one refresh are handed over together under one lock, which OpenItem
// takes as well, so two refreshes never interleave their rows and a click never opens a link of
// another refresh than the one whose titles were handed over last.
//
// The Weibo host ("host" or "host:port") is configuration: it defaults to the build's
// VELK_WEIBO_HOST and may be replaced at start-up (the tests point it at a loopback server).

#include <cstdint>
#include <functional>

#include "util/Text.h"

namespace velk {

class HotSearchList {
public:
    static constexpr std::int32_t ItemCount = 10;

    // Where the list meets the window. Every function is optional and is called with the list's
    // lock held, so none may wait for a thread that could be refreshing, nor dispatch events.
    struct Outlets {
        // The title of item 1 to ItemCount. Called from the refreshing thread, worker or not.
        std::function<void(std::int32_t item, const Text& title)> setTitle;
        // Replaces the stored links by the ItemCount links of a refresh (refreshing thread).
        std::function<void(TextArray links)> replaceLinks;
        // The stored links (OpenItem, interface thread).
        std::function<TextArray()> links;
        // Opens an address in the desktop's browser (OpenItem, interface thread; called after
        // the lock is released).
        std::function<void(const Text& address)> openUrl;
    };

    static void Install(Outlets outlets);
    static void SetWeiboHost(const Text& host);
    static Text WeiboHost();

    static void Refresh();
    // The thread routine of the start-up refresh: one Refresh, then it returns.
    static void RefreshThreadMain(std::uintptr_t parameter);
    // The click on item `item` (1 to ItemCount): opens its link when there are ItemCount links;
    // otherwise, and for any other item number, does nothing.
    static void OpenItem(std::int32_t item);

    // The page address, the request's header block and an entry's link, for `host`.
    static Text PageUrl(const Text& host);
    static Text HeaderBlock(const Text& host);
    static Text EntryLink(const Text& host, const Text& key);
};

} // namespace velk
