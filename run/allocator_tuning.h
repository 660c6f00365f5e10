// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Some decoders hand over every frame in a fresh frame-sized block (FFmpeg's
// demuxers copy each packet of uncompressed video, 6 MB for a 1080p picture).
// glibc serves blocks that large with mmap and unmaps them on free, so each
// frame faults its pages in anew: tens of thousands of page faults per file.
// This keeps such blocks in the heap and the heap's top in place, so a freed
// frame's memory serves the next one. The frame sources of our own reuse their
// buffers anyway; this is for the allocations inside FFmpeg.
//
// Changes only allocator settings of this process, at run time. Call first
// thing in main, before any thread.
void KeepFrameBuffersInHeap();
