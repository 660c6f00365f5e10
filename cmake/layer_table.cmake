# SPDX-License-Identifier: GPL-3.0-or-later
# The layers of the source tree, in one list that both the build's include
# views (cmake/layers.cmake) and the suite's check of every include line
# (tests/layers/check_layers.cmake) read: a source folder, deepest first, and
# the folders or single headers it may include from. docs/architecture.md
# gives the same table in words.
set(ORBICROP_LAYERS
  "video/ffmpeg|image debayer fileio avi/riff_ids.h analysis video/frame_source.h video/read_ahead.h video/avi video/ffmpeg"
  "video/avi|image debayer fileio avi/riff_ids.h analysis video/frame_source.h video/read_ahead.h video/avi"
  "video/ser|image debayer fileio analysis ser video/frame_source.h video/read_ahead.h video/ser"
  "video|image debayer analysis video/frame_source.h video/read_ahead.h"
  "time|time"
  "image|image"
  "debayer|image fileio debayer"
  "fileio|fileio"
  "analysis|image debayer analysis"
  "avi|image fileio avi"
  "ser|fileio ser"
  "stills|stills"
  "output|time image debayer fileio analysis avi ser stills output"
  "surface|image debayer analysis surface"
  "run|time image debayer fileio analysis avi ser stills output video surface run"
  "settings|image debayer fileio analysis settings"
  "cli|time image debayer fileio analysis avi ser stills output video surface run settings cli"
  "app|time image debayer fileio analysis avi ser stills output video surface run settings app"
  "tools|time image debayer fileio analysis avi ser stills output video surface run tools")

