#pragma once

// The texts of the failures the FFmpeg frame source reports, one per step of
// a file run; the user sees them verbatim.
inline constexpr const char* kCouldntLoadFile = "Couldn't load the file!";
inline constexpr const char* kCouldntPutStream = "Couldn't put stream ";
inline constexpr const char* kGrabModeFailed = "Failed in EnterBitmapGrabMode!";
inline constexpr const char* kDurationFailed = "Failed in GetDuration!";
inline constexpr const char* kRunFailed = "Failed to run the graph!";
inline constexpr const char* kWaitFailed = "Failed in WaitForCompletion!";
