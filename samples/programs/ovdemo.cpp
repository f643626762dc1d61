// Orvanex Demo, the sample product's main program: one window of the class
// that INSTALL.INF names (so that a later setup can close it), greeting the
// user from the installed language file that fits the system's language.
#include <windows.h>

// Must match "Class=" in samples/product/INSTALL.INF.
static const wchar_t kWindowClass[] = L"OrvanexDemoWindow";

static wchar_t greeting[256] = L"Orvanex Demo is installed and running.";

// Reads "Greeting=" from <program folder>\OVDEMO_<code>.LNG; false when the
// file is missing or has no greeting.
static bool ReadGreeting(const wchar_t* code)
{
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH - 20)
        return false;
    while (n > 0 && path[n - 1] != L'\\')
        n--;
    path[n] = 0;
    lstrcatW(path, L"OVDEMO_");
    lstrcatW(path, code);
    lstrcatW(path, L".LNG");

    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    char text[4096];
    DWORD got = 0;
    BOOL ok = ReadFile(file, text, sizeof text - 1, &got, nullptr);
    CloseHandle(file);
    if (!ok)
        return false;
    text[got] = 0;

    const char key[] = "Greeting=";
    char* at = text;
    for (; *at; at++) {
        int k = 0;
        while (key[k] && at[k] == key[k])
            k++;
        if (!key[k])
            break;
    }
    if (!*at)
        return false;
    char* value = at + sizeof key - 1;
    char* end = value;
    while (*end && *end != '\r' && *end != '\n')
        end++;
    int count = MultiByteToWideChar(CP_ACP, 0, value, int(end - value), greeting, 255);
    greeting[count > 0 ? count : 0] = 0;
    return count > 0;
}

static void ChooseGreeting()
{
    const wchar_t* preferred = L"US";
    switch (PRIMARYLANGID(GetUserDefaultUILanguage())) {
    case LANG_GERMAN:
        preferred = L"DE";
        break;
    case LANG_ITALIAN:
        preferred = L"IT";
        break;
    }
    // The user may have installed other languages than the system's.
    if (!ReadGreeting(preferred) && !ReadGreeting(L"US") && !ReadGreeting(L"DE"))
        ReadGreeting(L"IT");
}

static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        RECT area;
        GetClientRect(window, &area);
        SetBkMode(dc, TRANSPARENT);
        DrawTextW(dc, greeting, -1, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_DESTROY:
        // Also what a setup sends to close the running product.
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show)
{
    ChooseGreeting();
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    windowClass.hIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(32512));     // IDI_APPLICATION
    windowClass.hbrBackground = HBRUSH(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kWindowClass;
    if (!RegisterClassW(&windowClass))
        return 1;
    HWND window = CreateWindowW(kWindowClass, L"Orvanex Demo", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 520,
                                200, nullptr, nullptr, instance, nullptr);
    if (!window)
        return 1;
    ShowWindow(window, show);
    UpdateWindow(window);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
