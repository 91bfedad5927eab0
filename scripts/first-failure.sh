#!/bin/sh
# What failed, read from the log of the test command, one of its parts or a
# clean-room step: the part (the test command's last "== PART (N s in)" line),
# the failing tests' names and the first failure message with the lines that
# explain it. Only the marks real failures leave count, never a word such as
# "Failed" in the name of a test that passed: CTest's list of failed tests,
# GoogleTest's "FILE:LINE: Failure", sanitizer reports, "FAIL" lines of the
# browser, Node and Wine tests, a Python traceback, compiler and linker
# errors, CMake errors, apt's "E:" and git's "fatal:". Without any, the log's
# last lines.
#
#   scripts/first-failure.sh LOG
set -eu

if [ $# -ne 1 ] || [ ! -r "$1" ]; then
    echo "usage: scripts/first-failure.sh LOG (a readable log file)" >&2
    exit 2
fi

awk '
# A log that already holds this summary (the test command adds it to its own
# output) is read up to it.
/^what failed: / { exit }
/^== .* \([0-9]+ s in\)$/ {
    part = substr($0, 4)
    sub(/ \([0-9]+ s in\)$/, "", part)
    n = 0
    next
}
{ line[++n] = $0 }

# 1 for the marks of a test that failed, 2 for those of a build or an install
# that failed (which a failing test may print as well), 0 for other lines.
function mark(s) {
    if (s ~ /: Failure$/ || s ~ /^==[0-9]+==ERROR/ || s ~ /: runtime error: / ||
        (s ~ /^==[0-9]+== [A-Z]/ && s !~ /^==[0-9]+== Warning/) ||
        s ~ /^FAIL[: ]/ || s ~ /^Traceback \(most recent call last\):/)
        return 1
    if (s ~ /^CMake Error/ || s ~ /: (fatal )?error: / || s ~ /^(fatal )?error: / ||
        s ~ /undefined reference to / || s ~ /^E: / || s ~ /^fatal: /)
        return 2
    return 0
}

# The lines after message line i that belong to it, at most 12 in all.
function show_message(i,    s, last, k) {
    s = line[i]
    last = i
    if (s ~ /^Traceback/) {
        # The innermost place and the exception: the last "  File" line to the first
        # line not indented.
        for (k = i + 1; k <= n && line[k] ~ /^[ \t]/; k++)
            if (line[k] ~ /^  File /) i = k
        last = k <= n ? k : n
    } else if (s ~ /: Failure$|^CMake Error|^==[0-9]+==ERROR|^FAIL /) {
        # GoogleTest, CMake and sanitizers explain on the lines below, up to a blank
        # line or a "[ ... ]" line of GoogleTest; Node indents its reasons under "FAIL".
        for (k = i + 1; k <= n && line[k] ~ /[^ \t]/ && line[k] !~ /^\[/; k++) {
            if (s ~ /^FAIL / && line[k] !~ /^  /) break
            last = k
        }
    } else if (s ~ /^==[0-9]+== [A-Z]/) {
        # valgrind: the stack below, indented after its "==PID==" prefix
        for (k = i + 1; k <= n && line[k] ~ /^==[0-9]+==  +[^ ]/; k++) last = k
    }
    if (last > i + 11) last = i + 11
    for (k = i; k <= last; k++) print "    " line[k]
}

END {
    if (part != "") print "what failed: " part
    names = 0
    for (i = 1; i <= n; i++) {
        if (line[i] == "The following tests FAILED:") {
            for (k = i + 1; k <= n && line[k] ~ /^[ \t]+[0-9]+ - /; k++) {
                if (names++ == 0) print "failing tests:"
                s = line[k]
                sub(/^[ \t]+/, "", s)
                print "    " s
            }
        }
    }
    for (i = 1; i <= n && names == 0; i++)
        if (line[i] ~ /^FAIL[: ]/) {
            if (shown++ == 0) print "failing tests:"
            if (shown <= 10) print "    " line[i]
        }
    for (rank = 1; rank <= 2; rank++)
        for (i = 1; i <= n; i++)
            if (mark(line[i]) == rank) {
                print "first failure message:"
                show_message(i)
                exit
            }
    if (names > 0) exit
    # Nothing known: the last lines say most.
    print "last lines of the log (no known failure mark found):"
    k = 0
    for (i = n; i >= 1 && k < 8; i--)
        if (line[i] ~ /[^ \t]/) keep[++k] = line[i]
    for (; k >= 1; k--) print "    " keep[k]
}
' "$1"
