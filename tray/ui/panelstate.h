#pragma once

#include "pipeclient.h"

#include <QString>

// Pure rules behind the status panel, kept apart from the widgets so they can be checked alone.

// Overall state drawn in the panel header.
enum PanelHeaderState { HeaderStopped = 0, HeaderRestarting = 1, HeaderRunning = 2 };

// Stopped when offline, or when the service reports four or more processes and none of the
// first four runs; otherwise restarting when flagged, else running.
PanelHeaderState panelHeaderState(const PipeClient::Status &st);

// The longest running time the label can show: 2399:59:59.
constexpr qint64 kMaxShownSeconds = 8639999;

// "hh:mm:ss" with at least two digits per field. Values above the cap show the cap; a negative
// value (a service that reports a bogus uptime) shows 00:00:00 instead of a malformed text.
QString runningTimeText(qint64 totalSeconds);
