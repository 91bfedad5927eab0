// Forces a small function into its callers. For the code of the innermost
// loop, every bot step: the integer colour conversion and the step blocks,
// where a call would cost more than the work it calls.
#pragma once

#define LUMIVOR_INLINE inline __attribute__((always_inline))
