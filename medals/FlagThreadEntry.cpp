#include "medals/FlagThreadEntry.h"

#include "medals/MedalBoard.h"
#include "util/Text.h"

namespace velk {

void FlagThreadEntry(std::int32_t value, const char* code, const char* row, const char*, const char*) {
    const Text codeText = code ? Text(code) : Text();
    const Text rowText = row ? Text(row) : Text();
    MedalBoard::LoadFlag(value, codeText, rowText);
}

} // namespace velk
