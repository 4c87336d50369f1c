#include "MainWindow.h"

#include <uxtheme.h>

#include <cstdlib>

#include "Resources.h"
#include "SettingsDialog.h"

namespace vemkard::win32 {
namespace {

constexpr wchar_t kClassName[] = L"VemkardForm1";
// The tool bar's items: command ids from here, by their place.
constexpr int kToolCommand = 100;
constexpr UINT kStateMessage = WM_APP + 1;
constexpr UINT_PTR kRestOfToolBar = 100;
constexpr int kLabelHeight = 16;
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_APPWINDOW;

HWND Child(HWND parent, const wchar_t* windowClass, std::string_view text, DWORD style) {
    return CreateWindowExW(0, windowClass, ToWide(text).c_str(), WS_CHILD | WS_VISIBLE | style, 0,
                           0, 0, 0, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
}

void Move(HWND window, const TRect& rect, UINT dpi, HFONT font) {
    MoveWindow(window, Scale(rect.left, dpi), Scale(rect.top, dpi), Scale(rect.width, dpi),
               Scale(rect.height, dpi), TRUE);
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

}  // namespace

TForm1::TForm1()
    : form_(comm321_, {*this, *this, timer1_, displayTimer_, dialogs_}),
      background_(CreateSolidBrush(Rgb(kWindowColour))),
      barBrush_(CreateSolidBrush(Rgb(kBarColour))) {
    if (const wchar_t* path = _wgetenv(L"VEMKARD_STATE")) statePath_ = path;
    RegisterWindowClass(kClassName, &Dispatch<TForm1>, 0, background_,
                        LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_VEMKARD)));
    window_ = CreateWindowExW(kExStyle, kClassName, ToWide(form_.Title()).c_str(), kStyle,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                              nullptr, GetModuleHandleW(nullptr), this);
    fonts_.SetDpi(GetDpiForWindow(window_));
    timer1_.SetWindow(window_);
    displayTimer_.SetWindow(window_);
    dialogs_.SetOwner(window_);
    for (const TToolItem& item : kToolItems)
        toolStates_[static_cast<std::size_t>(item.id)] = TBSTATE_ENABLED;
    LoadImages();
    CreateControls();
    Layout();
    form_.Grid().SetView(this);
    comm321_.SetReceiveHandler([this](const void* buffer, std::uint16_t length) {
        Guarded(window_, [&] { form_.Comm321ReceiveData(buffer, length); });
    });
}

TForm1::~TForm1() {
    Guarded(window_, [this] { form_.FormDestroy(); });
    form_.Grid().SetView(nullptr);
    stringGrid1_.reset();
    DestroyWindow(window_);
    DeleteObject(barBrush_);
    ImageList_Destroy(imageList1_);
    ImageList_Destroy(greyed_);
}

void TForm1::LoadImages() {
    // The strip: image i at x = 16 i; each even one below 16 is followed by
    // its greyed copy, the two badges have none.
    const auto strip =
        static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_TOOLBAR),
                                        IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    imageList1_ = ImageList_Create(kImageSize, kImageSize, ILC_COLOR32, kImageCount, 0);
    greyed_ = ImageList_Create(kImageSize, kImageSize, ILC_COLOR32, kImageCount, 0);
    if (!strip) return;
    ImageList_Add(imageList1_, strip, nullptr);
    // The disabled list: at each even place its greyed copy, the badges greyed here.
    const auto greyed =
        static_cast<HBITMAP>(CopyImage(strip, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    DIBSECTION from{}, to{};
    if (greyed && GetObjectW(strip, sizeof from, &from) == sizeof from &&
        GetObjectW(greyed, sizeof to, &to) == sizeof to && from.dsBm.bmBitsPixel == 32) {
        for (int y = 0; y < kImageSize; ++y) {
            const auto* source =
                static_cast<const BYTE*>(from.dsBm.bmBits) + y * from.dsBm.bmWidthBytes;
            auto* target = static_cast<BYTE*>(to.dsBm.bmBits) + y * to.dsBm.bmWidthBytes;
            for (int x = 0; x < kImageCount * kImageSize; ++x) {
                const int image = x / kImageSize;
                const BYTE* pixel =
                    source + 4 * (image < 16 && image % 2 == 0 ? x + kImageSize : x);
                BYTE* out = target + 4 * x;
                std::copy(pixel, pixel + 4, out);
                if (image >= 16) {
                    const BYTE grey =
                        BYTE((pixel[0] * 11 + pixel[1] * 59 + pixel[2] * 30) / 200 + pixel[3] / 2);
                    out[0] = out[1] = out[2] = grey;
                }
            }
        }
        ImageList_Add(greyed_, greyed, nullptr);
    }
    DeleteObject(greyed);
    DeleteObject(strip);
}

void TForm1::CreateControls() {
    toolBar1_ =
        Child(window_, TOOLBARCLASSNAMEW, "", CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER);
    SendMessageW(toolBar1_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageW(toolBar1_, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(imageList1_));
    SendMessageW(toolBar1_, TB_SETDISABLEDIMAGELIST, 0, reinterpret_cast<LPARAM>(greyed_));
    SetWindowSubclass(toolBar1_, &TForm1::ToolBarProcedure, 0, reinterpret_cast<DWORD_PTR>(this));

    stringGrid1_ =
        std::make_unique<TStringGrid>(form_.Session().Grid, window_, fonts_.Bold, fonts_.Dpi);
    stringGrid1_->OnDblClick = [this](int row) {
        Guarded(window_, [&] { form_.StringGrid1DblClick(row); });
    };
    label3_ = Child(window_, L"STATIC", kLabel3Text, SS_LEFTNOWORDWRAP | SS_NOPREFIX);
    progressBar1_ = Child(window_, PROGRESS_CLASSW, "", PBS_SMOOTH);
    SendMessageW(progressBar1_, PBM_SETRANGE32, 0, form_.Display().ShownMaximum());
    SetWindowSubclass(progressBar1_, &TForm1::ProgressProcedure, 0,
                      reinterpret_cast<DWORD_PTR>(this));
    // Just the number: other programs read it with WM_GETTEXT.
    label4_ = Child(window_, L"STATIC", kLabel4Initial, SS_LEFTNOWORDWRAP | SS_NOPREFIX);
    statusBar1_ =
        Child(window_, STATUSCLASSNAMEW, "", CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER);
    // One part, not the simple mode: WM_GETTEXT answers with its text.
    const int right = -1;
    SendMessageW(statusBar1_, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(&right));
    SetWindowSubclass(statusBar1_, &TForm1::StatusProcedure, 0, reinterpret_cast<DWORD_PTR>(this));
    // A visual style would draw a segmented bar and flat buttons.
    for (HWND control : {toolBar1_, progressBar1_}) SetWindowTheme(control, L" ", L" ");
    hints_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                             WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0, 0, 0, window_, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
}

void TForm1::Layout() {
    fonts_.SetDpi(GetDpiForWindow(window_));
    SizeClient(window_, kForm1Width, kForm1Height, fonts_.Dpi);
    Move(toolBar1_, kToolBar1Rect, fonts_.Dpi, fonts_.Regular);
    AddToolButtons();
    Move(label3_, {kLabel3Left, kLabel3Top, kProgressBar1Rect.left - kLabel3Left, kLabelHeight},
         fonts_.Dpi, fonts_.Bold);
    Move(progressBar1_, kProgressBar1Rect, fonts_.Dpi, fonts_.Regular);
    Move(label4_, {kLabel4Left, kLabel4Top, kForm1Width - kLabel4Left, kLabelHeight}, fonts_.Dpi,
         fonts_.Bold);
    Move(statusBar1_, kStatusBar1Rect, fonts_.Dpi, fonts_.Regular);
    stringGrid1_->SetDpi(fonts_.Dpi, fonts_.Bold);
    AddHints();
    Guarded(window_, [this] { form_.FormResize(); });
}

void TForm1::AddToolButtons() {
    while (SendMessageW(toolBar1_, TB_DELETEBUTTON, 0, 0)) {
    }
    SendMessageW(toolBar1_, TB_SETBITMAPSIZE, 0, MAKELPARAM(kImageSize, kImageSize));
    SendMessageW(toolBar1_, TB_SETBUTTONSIZE, 0,
                 MAKELPARAM(Scale(ToolItem(TToolId::ToolButton1).width, fonts_.Dpi),
                            Scale(kToolButtonHeight, fonts_.Dpi)));
    std::array<TBBUTTON, kToolItems.size()> buttons{};
    for (std::size_t i = 0; i < kToolItems.size(); ++i) {
        const TToolItem& item = kToolItems[i];
        TBBUTTON& button = buttons[i];
        if (item.image < 0) {
            // A separator's width is its image field.
            button.iBitmap = Scale(item.width, fonts_.Dpi);
            button.fsStyle = BTNS_SEP;
        } else {
            button.iBitmap = item.image;
            button.idCommand = kToolCommand + static_cast<int>(i);
            button.fsState = toolStates_[i];
            button.fsStyle = BTNS_BUTTON;
        }
    }
    SendMessageW(toolBar1_, TB_ADDBUTTONSW, buttons.size(),
                 reinterpret_cast<LPARAM>(buttons.data()));
}

void TForm1::AddHints() {
    // Each control with the hint it shows: its own or an enclosing one's.
    const auto add = [this](HWND window, UINT_PTR id, RECT rect, std::string_view name) {
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.hwnd = window;
        tool.uId = id;
        SendMessageW(hints_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        std::wstring text = ToWide(ShownHint(name));
        tool.uFlags = TTF_SUBCLASS | (id == reinterpret_cast<UINT_PTR>(window) ? TTF_IDISHWND : 0);
        tool.rect = rect;
        tool.lpszText = text.data();
        SendMessageW(hints_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    };
    const auto whole = [&](HWND window, std::string_view name) {
        add(window, reinterpret_cast<UINT_PTR>(window), {}, name);
    };
    const int height = Scale(kToolBar1Rect.height, fonts_.Dpi);
    for (std::size_t i = 0; i < kToolItems.size(); ++i) {
        const TToolItem& item = kToolItems[i];
        add(toolBar1_, i + 1,
            {Scale(item.left, fonts_.Dpi), 0, Scale(item.left + item.width, fonts_.Dpi), height},
            item.name);
    }
    const TToolItem& last = kToolItems.back();
    add(toolBar1_, kRestOfToolBar,
        {Scale(last.left + last.width, fonts_.Dpi), 0, Scale(kForm1Width, fonts_.Dpi), height},
        "ToolBar1");
    whole(window_, "Form1");
    whole(stringGrid1_->Window(), "StringGrid1");
    whole(label3_, "Label3");
    whole(progressBar1_, "ProgressBar1");
    whole(label4_, "Label4");
    whole(statusBar1_, "StatusBar1");
}

void TForm1::Show() {
    CentreOnScreen(window_);
    Guarded(window_, [this] { form_.FormShow(); });
    ShowWindow(window_, SW_SHOW);
    UpdateWindow(window_);
}

void TForm1::SetTitle(std::string_view title) {
    SetWindowTextW(window_, ToWide(title).c_str());
    QueueState();
}

void TForm1::SetDeviceButton(TToolId button, bool down, bool enabled) {
    const auto index = static_cast<std::size_t>(button);
    toolStates_[index] = BYTE((down ? TBSTATE_CHECKED : 0) | (enabled ? TBSTATE_ENABLED : 0));
    SendMessageW(toolBar1_, TB_SETSTATE, kToolCommand + index, MAKELPARAM(toolStates_[index], 0));
}

void TForm1::PlaceGrid(const TRect& rect) {
    stringGrid1_->Place(rect);
}

void TForm1::SetColumnWidth(int column, int width) {
    stringGrid1_->SetColWidth(column, width);
}

bool TForm1::ShowSettings() {
    return form2_ && form2_->ShowModal();
}

void TForm1::ShowStatus(std::string_view text) {
    SendMessageW(statusBar1_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(ToWide(text).c_str()));
    QueueState();
}

void TForm1::ShowProgressMaximum(int maximum) {
    SendMessageW(progressBar1_, PBM_SETRANGE32, 0, maximum);
    QueueState();
}

void TForm1::ShowProgressPosition(int position) {
    SendMessageW(progressBar1_, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    QueueState();
}

void TForm1::ShowTimeLeft(std::string_view text) {
    timeLeft_ = ToWide(text);
    InvalidateRect(progressBar1_, nullptr, TRUE);
}

void TForm1::ShowCounter(std::string_view text) {
    SetWindowTextW(label4_, ToWide(text).c_str());
    QueueState();
}

void TForm1::RowsReset(int rowCount) {
    stringGrid1_->RowsReset(rowCount);
    QueueState();
}

void TForm1::CellsChanged(int firstRow, int lastRow, int firstColumn, int lastColumn) {
    stringGrid1_->CellsChanged(firstRow, lastRow, firstColumn, lastColumn);
    QueueState();
}

void TForm1::QueueState() {
    if (statePath_.empty() || stateQueued_) return;
    stateQueued_ = PostMessageW(window_, kStateMessage, 0, 0) != 0;
}

void TForm1::WriteState() {
    stateQueued_ = false;
    // Read back through the ordinary messages, as other programs read them.
    const DirectoryGrid& grid = form_.Session().Grid;
    std::string text = WindowText(window_) + "\n" + WindowText(statusBar1_) + "\n" +
                       WindowText(label4_) + "\n" +
                       std::to_string(SendMessageW(progressBar1_, PBM_GETPOS, 0, 0)) + "/" +
                       std::to_string(SendMessageW(progressBar1_, PBM_GETRANGE, FALSE, 0)) + "\n";
    for (int row = 0; row < grid.RowCount(); ++row)
        for (int column = 0; column < kGridColumns; ++column)
            text += grid.Cell(row, column) + (column + 1 < kGridColumns ? "\t" : "\n");
    // Whole or not at all for a reader: written aside, then renamed.
    const std::wstring aside = statePath_ + L".tmp";
    const HANDLE file = CreateFileW(aside.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    const bool whole = WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
    CloseHandle(file);
    if (whole) MoveFileExW(aside.c_str(), statePath_.c_str(), MOVEFILE_REPLACE_EXISTING);
}

LRESULT TForm1::Handle(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_COMMAND: {
            const int index = LOWORD(wParam) - kToolCommand;
            if (lParam && reinterpret_cast<HWND>(lParam) == toolBar1_ && index >= 0 &&
                index < int(kToolItems.size()))
                Guarded(window_, [&] { form_.ToolClick(kToolItems[std::size_t(index)].id); });
            return 0;
        }
        case WM_TIMER:
            if (wParam == 1) Guarded(window_, [this] { timer1_.Fire(); });
            if (wParam == 2) Guarded(window_, [this] { displayTimer_.Fire(); });
            return 0;
        case WM_SIZE:
            if (stringGrid1_) Guarded(window_, [this] { form_.FormResize(); });
            return 0;
        case WM_CLOSE:
            Guarded(window_, [this] {
                if (form_.FormCloseQuery()) PostQuitMessage(0);
            });
            return 0;
        case WM_CTLCOLORSTATIC:
            SetBkColor(reinterpret_cast<HDC>(wParam), Rgb(kWindowColour));
            return reinterpret_cast<LRESULT>(background_);
        case WM_DPICHANGED: {
            const auto* rect = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(window_, nullptr, rect->left, rect->top, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            Layout();
            return 0;
        }
        case WM_ENDSESSION:
            // Logging off ends the process without WM_CLOSE: the shut-down
            // runs here, the dialog first.
            if (wParam) {
                if (form2_) form2_->FormDestroy();
                Guarded(window_, [this] { form_.FormDestroy(); });
            }
            return 0;
        case kStateMessage:
            WriteState();
            return 0;
        default:
            return DefWindowProcW(window, msg, wParam, lParam);
    }
}

LRESULT CALLBACK TForm1::ToolBarProcedure(HWND window, UINT msg, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR, DWORD_PTR data) {
    if (msg != WM_ERASEBKGND) return DefSubclassProc(window, msg, wParam, lParam);
    // The bar's own colour, raised.
    RECT rect{};
    GetClientRect(window, &rect);
    const auto dc = reinterpret_cast<HDC>(wParam);
    FillRect(dc, &rect, reinterpret_cast<TForm1*>(data)->barBrush_);
    DrawEdge(dc, &rect, BDR_RAISEDINNER, BF_RECT);
    return 1;
}

LRESULT CALLBACK TForm1::StatusProcedure(HWND window, UINT msg, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR, DWORD_PTR data) {
    if (msg == SB_SETTEXTW) InvalidateRect(window, nullptr, TRUE);
    if (msg != WM_PAINT) return DefSubclassProc(window, msg, wParam, lParam);
    // Drawn here in the bar's colour, which a visual style would replace;
    // the text stays the control's, for WM_GETTEXT.
    const auto* form = reinterpret_cast<TForm1*>(data);
    std::wstring text(LOWORD(SendMessageW(window, SB_GETTEXTLENGTHW, 0, 0)) + 1, L'\0');
    SendMessageW(window, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text.data()));
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(window, &paint);
    RECT rect{};
    GetClientRect(window, &rect);
    FillRect(dc, &rect, form->barBrush_);
    DrawEdge(dc, &rect, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
    rect.left += Scale(2, form->fonts_.Dpi);
    const HGDIOBJ old = SelectObject(dc, form->fonts_.Regular);
    SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, text.c_str(), -1, &rect, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
    EndPaint(window, &paint);
    return 0;
}

LRESULT CALLBACK TForm1::ProgressProcedure(HWND window, UINT msg, WPARAM wParam, LPARAM lParam,
                                           UINT_PTR, DWORD_PTR data) {
    const LRESULT result = DefSubclassProc(window, msg, wParam, lParam);
    const auto* form = reinterpret_cast<TForm1*>(data);
    if (msg != WM_PAINT || form->timeLeft_.empty()) return result;
    // The time left lies over the bar.
    const HDC dc = GetDC(window);
    RECT rect{};
    GetClientRect(window, &rect);
    const HGDIOBJ old = SelectObject(dc, form->fonts_.Regular);
    SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, form->timeLeft_.c_str(), -1, &rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return result;
}

}  // namespace vemkard::win32
