// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <memory>

std::unique_ptr<QObject> MakeTestWindowLayout();
std::unique_ptr<QObject> MakeTestWindowSettings();
std::unique_ptr<QObject> MakeTestWindowRuns();
std::unique_ptr<QObject> MakeTestWindowBadInputs();
std::unique_ptr<QObject> MakeTestWindowViews();
std::unique_ptr<QObject> MakeTestWindowNight();
