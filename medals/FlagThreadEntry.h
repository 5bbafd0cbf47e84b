#pragma once
// The thread routine the medal refresh starts for each row through
// WorkerThread::StartWithArguments(FlagThreadEntry, 0, code, row): copies the code and the row
// number (a null pointer is the empty Text) and runs MedalBoard::LoadFlag with them.

#include <cstdint>

namespace velk {

void FlagThreadEntry(std::int32_t value, const char* code, const char* row, const char* unused3,
                     const char* unused4);

} // namespace velk
