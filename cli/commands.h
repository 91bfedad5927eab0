// The two commands of `lumivor`: each parses its options and hands the job to a host.
#pragma once

// `lumivor render ...`: argv[0] is "render". Returns the exit status.
int RenderCommand(int argc, char** argv);

// `lumivor idle ...`: argv[0] is "idle". Returns the exit status.
int IdleCommand(int argc, char** argv);

// `lumivor [window options]`: argv[0] is the program. Returns the exit status.
int WindowCommand(int argc, char** argv);

struct WindowArgs;
// What the window command and the idle watcher check alike before a run:
// --wayland beside --x11 or an X11 option, LUMIVOR_PRESENT (another way to
// give --draw), and the outputs settled. 0, or the exit status after one line
// that points to `help`.
int SettleWindowArgs(WindowArgs& args, const char* help);
