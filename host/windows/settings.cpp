// The settings dialog is built in code (no resource script): a label, a
// drop-down list of "From the clock" and the ten communities, OK and Cancel.
#include "host/windows/settings.h"

#include <windows.h>

#include <cstring>

#include "world/community.h"

namespace {

const char kKey[] = "Software\\Lumivor";
const char kValue[] = "Community";
const char kClock[] = "clock";
constexpr int kListId = 100;
constexpr int kDialogW = 300, kDialogH = 114;  // client area

struct DialogState {
    HWND list = nullptr;
    std::FILE* diag = nullptr;
    int status = 0;
    bool done = false;
    bool confirm_at_once = false;  // chosen on the command line: nobody to tell
    HWND owner = nullptr;          // disabled while the dialog is open, as for a modal one
};

// The owner comes back before the dialog goes, so that it is the one activated.
void CloseDialog(HWND window, DialogState* state) {
    if (state != nullptr && state->owner != nullptr) EnableWindow(state->owner, TRUE);
    DestroyWindow(window);
}

DialogState* StateOf(HWND window) {
    return reinterpret_cast<DialogState*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

HWND AddControl(HWND parent, const char* cls, const char* text, DWORD style, int x, int y, int w,
                int h, int id) {
    HWND control = CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   GetModuleHandleA(nullptr), nullptr);
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                 TRUE);
    return control;
}

LRESULT CALLBACK DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    DialogState* state = StateOf(window);
    switch (message) {
        case WM_CREATE: {
            state =
                static_cast<DialogState*>(reinterpret_cast<CREATESTRUCTA*>(lparam)->lpCreateParams);
            SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
            AddControl(window, "STATIC", "Community of bots:", 0, 12, 14, 270, 18, -1);
            state->list =
                AddControl(window, "COMBOBOX", nullptr, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP,
                           12, 34, 270, 260, kListId);
            SendMessageA(state->list, CB_ADDSTRING, 0,
                         reinterpret_cast<LPARAM>("From the clock (a new one at every start)"));
            for (int i = 0; i < kCommunityCount; ++i)
                SendMessageA(state->list, CB_ADDSTRING, 0,
                             reinterpret_cast<LPARAM>(community_names[i]));
            SendMessageA(state->list, CB_SETCURSEL, static_cast<WPARAM>(ReadCommunitySetting() + 1),
                         0);
            AddControl(window, "BUTTON", "OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 110, 76, 80, 26,
                       IDOK);
            AddControl(window, "BUTTON", "Cancel", BS_PUSHBUTTON | WS_TABSTOP, 202, 76, 80, 26,
                       IDCANCEL);
            SetFocus(state->list);
            return 0;
        }
        case WM_COMMAND:
            if (LOWORD(wparam) == IDOK) {
                const LRESULT selected = SendMessageA(state->list, CB_GETCURSEL, 0, 0);
                const int choice = selected == CB_ERR ? -1 : static_cast<int>(selected) - 1;
                if (!WriteCommunitySetting(choice, state->diag)) {
                    state->status = 1;
                    if (!state->confirm_at_once)
                        MessageBoxA(window, "The setting could not be stored in the registry.",
                                    "Lumivor", MB_OK | MB_ICONERROR);
                }
                CloseDialog(window, state);
            } else if (LOWORD(wparam) == IDCANCEL) {
                CloseDialog(window, state);
            }
            return 0;
        case WM_CLOSE:
            CloseDialog(window, state);
            return 0;
        case WM_DESTROY:
            if (state != nullptr) state->done = true;
            return 0;
        default:
            return DefWindowProcA(window, message, wparam, lparam);
    }
}

}  // namespace

int ReadCommunitySetting() {
    char name[64] = {};
    DWORD size = sizeof name;
    if (RegGetValueA(HKEY_CURRENT_USER, kKey, kValue, RRF_RT_REG_SZ, nullptr, name, &size) !=
        ERROR_SUCCESS)
        return -1;
    for (int i = 0; i < kCommunityCount; ++i)
        if (std::strcmp(name, community_names[i]) == 0) return i;
    return -1;
}

bool WriteCommunitySetting(int choice, std::FILE* diag) {
    const char* name = choice >= 0 && choice < kCommunityCount ? community_names[choice] : kClock;
    HKEY key = nullptr;
    LONG result = RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                  &key, nullptr);
    if (result == ERROR_SUCCESS) {
        result = RegSetValueExA(key, kValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(name),
                                static_cast<DWORD>(std::strlen(name) + 1));
        RegCloseKey(key);
    }
    if (result != ERROR_SUCCESS) {
        char reason[256] = {};
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(result), 0, reason, sizeof reason, nullptr);
        std::fprintf(diag, "lumivor: cannot store the setting in HKEY_CURRENT_USER\\%s: %s\n", kKey,
                     reason);
        return false;
    }
    return true;
}

int RunSettingsDialog(std::uintptr_t owner, int choose, std::FILE* diag) {
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA cls{};
    cls.lpfnWndProc = DialogProc;
    cls.hInstance = instance;
    cls.hCursor = LoadCursor(nullptr, IDC_ARROW);
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    cls.lpszClassName = "LumivorSettings";
    if (!RegisterClassA(&cls)) {
        std::fprintf(diag, "lumivor: cannot register the settings window class (error %lu)\n",
                     GetLastError());
        return 1;
    }
    DialogState state;
    state.diag = diag;
    state.confirm_at_once = choose >= -1;
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    RECT frame{0, 0, kDialogW, kDialogH};
    AdjustWindowRect(&frame, style, FALSE);
    const int w = frame.right - frame.left, h = frame.bottom - frame.top;
    const HWND owner_window = reinterpret_cast<HWND>(owner);
    if (IsWindow(owner_window)) state.owner = owner_window;
    HWND window = CreateWindowExA(WS_EX_DLGMODALFRAME, cls.lpszClassName, "Lumivor settings", style,
                                  (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
                                  (GetSystemMetrics(SM_CYSCREEN) - h) / 2, w, h, state.owner,
                                  nullptr, instance, &state);
    if (window == nullptr) {
        std::fprintf(diag, "lumivor: cannot open the settings dialog (error %lu)\n",
                     GetLastError());
        return 1;
    }
    if (state.owner != nullptr) EnableWindow(state.owner, FALSE);
    ShowWindow(window, SW_SHOW);
    if (choose >= -1) {
        SendMessageA(state.list, CB_SETCURSEL, static_cast<WPARAM>(choose + 1), 0);
        PostMessageA(window, WM_COMMAND, IDOK, 0);
    }
    MSG msg;
    while (!state.done && GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (IsDialogMessageA(window, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return state.status;
}
