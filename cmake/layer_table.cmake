# SPDX-License-Identifier: GPL-3.0-or-later
# The layers of the source tree, in one list that both the build's include
# views (cmake/layers.cmake) and the suite's check of every include line
# (tests/layers/check_layers.cmake) read: a source folder, deepest first, and
# the folders or single headers it may include from. docs/architecture.md
# gives the same table in words.
set(ORBICROP_LAYERS
  "text|text"
  "video/ffmpeg|text image debayer fileio avi/riff_ids.h analysis video/frame_source.h video/read_ahead.h video/avi video/ffmpeg"
  "video/avi|text image debayer fileio avi/riff_ids.h analysis video/frame_source.h video/read_ahead.h video/avi"
  "video/frames|text time image debayer fileio analysis ser stills/still_frame.h stills/still_image.h video/frame_source.h video/read_ahead.h video/ser video/frames"
  "video/ser|text image debayer fileio analysis ser video/frame_source.h video/read_ahead.h video/ser"
  "video|text image debayer analysis video/frame_source.h video/read_ahead.h"
  "time|text time"
  "capture|text time capture"
  "image|text image"
  "calibration|text image calibration"
  "debayer|text image fileio debayer"
  "fileio|text fileio"
  "analysis|text image debayer analysis"
  "avi|text image fileio avi"
  "ser|text fileio ser"
  "stills|text stills"
  "output|text time image debayer fileio analysis avi ser stills output"
  "surface|text image debayer analysis surface"
  "night|text time night"
  "run|text time capture image calibration debayer fileio analysis avi ser stills output video surface night run"
  "settings|text image debayer fileio analysis settings"
  "cli|text time capture image calibration debayer fileio analysis avi ser stills output video surface run settings night cli"
  "app|text time capture image calibration debayer fileio analysis avi ser stills output video surface run settings night app"
  "tools|text time capture image calibration debayer fileio analysis avi ser stills output video surface night run tools")

