#include "shell/controls/TrafficGraph.h"

#include "net/Exception.h"
#include "shell/framework/OffscreenDC.h"

#include <algorithm>
#include <new>

namespace kestrum {

namespace {

constexpr int defaultSampleCount = 100;
// Far beyond any screen, well inside the coordinates GDI accepts.
constexpr double coordinateLimit = 1 << 26;

int truncated(double value) {
    return static_cast<int>(std::clamp(value, -coordinateLimit, coordinateLimit));
}

// A one-pixel 3D frame on the outermost pixels.
void drawFrame(HDC dc, int width, int height, COLORREF topLeft, COLORREF bottomRight) {
    fillSolid(dc, {0, 0, width - 1, 1}, topLeft);
    fillSolid(dc, {0, 0, 1, height - 1}, topLeft);
    fillSolid(dc, {width - 1, 0, width, height}, bottomRight);
    fillSolid(dc, {0, height - 1, width, height}, bottomRight);
}

} // namespace

CTrafficGraph::CTrafficGraph() : samples_(defaultSampleCount, 0) {}

void CTrafficGraph::setRange(int lower, int upper) {
    lower_ = lower;
    upper_ = upper;
    redraw();
}

void CTrafficGraph::setSamples(const int* values, int count, bool repaint) {
    if (values == nullptr || count < 1) {
        return;
    }
    {
        std::lock_guard guard(lock_);
        // An idle line hands over the same samples again and again; the picture stays.
        if (std::equal(values, values + count, samples_.begin(), samples_.end())) {
            return;
        }
        try {
            const bool shrink = static_cast<std::size_t>(count) < samples_.size() / 2;
            samples_.assign(values, values + count);
            if (shrink) {
                samples_.shrink_to_fit();
            }
        } catch (const std::bad_alloc&) {
            throw MemoryException();
        }
    }
    if (repaint) {
        redraw();
    }
}

void CTrafficGraph::fill(unsigned char value, bool repaint) {
    const auto byte = static_cast<unsigned>(value);
    const auto sample = static_cast<int>(byte * 0x01010101u);
    {
        std::lock_guard guard(lock_);
        std::fill(samples_.begin(), samples_.end(), sample);
    }
    if (repaint) {
        redraw();
    }
}

void CTrafficGraph::draw(HDC dc, HDC /*target*/, const RECT& client) {
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    fillSolid(dc, {0, 0, width, height + 1}, backgroundColour_);
    drawSamples(dc, width, height);
    if (border_) {
        drawFrame(dc, width, height, sunken_ ? RGB(120, 120, 120) : RGB(250, 250, 250),
                  sunken_ ? RGB(250, 250, 250) : RGB(120, 120, 120));
    }
}

// The newest sample lies one column right of the visible area; the line towards it shows it.
void CTrafficGraph::drawSamples(HDC dc, int width, int height) {
    HPEN pen = CreatePen(PS_GEOMETRIC | PS_SOLID, 1, lineColour_);
    HGDIOBJ previousPen = SelectObject(dc, pen);
    double range = static_cast<double>(upper_) - static_cast<double>(lower_);
    if (range == 0.0) {
        range = 0.1;
    }
    {
        std::lock_guard guard(lock_);
        const double xStep = width / static_cast<double>(samples_.size());
        const double yScale = height / range;
        // The range only sizes the picture: a sample at or above it runs along the top row
        // that shows, inside the frame when there is one.
        const int topRow = border_ ? 1 : 0;
        const auto row = [&](int sample) {
            return std::max(topRow, height - truncated(sample * yScale));
        };
        MoveToEx(dc, 0, row(samples_[0]), nullptr);
        for (std::size_t i = 0; i < samples_.size(); ++i) {
            LineTo(dc, truncated(static_cast<double>(i) * xStep) + 1, row(samples_[i]));
        }
    }
    SelectObject(dc, previousPen);
    DeleteObject(pen);
}

} // namespace kestrum
