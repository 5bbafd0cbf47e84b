// JsonObject::Parse over fuzzed feed texts (loaded by eval and by direct assignment), followed by
// the reads the medal table makes: the six members of each of the first eight records, until a
// record without a name. Parse runs the text as script, so the engine's deadline and memory cap
// are what keep hostile input bounded; they are tightened here to keep the fuzzer fast.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "script/JsonObject.h"
#include "script/ScriptEngine.h"

using velk::Text;
using velk::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const velk::ScriptLimits limits{std::size_t{16} << 20, std::chrono::milliseconds(200)};
    const velk::ScriptEngine::LimitsScope scope(limits);
    FuzzedDataProvider in(data, size);
    const bool directAssign = in.ConsumeBool();
    const Text text = in.ConsumeRemainingBytesAsString();

    velk::JsonObject document;
    const bool parsed = document.Parse(text, directAssign);
    if (!parsed) {
        Check(document.GetText("data.medalsList[0].countryname").empty(), "a failed parse reads empty");
        return 0;
    }
    (void)document.GetText("", true);
    for (int row = 0; row < 8; ++row) {
        const Text record = "data.medalsList[" + std::to_string(row) + "].";
        if (document.GetText(record + "countryname").empty())
            break;
        for (const char* member : {"gold", "silver", "bronze", "count", "countryid"})
            (void)document.GetText(record + member);
    }
    return 0;
}
