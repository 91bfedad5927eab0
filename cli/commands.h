// The two commands of `lumivor`: each parses its options and hands the job to a host.
#pragma once

// `lumivor render ...`: argv[0] is "render". Returns the exit status.
int RenderCommand(int argc, char** argv);

// `lumivor idle ...`: argv[0] is "idle". Returns the exit status.
int IdleCommand(int argc, char** argv);

// `lumivor [window options]`: argv[0] is the program. Returns the exit status.
int WindowCommand(int argc, char** argv);
