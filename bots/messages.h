// Where the core's own messages go: the trace lines that name a member function
// ("Biotope::CreateCommunity(8, 42)", a bot's genes, a save) and the notices of
// what was built ("community 'fel' : habitat ..."). Failure lines do not pass
// through here: they always go to standard error.
// A host that silences the system sets both to null; one that writes a picture
// to standard output moves the trace lines to standard error.
#pragma once

#include <cstdio>

// Trace lines; standard output by default, null: none.
extern std::FILE* trace_stream;
// Notices of what was built; standard error by default, null: none.
extern std::FILE* notice_stream;

// printf into trace_stream / notice_stream, when it is set.
[[gnu::format(printf, 1, 2)]] void Trace(const char* format, ...);
[[gnu::format(printf, 1, 2)]] void Notice(const char* format, ...);
