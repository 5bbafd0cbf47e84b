#pragma once
// The description of a script failure that JsonObject::Parse hands to a caller who asks for it.
// Fields mirror the properties of the script engine's error object. Numbers are whole numbers;
// texts are code page 936. An engine with no failure recorded gives the all-empty record.

#include <cstdint>

#include "util/Text.h"

namespace velk {

struct ScriptErrorInfo {
    std::int32_t number = 0; // Duktape error code: 1 Error (or a thrown non-error), 2 EvalError,
                             // 3 RangeError, 4 ReferenceError, 5 SyntaxError, 6 TypeError,
                             // 7 URIError; 0 when no failure is recorded
    Text source;             // kind of failure, the error's constructor name ("SyntaxError")
    Text description;        // the error message
    Text helpFile;           // always empty: the engine has no help files
    std::int32_t helpContext = 0;
    Text text;               // the source line the failure was reported at, when known
    std::int32_t line = 0;   // 1-based line of the failure within the evaluated text, 0 unknown
    std::int32_t column = 0; // the engine reports no columns: always 0
};

} // namespace velk
