// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Marks a simple per-pixel loop to be compiled in AVX2 as well as for the
// x86-64 baseline, the best variant chosen when the program loads. The
// baseline (SSE2) has 16-byte vectors with neither byte shuffles nor 32-bit
// multiplies, so loops that spread, pick or interleave BGR bytes stay scalar
// there, and wider vectors speed up the rest; the clones run several times
// faster. ORBICROP_VECTOR_LOOP_SSSE3 adds an SSSE3 variant for loops whose
// byte shuffles pay off on machines without AVX2.
// ThreadSanitizer cannot run the clones' resolvers, which the loader calls
// before the sanitizer's runtime is ready, so its builds get one variant.
// ORBICROP_VECTOR_TEMPLATE marks function templates: Clang (the fuzzers'
// compiler) clones no templates, so there they get one variant.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__SANITIZE_THREAD__)
#define ORBICROP_VECTOR_LOOP __attribute__((target_clones("avx2", "default")))
#define ORBICROP_VECTOR_LOOP_SSSE3 __attribute__((target_clones("avx2", "ssse3", "default")))
#else
#define ORBICROP_VECTOR_LOOP
#define ORBICROP_VECTOR_LOOP_SSSE3
#endif
#if defined(__clang__)
#define ORBICROP_VECTOR_TEMPLATE
#else
#define ORBICROP_VECTOR_TEMPLATE ORBICROP_VECTOR_LOOP
#endif
