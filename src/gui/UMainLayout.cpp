// The main window's four pages: every component with its place (laid out at 120 pixels per inch
// and scaled to the screen), font, colour and text at design.
#include "gui/UMain.h"

#include <commctrl.h>

#include "gui/ControlIds.h"

namespace {
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kNavy = RGB(0, 0, 128);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kDarkBlue = RGB(0, 29, 97);
constexpr COLORREF kLinkBlue = RGB(0, 0, 255);

constexpr int kWidth = 554;
constexpr int kHeight = 338;
constexpr int kHeader = 62;
constexpr int kFooter = 50;
constexpr int kFooterTop = kHeight - kFooter;

const char* const kPageClass = "TFMainPage";

HFONT MakeFont(int height, int weight, bool underline) {
    return CreateFontA(-height, 0, 0, 0, weight, FALSE, underline ? TRUE : FALSE, FALSE, ANSI_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                       "MS Sans Serif");
}

// A button wide enough for its text, at least the layout width.
int FittedWidth(HWND hwnd, HFONT font, const std::string& text, int minimum) {
    const scoped::WindowDC dc(hwnd);
    const scoped::SelectedObject selected(dc.Get(), font);
    SIZE size{};
    GetTextExtentPoint32A(dc.Get(), text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx + 24 > minimum ? size.cx + 24 : minimum;
}
}  // namespace

HWND TFMain::MakePage(int id, std::vector<Band> bands) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSA page{};
        page.lpfnWndProc = PageProc;
        page.hInstance = instance_;
        page.hCursor = LoadCursor(nullptr, IDC_ARROW);
        page.lpszClassName = kPageClass;
        RegisterClassA(&page);
        registered = true;
    }
    // Hidden at design; covers the whole client area.
    HWND page = CreateWindowExA(WS_EX_CONTROLPARENT, kPageClass, "", WS_CHILD | WS_CLIPCHILDREN, 0, 0,
                                Scale(kWidth), Scale(kHeight), hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                instance_, nullptr);
    SetWindowLongPtrA(page, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    for (Band& band : bands)
        SetRect(&band.area, Scale(band.area.left), Scale(band.area.top), Scale(band.area.right),
                Scale(band.area.bottom));
    bands_[page] = std::move(bands);
    items_[id] = page;
    return page;
}

HWND TFMain::Make(const char* className, const std::string& text, DWORD style, int x, int y, int w, int h,
                  HWND parent, int id, HFONT font) {
    const DWORD exStyle = id == ids::EFolder ? WS_EX_CLIENTEDGE : 0;
    HWND item = CreateWindowExA(exStyle, className, text.c_str(), WS_CHILD | WS_VISIBLE | style, Scale(x), Scale(y),
                                Scale(w), Scale(h), parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                instance_, nullptr);
    if (font != nullptr) SendMessageA(item, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    items_[id] = item;
    return item;
}

HWND TFMain::MakeLabel(const std::string& text, DWORD style, int x, int y, int w, int h, HWND page, int id,
                       HFONT font, Look look) {
    HWND label = Make("STATIC", text, style | SS_NOPREFIX, x, y, w, h, page, id, font);
    looks_[label] = look;
    return label;
}

HWND TFMain::MakePicture(int bitmapId, int x, int y, int w, int h, HWND page, int id) {
    HWND picture = Make("STATIC", "", SS_BITMAP, x, y, w, h, page, id, nullptr);
    HBITMAP bitmap = static_cast<HBITMAP>(
        LoadImageA(instance_, MAKEINTRESOURCEA(bitmapId), IMAGE_BITMAP, Scale(w), Scale(h), 0));
    if (bitmap != nullptr) {
        bitmaps_.emplace_back(bitmap);
        SendMessageA(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
    }
    return picture;
}

void TFMain::CreatePages() {
    HFONT normal = MakeFont(Scale(14), FW_NORMAL, false);
    HFONT heading = HeadingFont(Scale(23));
    HFONT large = MakeFont(Scale(18), FW_NORMAL, false);
    HFONT medium = MakeFont(Scale(16), FW_NORMAL, false);
    HFONT link = MakeFont(Scale(16), FW_NORMAL, true);
    for (HFONT font : {normal, large, medium, link}) fonts_.emplace_back(font);
    SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(normal), FALSE);

    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const Look onFace{kBlack, face};
    const Look onWhite{kBlack, kWhite};
    const Look headingLook{kNavy, kWhite};
    // Header strip (white, etched bottom line), the face colour between, footer strip (etched top line).
    const std::vector<Band> standard = {
        {{0, 0, kWidth, kHeader}, kWhite, BF_BOTTOM},
        {{0, kHeader, kWidth, kFooterTop}, face, 0},
        {{0, kFooterTop, kWidth, kHeight}, face, BF_TOP},
    };
    auto logos = [&](HWND page, int vltId, int brsId) {
        MakePicture(ids::BitmapVltTop, 423, 7, 106, 48, page, vltId);
        MakePicture(ids::BitmapBrsTop, 411, 7, 120, 48, page, brsId);
    };

    // Page 1, the progress page.
    HWND setup = MakePage(ids::PanelSetup, standard);
    MakeLabel("LabelTop", SS_LEFT, 10, 15, 400, 32, setup, ids::LabelTop, heading, headingLook);
    logos(setup, ids::VLTImageTopRight, ids::BRSImageTopRight);
    MakeLabel("LabelOverall", SS_LEFT, 10, kHeader + 5, 534, 18, setup, ids::LabelOverall, normal, onFace);
    HWND overall = Make(PROGRESS_CLASSA, "", 0, 10, kHeader + 30, 534, 20, setup, ids::PBOverall, nullptr);
    SendMessageA(overall, PBM_SETRANGE32, 0, 5);
    MakeLabel("", SS_LEFT, 10, kHeader + 69, 534, 18, setup, ids::LabelPending, normal, onFace);
    Make(PROGRESS_CLASSA, "", 0, 10, kHeader + 89, 534, 21, setup, ids::PBPending, nullptr);

    // Page 2, the folder page.
    HWND folder = MakePage(ids::PanelSelectFolder, standard);
    MakeLabel("SFLabelTop", SS_LEFT, 10, 15, 400, 32, folder, ids::SFLabelTop, heading, headingLook);
    logos(folder, ids::SFImageVLT, ids::SFImageBRS);
    MakeLabel("SFLabelFolder", SS_LEFT, 108, kHeader + 10, 435, 18, folder, ids::SFLabelFolder, normal, onFace);
    Make("BUTTON", "BChangeFolder", BS_PUSHBUTTON | WS_TABSTOP, 10, kHeader + 30, 92, 30, folder,
         ids::BChangeFolder, normal);
    Make("EDIT", "", ES_AUTOHSCROLL | WS_TABSTOP, 108, kHeader + 32, 435, 24, folder, ids::EFolder, normal);
    Make("BUTTON", "BInstall", BS_DEFPUSHBUTTON | WS_TABSTOP, 453, kFooterTop + 10, 92, 31, folder, ids::BInstall,
         normal);

    // Page 3, the result page: a dark blue strip on the left, white on the right.
    HWND finish = MakePage(ids::PanelFinish, {
                                                 {{0, 0, 150, kFooterTop}, kDarkBlue, 0},
                                                 {{150, 0, kWidth, kFooterTop}, kWhite, 0},
                                                 {{0, kFooterTop, kWidth, kHeight}, face, BF_TOP},
                                             });
    Make("BUTTON", "OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 454, kFooterTop + 10, 92, 31, finish, ids::FBOk, normal);
    MakePicture(ids::BitmapBrsLeft, 5, 5, 115, 48, finish, ids::FBRSImageLeft);
    MakePicture(ids::BitmapVltLeft, 5, 5, 115, 48, finish, ids::FVLTImageLeft);
    // Empty until a result arrives: a failed uninstall keeps the heading it has (the worker writes
    // one only on success), and a design placeholder is no heading to show.
    MakeLabel("", SS_LEFT, 150 + 10, 15, 385, 32, finish, ids::FLabelTop, heading, onWhite);
    MakeLabel("FLabelMessage", SS_LEFT | WS_CLIPSIBLINGS, 150 + 10, 49, 385, 230, finish, ids::FLabelMessage,
              normal, onWhite);
    // The two check boxes share one place inside the message's area and lie above it.
    HWND desktop = Make("BUTTON", "CBCreateDesktop", BS_AUTOCHECKBOX | WS_TABSTOP | WS_CLIPSIBLINGS, 150 + 10, 148,
                        385, 21, finish, ids::CBCreateDesktop, normal);
    looks_[desktop] = onWhite;
    SendMessageA(desktop, BM_SETCHECK, BST_CHECKED, 0);
    ShowWindow(desktop, SW_HIDE);
    HWND restart = Make("BUTTON", "CBRestart", BS_AUTOCHECKBOX | WS_TABSTOP | WS_CLIPSIBLINGS, 150 + 9, 148, 385,
                        21, finish, ids::CBRestart, normal);
    looks_[restart] = onWhite;
    ShowWindow(restart, SW_HIDE);
    SetWindowPos(desktop, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetWindowPos(restart, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    // Page 4, the uninstall page. The statement of what happens sits between the question and the
    // feedback text, so that none of them covers another.
    HWND uninstall = MakePage(ids::PanelUninstall, standard);
    MakeLabel("LabelTop", SS_LEFT, 10, 15, 400, 32, uninstall, ids::UninstallLabelTop, heading, headingLook);
    logos(uninstall, ids::PUVLTImage, ids::PUBRSImage);
    MakeLabel("Are You Sure", SS_CENTER, 10, kHeader + 15, 533, 22, uninstall, ids::LabelUninstallAreYouSure, large,
              onFace);
    MakeLabel("LabelUninstall", SS_CENTER, 10, kHeader + 42, 533, 24, uninstall, ids::LabelUninstall, normal,
              onFace);
    MakeLabel("Feedback", SS_CENTER, 10, kHeader + 70, 533, 44, uninstall, ids::LabelUninstallFeedback, medium,
              onFace);
    MakeLabel("Click Here", SS_CENTER | SS_NOTIFY, 10, kHeader + 120, 533, 20, uninstall,
              ids::LabelUninstallClickhere, link, {kLinkBlue, face});
    MakeLabel("Continue", SS_CENTER, 10, kHeader + 180, 533, 20, uninstall, ids::LabelUninstallContinue, medium,
              onFace);
    Make("BUTTON", "BUninstall", BS_PUSHBUTTON | WS_TABSTOP, 334, kFooterTop + 10, 92, 31, uninstall,
         ids::BUninstall, normal);
    Make("BUTTON", "BCancel", BS_DEFPUSHBUTTON | WS_TABSTOP, 447, kFooterTop + 10, 92, 31, uninstall, ids::BCancel,
         normal);
}

// The uninstall buttons carry long texts: both grow to fit, BCancel keeps its right edge and
// BUninstall stays to its left.
void FitUninstallButtons(HWND uninstallButton, HWND cancelButton, HFONT font, int scaledRight, int scaledGap,
                         int scaledMinimum) {
    char text[256];
    GetWindowTextA(cancelButton, text, sizeof text);
    const int cancelWidth = FittedWidth(cancelButton, font, text, scaledMinimum);
    GetWindowTextA(uninstallButton, text, sizeof text);
    const int uninstallWidth = FittedWidth(uninstallButton, font, text, scaledMinimum);
    RECT place{};
    GetWindowRect(cancelButton, &place);
    MapWindowPoints(nullptr, GetParent(cancelButton), reinterpret_cast<POINT*>(&place), 2);
    const int height = place.bottom - place.top;
    const int cancelLeft = scaledRight - cancelWidth;
    MoveWindow(cancelButton, cancelLeft, place.top, cancelWidth, height, TRUE);
    MoveWindow(uninstallButton, cancelLeft - scaledGap - uninstallWidth, place.top, uninstallWidth, height, TRUE);
}
