#include "shell/controls/SegmentDisplay.h"

#include "shell/framework/OffscreenDC.h"
#include "shell/framework/WindowText.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace kestrum {

namespace {

// Segments in drawing order: top, upper left, lower left, bottom, lower right, upper right,
// middle. One row per pattern: the digits 0 to 9, blank, minus.
constexpr bool segmentTable[12][7] = {
    {1, 1, 1, 1, 1, 1, 0}, {0, 0, 0, 0, 1, 1, 0}, {1, 0, 1, 1, 0, 1, 1}, {1, 0, 0, 1, 1, 1, 1},
    {0, 1, 0, 0, 1, 1, 1}, {1, 1, 0, 1, 1, 0, 1}, {1, 1, 1, 1, 1, 0, 1}, {1, 0, 0, 0, 1, 1, 0},
    {1, 1, 1, 1, 1, 1, 1}, {1, 1, 0, 1, 1, 1, 1}, {0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 1},
};

// A point of a stroke relative to the cell: x from its left or right edge, y from its top,
// middle or bottom row.
enum class Column { left, right };
enum class Row { top, middle, bottom };
struct Point {
    Column column;
    int dx;
    Row row;
    int dy;
};
using Stroke = Point[3];

constexpr Column L = Column::left;
constexpr Column R = Column::right;
constexpr Row T = Row::top;
constexpr Row M = Row::middle;
constexpr Row B = Row::bottom;

// Each segment is a bevelled bar of three one-pixel strokes, outermost first.
constexpr Stroke strokeTable[7][3] = {
    {{{L, 1, T, 0}, {R, -1, T, 0}, {R, 0, T, 1}},
     {{L, 2, T, 1}, {R, -2, T, 1}, {R, -1, T, 2}},
     {{L, 3, T, 2}, {R, -3, T, 2}, {R, -2, T, 3}}},
    {{{L, 0, T, 1}, {L, 0, M, -1}, {L, 1, M, 0}},
     {{L, 1, T, 2}, {L, 1, M, -2}, {L, 2, M, -1}},
     {{L, 2, T, 3}, {L, 2, M, -3}, {L, 3, M, -2}}},
    {{{L, 0, M, 1}, {L, 0, B, -1}, {L, 1, B, 0}},
     {{L, 1, M, 2}, {L, 1, B, -2}, {L, 2, B, -1}},
     {{L, 2, M, 3}, {L, 2, B, -3}, {L, 3, B, -2}}},
    {{{L, 1, B, 0}, {R, -1, B, 0}, {R, 0, B, 1}},
     {{L, 2, B, -1}, {R, -2, B, -1}, {R, -1, B, 0}},
     {{L, 3, B, -2}, {R, -3, B, -2}, {R, -2, B, -1}}},
    {{{R, 0, M, 1}, {R, 0, B, -1}, {R, 1, B, 0}},
     {{R, -1, M, 2}, {R, -1, B, -2}, {R, 0, B, -1}},
     {{R, -2, M, 3}, {R, -2, B, -3}, {R, -1, B, -2}}},
    {{{R, 0, T, 1}, {R, 0, M, -1}, {R, 1, M, 0}},
     {{R, -1, T, 2}, {R, -1, M, -2}, {R, 0, M, -1}},
     {{R, -2, T, 3}, {R, -2, M, -3}, {R, -1, M, -2}}},
    {{{L, 2, M, -1}, {R, -2, M, -1}, {R, -1, M, 0}},
     {{L, 1, M, 0}, {R, -1, M, 0}, {R, 0, M, 1}},
     {{L, 2, M, 1}, {R, -2, M, 1}, {R, -1, M, 2}}},
};
constexpr int middleSegment = 6;
constexpr int minusPattern = 11;

} // namespace

void CSegmentDisplay::setDigitCount(int count) {
    if (count == digitCount_ || count < 0 || count > maximumDigitCount) {
        return;
    }
    digitCount_ = count;
    redraw();
}

void CSegmentDisplay::setValue(int value) {
    if (value == value_) {
        return;
    }
    value_ = value;
    redraw();
}

void CSegmentDisplay::useRedScheme() {
    background_ = RGB(0, 0, 0);
    lit_ = RGB(255, 0, 0);
    unlit_ = RGB(60, 0, 0);
    redraw();
}

void CSegmentDisplay::useGreenScheme() {
    background_ = RGB(0, 0, 0);
    lit_ = RGB(60, 255, 60);
    unlit_ = RGB(0, 60, 0);
    redraw();
}

LRESULT CSegmentDisplay::windowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
        return answerWindowText(std::to_wstring(value_), message, wParam, lParam);
    default:
        return COffscreenControl::windowProc(message, wParam, lParam);
    }
}

void CSegmentDisplay::draw(HDC dc, HDC /*target*/, const RECT& client) {
    HPEN litPen = CreatePen(PS_GEOMETRIC | PS_SOLID, 1, lit_);
    HPEN unlitPen = CreatePen(PS_GEOMETRIC | PS_SOLID, 1, unlit_);
    HGDIOBJ previousPen = SelectObject(dc, unlitPen);
    fillSolid(dc, client, background_);
    drawDigits(dc, client.right, client.bottom, litPen, unlitPen);
    SelectObject(dc, previousPen);
    DeleteObject(litPen);
    DeleteObject(unlitPen);
}

void CSegmentDisplay::drawDigits(HDC dc, int width, int height, HPEN litPen, HPEN unlitPen) const {
    const int count = digitCount_;
    if (count == 0) {
        return;
    }
    const bool tall = height > 20;
    const int margin = margin_;
    const int gap = tall ? gap_ : gap_ - 1;
    const int digitWidth = (width - 2 * margin - (count - 1) * gap) / count;
    const int digitHeight = height - 2 * margin;
    const int unitsLeft =
        width - (width - (digitWidth + gap) * count - gap) / 2 - margin - digitWidth;
    const auto cellAt = [&](int left) {
        return Cell{left, margin, left + digitWidth - 1, margin + digitHeight - 1};
    };

    int rest = value_;
    int firstBlankLeft = 0;
    bool blankFound = false;
    for (int position = 0; position < count; ++position) {
        const int left = unitsLeft - position * (digitWidth + gap);
        if (value_ == 0 && position == 0) {
            drawCell(dc, cellAt(left), 0, true, tall, litPen, unlitPen);
        } else {
            drawCell(dc, cellAt(left), std::abs(rest % 10), rest != 0, tall, litPen, unlitPen);
        }
        if (rest == 0 && !blankFound) {
            firstBlankLeft = left;
            blankFound = true;
        }
        rest /= 10;
    }
    if (value_ < 0) {
        // With every position taken the minus lands on a cell at the left edge.
        drawCell(dc, cellAt(firstBlankLeft), minusPattern, true, tall, litPen, unlitPen);
    }
}

void CSegmentDisplay::drawCell(HDC dc, const Cell& cell, int pattern, bool lit, bool tall,
                               HPEN litPen, HPEN unlitPen) {
    const int middle = cell.top + (cell.bottom - cell.top) / 2;
    const auto at = [&](const Point& point) {
        const int x = (point.column == Column::left ? cell.left : cell.right) + point.dx;
        const int base = point.row == Row::top      ? cell.top
                         : point.row == Row::middle ? middle
                                                    : cell.bottom;
        return POINT{x, base + point.dy};
    };
    for (int segment = 0; segment < 7; ++segment) {
        SelectObject(dc, lit && segmentTable[pattern][segment] ? litPen : unlitPen);
        for (int stroke = 0; stroke < 3; ++stroke) {
            const Stroke& points = strokeTable[segment][stroke];
            // Thin digits join the innermost stroke of an outer segment to the one before it.
            if (stroke < 2 || tall || segment == middleSegment) {
                const POINT start = at(points[0]);
                MoveToEx(dc, start.x, start.y, nullptr);
            }
            for (int i = 1; i < 3; ++i) {
                const POINT next = at(points[i]);
                LineTo(dc, next.x, next.y);
            }
        }
    }
}

} // namespace kestrum
