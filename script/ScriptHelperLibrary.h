#pragma once
// The script text every engine of a JsonObject runs before anything else: the helper functions
// get__nodeValue, get__count, get__name_All and get__extend, then JSON support in which every
// definition is guarded, so an engine that has its own JSON keeps it.

#include "util/Text.h"

namespace velk {

class ScriptHelperLibrary {
public:
    // The whole library, one line of plain ASCII script.
    static const Text& Source();
};

} // namespace velk
