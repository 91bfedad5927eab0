// The two commands of `lumivor`: each parses its options and hands the job to a host.
#pragma once

// `lumivor render ...`: argv[0] is "render". Returns the exit status.
int RenderCommand(int argc, char** argv);

// `lumivor [window options]`: argv[0] is the program. Returns the exit status.
int WindowCommand(int argc, char** argv);

// Where the system's own messages go: nowhere when quiet; to standard error
// when a picture goes to standard output, so that they never mix with it.
void RouteMessages(bool quiet, bool picture_to_stdout);
