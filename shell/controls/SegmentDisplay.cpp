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

// A point of a segment's stroke relative to the cell: x from its left or right edge, y from
// its top, middle or bottom row, each moved by its step once per stroke inward.
enum class Column { left, right };
enum class Row { top, middle, bottom };
struct Point {
    Column column;
    int dx;
    int xStep;
    Row row;
    int dy;
    int yStep;
};
using Stroke = Point[3];

constexpr Column L = Column::left;
constexpr Column R = Column::right;
constexpr Row T = Row::top;
constexpr Row M = Row::middle;
constexpr Row B = Row::bottom;

// Each segment is a bevelled bar of one-pixel strokes, outermost first: a move to the first
// point and lines to the other two. Stroke j of an outer segment is its first stroke moved by
// j steps; the middle bar's strokes lie on both sides of the middle row.
constexpr Stroke segmentStrokes[7] = {
    {{L, 1, 1, T, 0, 1}, {R, -1, -1, T, 0, 1}, {R, 0, -1, T, 1, 1}},
    {{L, 0, 1, T, 1, 1}, {L, 0, 1, M, -1, -1}, {L, 1, 1, M, 0, -1}},
    {{L, 0, 1, M, 1, 1}, {L, 0, 1, B, -1, -1}, {L, 1, 1, B, 0, -1}},
    {{L, 1, 1, B, 0, -1}, {R, -1, -1, B, 0, -1}, {R, 0, -1, B, 1, -1}},
    {{R, 0, -1, M, 1, 1}, {R, 0, -1, B, -1, -1}, {R, 1, -1, B, 0, -1}},
    {{R, 0, -1, T, 1, 1}, {R, 0, -1, M, -1, -1}, {R, 1, -1, M, 0, -1}},
    {{L, 1, 1, M, 0, 1}, {R, -1, -1, M, 0, 1}, {R, 0, -1, M, 1, 1}},
};
constexpr int middleSegment = 6;
constexpr int minusPattern = 11;

// At 100 % the readout is 39 pixels high, with three strokes per segment, a margin of 4 and a
// gap of 3. A taller control (a higher DPI) scales them with its height; a lower one keeps them.
constexpr int referenceHeight = 39;
constexpr int referenceStrokes = 3;

int scaledToHeight(int value, int height) {
    return height > referenceHeight ? (value * height + referenceHeight / 2) / referenceHeight
                                    : value;
}

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
    const int margin = scaledToHeight(margin_, height);
    const int gap = tall ? scaledToHeight(gap_, height) : gap_ - 1;
    const Strokes strokes{scaledToHeight(referenceStrokes, height), !tall};
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
            drawCell(dc, cellAt(left), 0, true, strokes, litPen, unlitPen);
        } else {
            drawCell(dc, cellAt(left), std::abs(rest % 10), rest != 0, strokes, litPen, unlitPen);
        }
        if (rest == 0 && !blankFound) {
            firstBlankLeft = left;
            blankFound = true;
        }
        rest /= 10;
    }
    if (value_ < 0) {
        // With every position taken the minus lands on a cell at the left edge.
        drawCell(dc, cellAt(firstBlankLeft), minusPattern, true, strokes, litPen, unlitPen);
    }
}

void CSegmentDisplay::drawCell(HDC dc, const Cell& cell, int pattern, bool lit,
                               const Strokes& strokes, HPEN litPen, HPEN unlitPen) {
    const int middle = cell.top + (cell.bottom - cell.top) / 2;
    for (int segment = 0; segment < 7; ++segment) {
        SelectObject(dc, lit && segmentTable[pattern][segment] ? litPen : unlitPen);
        const Stroke& points = segmentStrokes[segment];
        for (int stroke = 0; stroke < strokes.count; ++stroke) {
            // The middle bar grows both ways from the middle row, its centre stroke longest.
            const int along = segment == middleSegment ? stroke - (strokes.count - 1) / 2 : stroke;
            const int inward = along < 0 ? -along : along;
            const auto at = [&](const Point& point) {
                const int x = (point.column == Column::left ? cell.left : cell.right) + point.dx +
                              point.xStep * inward;
                const int base = point.row == Row::top      ? cell.top
                                 : point.row == Row::middle ? middle
                                                            : cell.bottom;
                return POINT{x, base + point.dy + point.yStep * along};
            };
            // Thin digits join the innermost stroke of an outer segment to the one before it.
            if (stroke < strokes.count - 1 || !strokes.thin || segment == middleSegment) {
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
