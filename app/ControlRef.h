#pragma once
// The address of one component of a window: the window's identifier (given out by UiLayer when
// the window registers) and the component's name in the window template, such as "标签EX21".
// The name is UTF-8, as written in the source. The reserved name kWindowControl (empty) stands
// for the window itself.

#include <cstdint>
#include <string>
#include <vector>

namespace velk {

struct ControlRef {
    std::int32_t window = 0;
    std::string control;

    bool operator==(const ControlRef&) const = default;
};

inline constexpr const char* kWindowControl = "";

using ControlRefList = std::vector<ControlRef>;

} // namespace velk
