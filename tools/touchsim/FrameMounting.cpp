#include "touchsim/FrameMounting.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <vector>

namespace touchsim {

namespace {

struct Vec {
    double x, y;
};

Vec Bilinear(const Vec& tl, const Vec& tr, const Vec& bl, const Vec& br, double s, double t) {
    return {(1 - s) * (1 - t) * tl.x + s * (1 - t) * tr.x + (1 - s) * t * bl.x + s * t * br.x,
            (1 - s) * (1 - t) * tl.y + s * (1 - t) * tr.y + (1 - s) * t * bl.y + s * t * br.y};
}

Vec Touch(const VexoSource::CalibrationPoint& p) { return {p.touchX / 32767.0, p.touchY / 32767.0}; }
Vec Screen(const VexoSource::CalibrationPoint& p) { return {p.screenX / 32767.0, p.screenY / 32767.0}; }

double Clamp01(double v) { return std::isfinite(v) ? std::min(1.0, std::max(0.0, v)) : 0.0; }

}  // namespace

StreamPosition RawFromDisplay(const FrameMounting& m, double u, double v) {
    if (m.mirrored) u = 1.0 - u;
    double x = u, y = v;
    switch (m.turn) {
    case 90: x = v, y = 1.0 - u; break;
    case 180: x = 1.0 - u, y = 1.0 - v; break;
    case 270: x = 1.0 - v, y = u; break;
    default: break;
    }
    return {m.offsetX + m.scaleX * x, m.offsetY + m.scaleY * y};
}

StreamPosition ReportedFromRaw(const VexoSource::CalibrationRecord& r, double rawX, double rawY) {
    if (r.enabled == 0) return {rawX, rawY};
    const Vec tl = Touch(r.topLeft), tr = Touch(r.topRight), bl = Touch(r.bottomLeft), br = Touch(r.bottomRight);
    // Newton's method on the bilinear equation; from the middle it settles in a few steps for any
    // quadrilateral that is not folded over itself.
    double s = 0.5, t = 0.5;
    for (int step = 0; step < 50; ++step) {
        const Vec at = Bilinear(tl, tr, bl, br, s, t);
        const double fx = at.x - rawX, fy = at.y - rawY;
        const double dxs = (1 - t) * (tr.x - tl.x) + t * (br.x - bl.x);
        const double dys = (1 - t) * (tr.y - tl.y) + t * (br.y - bl.y);
        const double dxt = (1 - s) * (bl.x - tl.x) + s * (br.x - tr.x);
        const double dyt = (1 - s) * (bl.y - tl.y) + s * (br.y - tr.y);
        const double det = dxs * dyt - dxt * dys;
        if (std::fabs(det) < 1e-12) return {rawX, rawY};
        const double ds = (fx * dyt - fy * dxt) / det;
        const double dt = (dxs * fy - dys * fx) / det;
        s -= ds;
        t -= dt;
        if (std::fabs(ds) < 1e-12 && std::fabs(dt) < 1e-12) break;
    }
    if (!std::isfinite(s) || !std::isfinite(t)) return {rawX, rawY};
    // The screen side is the rectangle the slots name: each side the mean of its two corners.
    const double left = (Screen(r.topLeft).x + Screen(r.bottomLeft).x) / 2;
    const double right = (Screen(r.topRight).x + Screen(r.bottomRight).x) / 2;
    const double top = (Screen(r.topLeft).y + Screen(r.topRight).y) / 2;
    const double bottom = (Screen(r.bottomLeft).y + Screen(r.bottomRight).y) / 2;
    return {Clamp01(left + s * (right - left)), Clamp01(top + t * (bottom - top))};
}

bool ParseMounting(const std::string& text, FrameMounting& out, std::string& error) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    FrameMounting m;
    size_t next = 0;
    if (words.empty() || (words[0] != "0" && words[0] != "90" && words[0] != "180" && words[0] != "270")) {
        error = "TURN '" + (words.empty() ? std::string() : words[0]) + "' is not 0, 90, 180 or 270";
        return false;
    }
    m.turn = std::stoi(words[next++]);
    if (next < words.size() && words[next] == "mirror") {
        m.mirrored = true;
        ++next;
    }
    const size_t rest = words.size() - next;
    if (rest != 0 && rest != 4) {
        error = "give TURN [mirror] [OX OY SX SY]";
        return false;
    }
    if (rest == 4) {
        double values[4];
        for (int k = 0; k < 4; ++k) {
            const std::string& w = words[next + size_t(k)];
            char* end = nullptr;
            values[k] = std::strtod(w.c_str(), &end);
            if (w.empty() || *end || !std::isfinite(values[k])) {
                error = "'" + w + "' is not a number";
                return false;
            }
        }
        m.offsetX = values[0], m.offsetY = values[1], m.scaleX = values[2], m.scaleY = values[3];
    }
    // The raw range must stay a frame's 0..1, and a frame that reports one position everywhere is
    // no frame.
    for (double scale : {m.scaleX, m.scaleY})
        if (!(scale > 0.0)) {
            error = "a scale must be above 0";
            return false;
        }
    if (m.offsetX < 0 || m.offsetY < 0 || m.offsetX + m.scaleX > 1.0 + 1e-9 || m.offsetY + m.scaleY > 1.0 + 1e-9) {
        error = "the raw range (offset .. offset + scale) must stay within 0..1";
        return false;
    }
    out = m;
    return true;
}

std::string DescribeMounting(const FrameMounting& m) {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, "%d %s%g %g %g %g", m.turn, m.mirrored ? "mirror " : "", m.offsetX, m.offsetY,
                  m.scaleX, m.scaleY);
    return buffer;
}

}  // namespace touchsim
