#include "client_log.h"

#include "program_log.h"

namespace zvu::clientLog {

bool Open() { return ProgramLog::Open(kPath); }
void Close() { ProgramLog::Close(); }
bool IsOpen() { return ProgramLog::IsOpen(); }
void Write(std::string_view record) { ProgramLog::Write(record); }

}  // namespace zvu::clientLog
