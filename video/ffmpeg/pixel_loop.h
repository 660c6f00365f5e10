#pragma once

// Marks a simple per-pixel loop to be compiled in SSSE3 and AVX2 variants as
// well as the baseline, the best chosen when the program loads. Baseline
// x86-64 (SSE2) has no byte shuffle and no 32-bit multiply, so loops that
// interleave BGR bytes stay scalar there; the clones run several times faster.
// ThreadSanitizer cannot run the clones' resolvers, which the loader calls
// before the sanitizer's runtime is ready.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__SANITIZE_THREAD__)
#define ORBICROP_PIXEL_LOOP __attribute__((target_clones("avx2", "ssse3", "default")))
#else
#define ORBICROP_PIXEL_LOOP
#endif
