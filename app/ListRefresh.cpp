#include "app/ListRefresh.h"

#include "medals/EmbeddedFlagTable.h"

namespace velk {

ListRefresh ListRefresh::Program(const AppConfig& hosts) {
    (void)hosts;
    ListRefresh refresh;
    // Hook: the medal table (MedalBoard::Refresh) and the hot-search list (HotSearchList::Refresh,
    // HotSearchList::RefreshThreadMain) plug in here; until they do, a refresh leaves the placeholders.
    refresh.medals = [] {};
    refresh.hotSearch = [] {};
    refresh.hotSearchAtStart = [] {};
    refresh.placeholderFlag = [] { return EmbeddedFlagTable::Find("CHN"); };
    return refresh;
}

} // namespace velk
