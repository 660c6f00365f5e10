// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/allocator_tuning.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void KeepFrameBuffersInHeap()
{
#if defined(__GLIBC__)
    // Setting any of these turns off glibc's own sliding mmap threshold, so
    // both are set: blocks up to 32 MiB (the largest threshold glibc takes;
    // a 4K BGR picture is 25 MB) come from the heap, and up to 64 MiB of free
    // memory at its top stays mapped instead of going back per frame. Memory
    // stays bounded by the largest set of frames alive at once.
    constexpr int kLargestHeapBlock = 32 * 1024 * 1024;
    constexpr int kKeptTop = 2 * kLargestHeapBlock;
    ::mallopt(M_MMAP_THRESHOLD, kLargestHeapBlock);
    ::mallopt(M_TRIM_THRESHOLD, kKeptTop);
#endif
}
