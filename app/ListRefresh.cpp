#include "app/ListRefresh.h"

namespace velk {

ListRefresh ListRefresh::Program(const AppConfig& hosts) {
    (void)hosts;
    ListRefresh refresh;
    // Hook: the medal table (MedalBoard::Refresh) and the hot-search list (HotSearchList::Refresh,
    // HotSearchList::RefreshThreadMain) plug in here; until they do, a refresh leaves the placeholders.
    refresh.medals = [] {};
    refresh.hotSearch = [] {};
    refresh.hotSearchAtStart = [] {};
    // Hook: the embedded "CHN" flag of the flag table; until it is there the boxes start empty.
    refresh.placeholderFlag = [] { return Bytes(); };
    return refresh;
}

} // namespace velk
