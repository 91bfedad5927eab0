// The clocks a host reads, in nanoseconds, on Linux and on Windows alike.
#pragma once

// Wall time on a steady clock.
long long NowNs();
// CPU time of the whole process.
long long ProcessCpuNs();
