// Sanitizer defaults of every fuzz target. Headers may claim rasters of up to
// 4 GiB; such allocations fail here above 128 MiB, as they would on a small
// machine, so the fuzzer spends its time on parsing and exercises the
// allocation-failure paths instead of mapping gigabytes.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1:max_allocation_size_mb=128:detect_leaks=1";
}
