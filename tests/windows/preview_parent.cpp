// Stands in for the settings dialog's preview area: opens a borderless window
// at the top-left corner of the screen and starts the saver with /p and the
// window's handle. Checks that the saver's window appears in it at its size and
// follows it to a new size, then destroys the window. Exits with the saver's
// status; 3 when the saver ends too early or outlives its window, 5 when its
// window does not appear or does not follow.
//
//   preview_parent.exe SCR WIDTH HEIGHT NEW-WIDTH NEW-HEIGHT [saver options...]
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

PROCESS_INFORMATION saver{};

// Ends the test with `status` after saying why; the saver goes too.
int Fail(const std::string& why, int status) {
    std::fprintf(stderr, "preview_parent: %s\n", why.c_str());
    TerminateProcess(saver.hProcess, 4);
    return status;
}

// Serves the window until done() holds (true) or for `ms` milliseconds (false);
// the saver may not end meanwhile.
template <typename Done>
bool Serve(DWORD ms, Done done) {
    for (const ULONGLONG end = GetTickCount64() + ms;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        if (done()) return true;
        if (WaitForSingleObject(saver.hProcess, 0) == WAIT_OBJECT_0)
            std::exit(Fail("the saver ended while its window was there", 3));
        if (GetTickCount64() >= end) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
}

// The saver's window shows up in `parent` at w x h within `ms` milliseconds.
bool SaverWindowAt(HWND parent, int w, int h, DWORD ms) {
    return Serve(ms, [&] {
        HWND child = FindWindowExA(parent, nullptr, "LumivorSaver", nullptr);
        RECT r{};
        return child != nullptr && GetClientRect(child, &r) && r.right == w && r.bottom == h;
    });
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: preview_parent SCR W H NEW-W NEW-H [options]\n");
        return 2;
    }
    const int width = std::atoi(argv[2]), height = std::atoi(argv[3]);
    const int new_width = std::atoi(argv[4]), new_height = std::atoi(argv[5]);
    // A static control's class serves as a plain window: nothing to register.
    HWND parent =
        CreateWindowExA(0, "STATIC", "preview parent", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0,
                        0, width, height, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (parent == nullptr) {
        std::fprintf(stderr, "preview_parent: no window (error %lu)\n", GetLastError());
        return 1;
    }

    std::string command = std::string("\"") + argv[1] + "\" /p " +
                          std::to_string(reinterpret_cast<std::uintptr_t>(parent));
    for (int i = 6; i < argc; ++i) command += std::string(" \"") + argv[i] + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    // Wine reports ERROR_INTERNAL_ERROR when the new process dies while Wine itself
    // starts it, before the program is even mapped (seen once in CI): nothing of
    // the saver has run then, so one more start is fair.
    const auto start = [&] {
        return CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                              &startup, &saver) != 0;
    };
    if (!start() && !(GetLastError() == ERROR_INTERNAL_ERROR && start())) {
        std::fprintf(stderr, "preview_parent: cannot start %s (error %lu)\n", command.c_str(),
                     GetLastError());
        return 1;
    }
    if (!SaverWindowAt(parent, width, height, 60000))
        return Fail("no saver window of the window's size in it", 5);
    Serve(2000, [] { return false; });
    SetWindowPos(parent, nullptr, 0, 0, new_width, new_height, SWP_NOZORDER | SWP_NOMOVE);
    if (!SaverWindowAt(parent, new_width, new_height, 10000))
        return Fail("the saver window did not follow the window to its new size", 5);
    DestroyWindow(parent);
    if (WaitForSingleObject(saver.hProcess, 20000) != WAIT_OBJECT_0)
        return Fail("the saver outlived its window", 3);
    DWORD status = 1;
    GetExitCodeProcess(saver.hProcess, &status);
    return static_cast<int>(status);
}
