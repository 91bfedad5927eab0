// Stands in for the settings dialog's preview area: opens a borderless window
// at the top-left corner of the screen and starts the saver with /p and the
// window's handle. Checks that the saver's window appears in it at its size and
// follows it to a new size, then destroys the window once the file STOP exists.
// Exits with the saver's status; 3 when the saver ends too early or outlives its
// window, 5 when its window does not appear or does not follow.
//
//   preview_parent.exe SCR WIDTH HEIGHT NEW-WIDTH NEW-HEIGHT STOP [saver options...]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc < 7) {
        std::fprintf(
            stderr, "usage: preview_parent SCR WIDTH HEIGHT NEW-WIDTH NEW-HEIGHT STOP [options]\n");
        return 2;
    }
    const int width = std::atoi(argv[2]), height = std::atoi(argv[3]);
    const int new_width = std::atoi(argv[4]), new_height = std::atoi(argv[5]);
    const char* stop_file = argv[6];

    WNDCLASSA cls{};
    cls.lpfnWndProc = DefWindowProcA;  // which erases with the class's black brush
    cls.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.lpszClassName = "LumivorPreviewParent";
    RegisterClassA(&cls);
    HWND parent = CreateWindowExA(0, cls.lpszClassName, "preview parent",
                                  WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, width, height,
                                  nullptr, nullptr, cls.hInstance, nullptr);

    std::string command = std::string("\"") + argv[1] + "\" /p " +
                          std::to_string(reinterpret_cast<std::uintptr_t>(parent));
    for (int i = 7; i < argc; ++i) command += std::string(" \"") + argv[i] + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION saver{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &saver)) {
        std::fprintf(stderr, "preview_parent: cannot start %s (error %lu)\n", command.c_str(),
                     GetLastError());
        return 1;
    }

    // Serves the window for up to `ms` milliseconds or until done() holds.
    auto serve = [&](DWORD ms, auto done) {
        const ULONGLONG end = GetTickCount64() + ms;
        for (;;) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
            if (done()) return true;
            if (WaitForSingleObject(saver.hProcess, 0) == WAIT_OBJECT_0) {
                std::fprintf(stderr,
                             "preview_parent: the saver ended while its window was there\n");
                std::exit(3);
            }
            if (GetTickCount64() >= end) return false;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        }
    };
    // True when the saver's window shows up in ours at w x h within `ms` milliseconds.
    auto saver_window_at = [&](int w, int h, DWORD ms) {
        const bool there = serve(ms, [&] {
            HWND child = FindWindowExA(parent, nullptr, "LumivorSaver", nullptr);
            RECT r{};
            return child != nullptr && GetClientRect(child, &r) && r.right == w && r.bottom == h;
        });
        if (!there) {
            std::fprintf(stderr, "preview_parent: no %dx%d saver window in the window\n", w, h);
            TerminateProcess(saver.hProcess, 4);
        }
        return there;
    };
    if (!saver_window_at(width, height, 60000)) return 5;
    std::printf("preview window %dx%d\n", width, height);
    serve(2000, [] { return false; });
    SetWindowPos(parent, nullptr, 0, 0, new_width, new_height, SWP_NOZORDER | SWP_NOMOVE);
    if (!saver_window_at(new_width, new_height, 10000)) return 5;
    std::printf("preview window followed to %dx%d\n", new_width, new_height);
    std::fflush(stdout);
    serve(INFINITE,
          [stop_file] { return GetFileAttributesA(stop_file) != INVALID_FILE_ATTRIBUTES; });
    DestroyWindow(parent);

    if (WaitForSingleObject(saver.hProcess, 20000) != WAIT_OBJECT_0) {
        std::fprintf(stderr, "preview_parent: the saver outlived its window\n");
        TerminateProcess(saver.hProcess, 4);
        return 3;
    }
    DWORD status = 1;
    GetExitCodeProcess(saver.hProcess, &status);
    std::printf("preview ended with status %lu\n", status);
    return static_cast<int>(status);
}
