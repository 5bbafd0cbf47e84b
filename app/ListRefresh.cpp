#include "app/ListRefresh.h"

#include "app/GlobalLists.h"
#include "app/UiLayer.h"
#include "app/UrlOpener.h"
#include "hotsearch/HotSearchList.h"
#include "medals/EmbeddedFlagTable.h"
#include "medals/MedalBoard.h"
#include "medals/MedalTitleSink.h"

namespace velk {
namespace {

ControlList ListOf(MedalTitleSink::Column column) {
    switch (column) {
    case MedalTitleSink::Name:
        return ControlList::MedalNameLabels;
    case MedalTitleSink::Gold:
        return ControlList::GoldLabels;
    case MedalTitleSink::Silver:
        return ControlList::SilverLabels;
    case MedalTitleSink::Bronze:
        return ControlList::BronzeLabels;
    case MedalTitleSink::Total:
        break;
    }
    return ControlList::TotalLabels;
}

// Element `number` of a control list; a number outside the list addresses no control, and
// UiLayer drops a write to it.
ControlRef Element(ControlList list, std::int32_t number) {
    return number < 1 ? ControlRef{} : GlobalLists::Instance().Element(list, std::size_t(number));
}

} // namespace

ListRefresh ListRefresh::Program(const AppConfig& hosts) {
    if (!hosts.medalHost.empty())
        MedalBoard::SetMedalHost(hosts.medalHost);
    if (!hosts.weiboHost.empty())
        HotSearchList::SetWeiboHost(hosts.weiboHost);

    // Row r of the medal table and item k of the hot-search list are element r (k) of their
    // control lists. The hot-search titles also come from the start-up worker thread, which
    // UiLayer::SetTitle allows.
    MedalTitleSink::Install([](std::int32_t row, MedalTitleSink::Column column, const Text& title) {
        UiLayer::SetTitle(Element(ListOf(column), row), title);
    });
    HotSearchList::Install(HotSearchList::Outlets{
        [](std::int32_t item, const Text& title) {
            UiLayer::SetTitle(Element(ControlList::HotSearchLabels, item), title);
        },
        [](TextArray links) { GlobalLists::Instance().ReplaceHotSearchLinks(std::move(links)); },
        [] { return GlobalLists::Instance().HotSearchLinks(); },
        UrlOpener::OpenUrl,
    });

    ListRefresh refresh;
    refresh.medals = [] { MedalBoard::Refresh(); };
    refresh.hotSearch = [] { HotSearchList::Refresh(); };
    refresh.hotSearchAtStart = [] { HotSearchList::RefreshThreadMain(0); };
    refresh.openHotSearchItem = [](std::int32_t item) { HotSearchList::OpenItem(item); };
    refresh.placeholderFlag = [] { return EmbeddedFlagTable::Find("CHN"); };
    return refresh;
}

} // namespace velk
