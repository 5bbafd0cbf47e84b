#pragma once
// The program's eight global lists: the hot-search links and the seven lists of controls that tie
// the rows of the medal table and the hot-search items to the window.
//
// Elements are numbered from 1 by callers (element 1 is the top row). The control lists are filled
// once by the window-created handler before any worker starts, and only read afterwards; the
// hot-search links are replaced by each successful hot-search refresh. Worker threads read and
// write the lists while the interface thread does too, and the exit clean-up empties them while
// detached workers may still be running, so every access goes through one lock, and the instance
// itself is never destroyed: a worker still running at process exit finds empty lists (a row
// outside the list: nothing to do), never a destroyed object.

#include <cstddef>
#include <mutex>

#include "app/ControlRef.h"
#include "util/Text.h"

namespace velk {

enum class ControlList {
    FlagPictures,
    SilverLabels,
    GoldLabels,
    BronzeLabels,
    TotalLabels,
    MedalNameLabels,
    HotSearchLabels,
};

class GlobalLists {
public:
    static GlobalLists& Instance();

    // Creates the eight lists empty (start of the program; tests start afresh with it).
    void Create();
    // Frees the links and releases all eight lists (the exit clean-up).
    void Release();

    void Append(ControlList list, const ControlRef& control);
    ControlRefList List(ControlList list) const;
    std::size_t Count(ControlList list) const;
    // Element `number` (from 1) of the list, or an empty ControlRef when there is none.
    ControlRef Element(ControlList list, std::size_t number) const;

    TextArray HotSearchLinks() const;
    void ReplaceHotSearchLinks(TextArray links);

private:
    GlobalLists() = default;
    ControlRefList& Slot(ControlList list);
    const ControlRefList& Slot(ControlList list) const;

    mutable std::mutex m_mutex;
    TextArray m_hotSearchLinks;
    ControlRefList m_controls[7];
};

} // namespace velk
