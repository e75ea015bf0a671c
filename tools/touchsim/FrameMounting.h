// How the simulated frame sits on the display, and what a service reports for a touch at a
// display position.
//
// A frame's raw axes seldom match the screen: it may be mounted turned, mirrored, and its raw
// range may cover the display only in part. The simulator models that as
//   1. mirror:  u -> 1 - u (left and right swapped), when mirrored;
//   2. turn, clockwise, about the display's centre, in quarter turns:
//        0: (u, v)   90: (v, 1 - u)   180: (1 - u, 1 - v)   270: (1 - v, u);
//   3. raw = offset + scale x turned, per axis,
// where (u, v) is the display position on 0..1. With calibration off the service reports the raw
// position. With an enabled record in force it reports the display position that the record's
// four points give: the raw position is placed in the quadrilateral of the four touch points
// (bilinear coordinates s, t: top-left 0,0, top-right 1,0, bottom-left 0,1, bottom-right 1,1) and
// the same s, t are taken in the screen rectangle that the slots name (left side: the mean of the
// top-left and bottom-left screen x, and so on). The slots' names matter, as they would to any
// service: a point stored in the wrong slot, or with its axes swapped, maps touches elsewhere.
// That mapping is this simulator's model of a service, no statement about any frame's firmware;
// for an exact calibration of any mounting above it gives the tapped display position back.
#pragma once

#include <string>

#include "servicelink/ServiceContract.h"

namespace touchsim {

struct FrameMounting {
    int turn = 0;           // 0, 90, 180 or 270 degrees, clockwise
    bool mirrored = false;  // left and right swapped before the turn
    double offsetX = 0.0, offsetY = 0.0;
    double scaleX = 1.0, scaleY = 1.0;
};

struct StreamPosition {
    double x = 0.0, y = 0.0;
};

// The raw position the frame reports for a touch at display position (u, v).
StreamPosition RawFromDisplay(const FrameMounting& mounting, double u, double v);

// What the service reports for a raw position under `record`: the raw position while the record
// is not enabled, else the bilinear mapping above, clamped to 0..1. A record whose touch points do
// not span a quadrilateral (all equal, or in a line) maps nothing: the raw position is reported.
StreamPosition ReportedFromRaw(const VexoSource::CalibrationRecord& record, double rawX, double rawY);

// "TURN [mirror] [OX OY SX SY]", e.g. "90 mirror 0.05 0.1 0.9 0.8". False with `error` set, and
// `out` untouched, for a turn other than 0/90/180/270, a scale not above 0, or a raw range
// (offset .. offset + scale) that leaves 0..1.
bool ParseMounting(const std::string& text, FrameMounting& out, std::string& error);

// "90 mirror 0.05 0.1 0.9 0.8" (always every field).
std::string DescribeMounting(const FrameMounting& mounting);

}  // namespace touchsim
