// The archive of data files carried in the program (define headers, colour tables).
// It is generated at build time from the repository's data/builtin folder.
#pragma once

#include <cstddef>

extern const unsigned char g_BuiltinArchive[];
extern const size_t g_BuiltinArchiveSize;
