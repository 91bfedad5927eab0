#include "tests/support/x_server.h"

#include <X11/Xlib.h>

#include <cstdlib>

TestXServer::TestXServer(int width, int height, const std::string& options) {
    // It writes its display number once it takes connections and ends with its last client.
    const std::string command = "exec Xvfb -displayfd 1 -screen 0 " + std::to_string(width) + "x" +
                                std::to_string(height) + "x24 -nolisten tcp -terminate " + options +
                                " 2>/dev/null";
    server = popen(command.c_str(), "r");
    char number[16] = "";
    if (server != nullptr && std::fgets(number, sizeof number, server) != nullptr)
        display_name = std::string(":").append(std::to_string(std::atoi(number)));
    if (!display_name.empty()) display = XOpenDisplay(display_name.c_str());
    if (display == nullptr) std::fprintf(stderr, "TestXServer: Xvfb is missing or failed\n");
}

TestXServer::~TestXServer() {
    if (display != nullptr) XCloseDisplay(display);
    // Without a connection, only a server that has already gone can be waited for.
    if (server != nullptr && (display != nullptr || display_name.empty())) pclose(server);
}
