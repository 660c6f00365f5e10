#pragma once

// Decoded frames are large (a 1080p picture is 6 MB) and the decoder
// allocates and frees them frame after frame. With glibc's defaults that
// memory goes back to the kernel and is faulted in again for every frame
// (48 000 page faults for 1000 VGA frames, against 5 800 for ffmpeg itself).
// A 16 MiB heap pad, set before the first allocation, keeps it; untouched pad
// pages cost no memory. Only the environment reaches the allocator that
// early, so a program that wants it runs itself again with the setting.
//
// Returns normally when the setting is in place or cannot be made; otherwise
// it does not return. Call first thing in main, before any thread.
void KeepFrameBuffersInHeap(char** argv);
