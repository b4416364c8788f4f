#include "window_capture.h"

#include <vector>

#include "platform/unique_handle_win32.h"

namespace host {
namespace {

struct Canvas {
    win32::UniqueMemoryDc dc;
    win32::UniqueGdiObject bitmap;
    HGDIOBJ previous = nullptr;
    void* bits = nullptr;
    ~Canvas() {
        if (previous != nullptr) SelectObject(dc.Get(), previous);
    }
};

BITMAPINFOHEADER BottomUp24(LONG width, LONG height) {
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    return header;
}

DWORD RowBytes(LONG width) { return (static_cast<DWORD>(width) * 3 + 3) & ~3u; }

bool MakeCanvas(Canvas& canvas, LONG width, LONG height) {
    BITMAPINFO info{};
    info.bmiHeader = BottomUp24(width, height);
    canvas.dc.Reset(CreateCompatibleDC(nullptr));
    if (!canvas.dc) return false;
    canvas.bitmap.Reset(CreateDIBSection(canvas.dc.Get(), &info, DIB_RGB_COLORS, &canvas.bits, nullptr, 0));
    if (!canvas.bitmap) return false;
    canvas.previous = SelectObject(canvas.dc.Get(), canvas.bitmap.Get());
    return true;
}

// The frame the window manager would draw: the display driver keeps no pixels that
// could be copied, so the host paints it itself.
void PaintFrame(HWND window, HDC dc, const RECT& outer, const POINT& clientOrigin) {
    LONG style = GetWindowLongW(window, GWL_STYLE);
    LONG exStyle = GetWindowLongW(window, GWL_EXSTYLE);
    RECT frame = outer;
    bool dialogFrame = !(style & WS_CHILD) && (style & DS_MODALFRAME);
    if (dialogFrame || (style & WS_THICKFRAME) || (style & WS_CAPTION) == WS_CAPTION) {
        FillRect(dc, &frame, GetSysColorBrush(COLOR_3DFACE));
        DrawEdge(dc, &frame, EDGE_RAISED, BF_RECT | BF_ADJUST);
    } else if (exStyle & WS_EX_CLIENTEDGE) {
        DrawEdge(dc, &frame, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    }
    if ((style & WS_CAPTION) == WS_CAPTION) {
        RECT caption{frame.left, frame.top, frame.right, clientOrigin.y};
        DrawCaption(window, dc, &caption, DC_ACTIVE | DC_TEXT | DC_GRADIENT);
    }
}

// The client area, printed into a canvas of its own: the controls take the device
// origin as their client origin. It starts from what lies beneath, for controls that
// draw only part of their area.
void PrintClient(HWND window, HDC dc, POINT clientOrigin) {
    RECT client;
    GetClientRect(window, &client);
    if (client.right <= 0 || client.bottom <= 0) return;
    Canvas own;
    if (!MakeCanvas(own, client.right, client.bottom)) return;
    BitBlt(own.dc.Get(), 0, 0, client.right, client.bottom, dc, clientOrigin.x, clientOrigin.y, SRCCOPY);
    SendMessageW(window, WM_PRINT, reinterpret_cast<WPARAM>(own.dc.Get()), PRF_CLIENT | PRF_ERASEBKGND);
    GdiFlush();
    BitBlt(dc, clientOrigin.x, clientOrigin.y, client.right, client.bottom, own.dc.Get(), 0, 0, SRCCOPY);
}

// Frame, then client, then each visible child at its place, bottom of the z-order
// first. origin: where the window's top left corner lands in the canvas.
void PrintTree(HWND window, HDC dc, POINT origin) {
    RECT screen;
    GetWindowRect(window, &screen);
    POINT client{0, 0};
    ClientToScreen(window, &client);
    POINT clientOrigin{origin.x + client.x - screen.left, origin.y + client.y - screen.top};
    RECT outer{origin.x, origin.y, origin.x + screen.right - screen.left, origin.y + screen.bottom - screen.top};
    PaintFrame(window, dc, outer, clientOrigin);
    PrintClient(window, dc, clientOrigin);
    for (HWND child = GetWindow(GetWindow(window, GW_CHILD), GW_HWNDLAST); child != nullptr;
         child = GetWindow(child, GW_HWNDPREV)) {
        if (!IsWindowVisible(child)) continue;
        RECT rect;
        GetWindowRect(child, &rect);
        PrintTree(child, dc, {origin.x + rect.left - screen.left, origin.y + rect.top - screen.top});
    }
}

bool WriteBmp(const std::wstring& path, const void* bits, LONG width, LONG height) {
    BITMAPINFOHEADER info = BottomUp24(width, height);
    DWORD imageBytes = RowBytes(width) * static_cast<DWORD>(height);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + imageBytes;
    win32::UniqueFile out(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) return false;
    DWORD written = 0;
    return WriteFile(out.Get(), &file, sizeof file, &written, nullptr) &&
           WriteFile(out.Get(), &info, sizeof info, &written, nullptr) &&
           WriteFile(out.Get(), bits, imageBytes, &written, nullptr) && written == imageBytes;
}

}  // namespace

bool CaptureWindowToBmp(HWND window, const std::wstring& path, SIZE* size) {
    RECT rect;
    if (!GetWindowRect(window, &rect)) return false;
    LONG width = rect.right - rect.left;
    LONG height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return false;
    Canvas canvas;
    if (!MakeCanvas(canvas, width, height)) return false;
    PrintTree(window, canvas.dc.Get(), {0, 0});
    GdiFlush();
    if (!WriteBmp(path, canvas.bits, width, height)) return false;
    *size = {width, height};
    return true;
}

}  // namespace host
