#include "app/GlobalLists.h"

#include <memory>
#include <new>

namespace velk {

GlobalLists& GlobalLists::Instance() {
    // Built in static storage and never destroyed: detached workers may still read the lists while
    // the process runs its static destructors.
    alignas(GlobalLists) static unsigned char storage[sizeof(GlobalLists)];
    static GlobalLists* const instance = ::new (storage) GlobalLists();
    return *instance;
}

void GlobalLists::Create() {
    std::lock_guard lock(m_mutex);
    m_hotSearchLinks.clear();
    for (auto& list : m_controls)
        list.clear();
}

void GlobalLists::Release() {
    std::lock_guard lock(m_mutex);
    TextArray().swap(m_hotSearchLinks);
    for (auto& list : m_controls)
        ControlRefList().swap(list);
}

ControlRefList& GlobalLists::Slot(ControlList list) {
    return m_controls[static_cast<int>(list)];
}

const ControlRefList& GlobalLists::Slot(ControlList list) const {
    return m_controls[static_cast<int>(list)];
}

void GlobalLists::Append(ControlList list, const ControlRef& control) {
    std::lock_guard lock(m_mutex);
    Slot(list).push_back(control);
}

ControlRefList GlobalLists::List(ControlList list) const {
    std::lock_guard lock(m_mutex);
    return Slot(list);
}

std::size_t GlobalLists::Count(ControlList list) const {
    std::lock_guard lock(m_mutex);
    return Slot(list).size();
}

ControlRef GlobalLists::Element(ControlList list, std::size_t number) const {
    std::lock_guard lock(m_mutex);
    const auto& slot = Slot(list);
    if (number < 1 || number > slot.size())
        return {};
    return slot[number - 1];
}

TextArray GlobalLists::HotSearchLinks() const {
    std::lock_guard lock(m_mutex);
    return m_hotSearchLinks;
}

void GlobalLists::ReplaceHotSearchLinks(TextArray links) {
    std::lock_guard lock(m_mutex);
    m_hotSearchLinks = std::move(links);
}

} // namespace velk
