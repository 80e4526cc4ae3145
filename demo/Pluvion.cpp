// The demo's stand-in for Pluvion: records that it started (started.txt beside it, one line a
// start: "started PID ARGUMENTS") and shows a small weather window. "/quiet" records and ends
// without a window.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {
LRESULT CALLBACK WeatherProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(hwnd, &paint);
        RECT area;
        GetClientRect(hwnd, &area);
        HBRUSH sky = CreateSolidBrush(RGB(120, 170, 230));
        FillRect(dc, &area, sky);
        DeleteObject(sky);
        HBRUSH sun = CreateSolidBrush(RGB(250, 200, 40));
        HGDIOBJ old = SelectObject(dc, sun);
        Ellipse(dc, 20, 20, 80, 80);
        SelectObject(dc, old);
        DeleteObject(sun);
        SetBkMode(dc, TRANSPARENT);
        const char* lines[] = {"Pluvion", "Today: light rain, 14 C", "Tomorrow: sunny spells, 17 C"};
        int y = 24;
        for (const char* line : lines) {
            TextOutA(dc, 100, y, line, lstrlenA(line));
            y += 22;
        }
        EndPaint(hwnd, &paint);
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

void RecordStart(const char* arguments) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string file = path;
    file = file.substr(0, file.find_last_of('\\') + 1) + "started.txt";
    if (FILE* f = std::fopen(file.c_str(), "a")) {
        std::fprintf(f, "started %lu %s\n", GetCurrentProcessId(), arguments);
        std::fclose(f);
    }
}
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int show) {
    RecordStart(commandLine);
    if (std::string(commandLine).find("/quiet") != std::string::npos) return 0;
    WNDCLASSA cls{};
    cls.lpfnWndProc = WeatherProc;
    cls.hInstance = instance;
    cls.hCursor = LoadCursor(nullptr, IDC_ARROW);
    cls.lpszClassName = "PluvionWeather";
    RegisterClassA(&cls);
    HWND hwnd = CreateWindowA("PluvionWeather", "Pluvion", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 360,
                              150, nullptr, nullptr, instance, nullptr);
    if (hwnd == nullptr) return 1;
    ShowWindow(hwnd, show);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
