#include "StringGrid.h"

#include <windowsx.h>

#include <algorithm>
#include <cstdlib>

namespace vemkard::win32 {
namespace {

constexpr wchar_t kClassName[] = L"VemkardStringGrid";
constexpr int kTextInset = 2;
constexpr int kWheelRows = 3;

}  // namespace

TStringGrid::TStringGrid(DirectoryGrid& grid, HWND parent, HFONT font, UINT dpi)
    : grid_(grid), font_(font), dpi_(dpi), heights_(std::size_t(grid.RowCount()), kGridRowHeight) {
    RegisterWindowClass(kClassName, &Dispatch<TStringGrid>, CS_DBLCLKS);
    window_ = CreateWindowExW(0, kClassName, L"",
                              WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_TABSTOP, 0, 0, 0,
                              0, parent, nullptr, GetModuleHandleW(nullptr), this);
}

TStringGrid::~TStringGrid() {
    if (IsWindow(window_)) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
}

void TStringGrid::Place(const TRect& rect) {
    design_ = rect;
    MoveWindow(window_, Scale(rect.left, dpi_), Scale(rect.top, dpi_), Scale(rect.width, dpi_),
               Scale(rect.height, dpi_), TRUE);
    UpdateScrollBar();
}

void TStringGrid::SetColWidth(int column, int width) {
    widths_[static_cast<std::size_t>(column)] = width;
    InvalidateRect(window_, nullptr, FALSE);
}

void TStringGrid::SetDpi(UINT dpi, HFONT font) {
    dpi_ = dpi;
    font_ = font;
    Place(design_);
}

void TStringGrid::RowsReset(int rowCount) {
    clicks_.RowsReset();
    // Rows kept keep their heights.
    heights_.resize(static_cast<std::size_t>(rowCount), kGridRowHeight);
    Scroll(top_);
    InvalidateRect(window_, nullptr, FALSE);
}

void TStringGrid::CellsChanged(int, int, int, int) {
    InvalidateRect(window_, nullptr, FALSE);
}

int TStringGrid::Pitch(int row) const {
    const auto at = static_cast<std::size_t>(row);
    return Scale(at < heights_.size() ? heights_[at] : kGridRowHeight, dpi_) + 1;
}

int TStringGrid::VisibleRows() const {
    RECT client{};
    GetClientRect(window_, &client);
    int rows = 0;
    for (int row = top_, y = Pitch(0); row < grid_.RowCount() && y + Pitch(row) <= client.bottom;
         y += Pitch(row++))
        ++rows;
    return std::max(1, rows);
}

int TStringGrid::LastTop() const {
    RECT client{};
    GetClientRect(window_, &client);
    int top = grid_.RowCount(), y = Pitch(0);
    while (top > 1 && y + Pitch(top - 1) <= client.bottom) y += Pitch(--top);
    return std::clamp(top, 1, std::max(1, grid_.RowCount() - 1));
}

void TStringGrid::UpdateScrollBar() {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMin = 1;
    info.nMax = std::max(1, grid_.RowCount() - 1);
    info.nPage = static_cast<UINT>(VisibleRows());
    info.nPos = top_;
    SetScrollInfo(window_, SB_VERT, &info, TRUE);
}

void TStringGrid::Scroll(int top) {
    top_ = std::clamp(top, 1, LastTop());
    UpdateScrollBar();
    InvalidateRect(window_, nullptr, FALSE);
}

void TStringGrid::HitTest(LPARAM point, int& row, int& column) const {
    const int x = GET_X_LPARAM(point);
    const int y = GET_Y_LPARAM(point);
    row = 0;
    for (int r = top_, bottom = Pitch(0); y >= Pitch(0) && r < grid_.RowCount(); ++r) {
        bottom += Pitch(r);
        if (y < bottom) {
            row = r;
            break;
        }
    }
    column = -1;
    for (int c = 0, left = 0; c < kGridColumns; ++c) {
        left += Scale(widths_[static_cast<std::size_t>(c)], dpi_) + 1;
        if (x < left) {
            column = c;
            break;
        }
    }
    if (row >= grid_.RowCount() || column < 1) row = 0;
}

bool TStringGrid::BorderAt(LPARAM point, bool& row, int& index) const {
    const int x = GET_X_LPARAM(point);
    const int y = GET_Y_LPARAM(point);
    const int numbers = Scale(widths_[0], dpi_);
    for (int r = 0, bottom = 0; r < grid_.RowCount(); r = r == 0 ? top_ : r + 1) {
        bottom += Pitch(r);
        if (x < numbers && std::abs(y - bottom + 1) <= 2) {
            row = true, index = r;
            return true;
        }
    }
    for (int c = 0, right = 0; c < kGridColumns && y < Pitch(0); ++c) {
        right += Scale(widths_[static_cast<std::size_t>(c)], dpi_) + 1;
        if (std::abs(x - right + 1) <= 2) {
            row = false, index = c;
            return true;
        }
    }
    return false;
}

void TStringGrid::Select(int row, int column) {
    if (row < 1 || row >= grid_.RowCount() || column < 1 || column >= kGridColumns) return;
    grid_.SetCurrentRow(row);
    column_ = column;
    if (row < top_) Scroll(row);
    if (row >= top_ + VisibleRows()) Scroll(row - VisibleRows() + 1);
    InvalidateRect(window_, nullptr, FALSE);
}

void TStringGrid::Paint(HDC dc, const RECT& client) {
    const HBRUSH body = CreateSolidBrush(Rgb(kWindowColour));
    const HBRUSH fixed = CreateSolidBrush(Rgb(kFixedCellColour));
    FillRect(dc, &client, body);
    const HGDIOBJ oldFont = SelectObject(dc, font_);
    const HPEN line = CreatePen(PS_SOLID, 1, RGB(128, 128, 128));
    const HGDIOBJ oldPen = SelectObject(dc, line);
    SetBkMode(dc, TRANSPARENT);
    const bool focused = GetFocus() == window_;
    for (int y = 0, row = 0; row < grid_.RowCount() && y < client.bottom;
         y += Pitch(row), row = row == 0 ? top_ : row + 1) {
        for (int c = 0, x = 0; c < kGridColumns; ++c) {
            const int width = Scale(widths_[static_cast<std::size_t>(c)], dpi_);
            RECT cell{x, y, x + width, y + Pitch(row) - 1};
            const bool selected = row == grid_.CurrentRow() && c == column_ && row > 0;
            FillRect(
                dc, &cell,
                selected ? GetSysColorBrush(COLOR_HIGHLIGHT) : (row == 0 || c == 0 ? fixed : body));
            SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
            RECT text = cell;
            text.left += Scale(kTextInset, dpi_);
            const std::wstring cellText = ToWide(grid_.Cell(row, c));
            DrawTextW(dc, cellText.c_str(), static_cast<int>(cellText.size()), &text,
                      DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
            if (selected && focused) DrawFocusRect(dc, &cell);
            MoveToEx(dc, cell.right, y, nullptr);
            LineTo(dc, cell.right, cell.bottom + 1);
            x = cell.right + 1;
        }
        MoveToEx(dc, 0, y + Pitch(row) - 1, nullptr);
        LineTo(dc, client.right, y + Pitch(row) - 1);
    }
    SelectObject(dc, oldPen);
    SelectObject(dc, oldFont);
    DeleteObject(line);
    DeleteObject(fixed);
    DeleteObject(body);
}

LRESULT TStringGrid::Handle(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    int row = 0, column = 0;
    switch (msg) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            const HDC dc = BeginPaint(window_, &paint);
            RECT client{};
            GetClientRect(window_, &client);
            // Drawn off screen, then copied: no flicker while rows arrive.
            const HDC memory = CreateCompatibleDC(dc);
            const HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
            const HGDIOBJ old = SelectObject(memory, bitmap);
            Paint(memory, client);
            BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
            SelectObject(memory, old);
            DeleteObject(bitmap);
            DeleteDC(memory);
            EndPaint(window_, &paint);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;
        case WM_SIZE:
            Scroll(top_);
            return 0;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            InvalidateRect(window_, nullptr, FALSE);
            return 0;
        case WM_SETCURSOR: {
            POINT at{};
            GetCursorPos(&at);
            ScreenToClient(window_, &at);
            bool rows = false;
            int index = 0;
            if (LOWORD(lParam) != HTCLIENT || !BorderAt(MAKELPARAM(at.x, at.y), rows, index))
                return DefWindowProcW(window, msg, wParam, lParam);
            SetCursor(LoadCursorW(nullptr, rows ? IDC_SIZENS : IDC_SIZEWE));
            return TRUE;
        }
        case WM_MOUSEMOVE:
            if (dragged_ >= 0) {
                const int size = std::max(
                    1, dragSize_ + (draggedRow_ ? GET_Y_LPARAM(lParam) : GET_X_LPARAM(lParam)) -
                           dragFrom_);
                std::vector<int>& sizes = draggedRow_ ? heights_ : widths_;
                // Rows may have come since the view was last told.
                if (sizes.size() <= std::size_t(dragged_))
                    sizes.resize(std::size_t(dragged_) + 1, kGridRowHeight);
                sizes[std::size_t(dragged_)] = MulDiv(size, 96, int(dpi_));
                Scroll(top_);
            }
            return 0;
        case WM_LBUTTONUP:
            if (dragged_ >= 0) ReleaseCapture();
            return 0;
        case WM_CAPTURECHANGED:
            dragged_ = -1;
            return 0;
        case WM_LBUTTONDOWN:
            // A fixed cell's border resizes its row or column.
            if (BorderAt(lParam, draggedRow_, dragged_)) {
                dragFrom_ = draggedRow_ ? GET_Y_LPARAM(lParam) : GET_X_LPARAM(lParam);
                dragSize_ =
                    draggedRow_ ? Pitch(dragged_) - 1 : Scale(widths_[std::size_t(dragged_)], dpi_);
                SetCapture(window_);
                return 0;
            }
            dragged_ = -1;
            [[fallthrough]];
        case WM_RBUTTONDOWN:
            SetFocus(window_);
            HitTest(lParam, row, column);
            clicks_.Press(row, column);
            if (msg == WM_LBUTTONDOWN) Select(row, column);
            return 0;
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDBLCLK:
            HitTest(lParam, row, column);
            if (clicks_.Counts(msg == WM_LBUTTONDBLCLK, row, column) && OnDblClick) OnDblClick(row);
            return 0;
        case WM_GETDLGCODE:
            return DLGC_WANTARROWS;
        case WM_KEYDOWN: {
            const int current = grid_.CurrentRow();
            if (wParam == VK_UP) Select(current - 1, column_);
            if (wParam == VK_DOWN) Select(current + 1, column_);
            if (wParam == VK_LEFT) Select(current, column_ - 1);
            if (wParam == VK_RIGHT) Select(current, column_ + 1);
            return 0;
        }
        case WM_MOUSEWHEEL:
            Scroll(top_ - GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA * kWheelRows);
            return 0;
        case WM_VSCROLL: {
            SCROLLINFO info{};
            info.cbSize = sizeof info;
            info.fMask = SIF_ALL;
            GetScrollInfo(window_, SB_VERT, &info);
            const int page = static_cast<int>(info.nPage);
            switch (LOWORD(wParam)) {
                case SB_LINEUP:
                    Scroll(top_ - 1);
                    break;
                case SB_LINEDOWN:
                    Scroll(top_ + 1);
                    break;
                case SB_PAGEUP:
                    Scroll(top_ - page);
                    break;
                case SB_PAGEDOWN:
                    Scroll(top_ + page);
                    break;
                case SB_THUMBTRACK:
                case SB_THUMBPOSITION:
                    Scroll(info.nTrackPos);
                    break;
                default:
                    break;
            }
            return 0;
        }
        default:
            return DefWindowProcW(window, msg, wParam, lParam);
    }
}

}  // namespace vemkard::win32
