#!/bin/sh
# The console reads no arguments: started with Qt's own options, among them a platform plugin
# that does not exist (which Qt would refuse to start with), it must come up on the offscreen
# platform named by the environment and keep running.
set -u
console=$1
QT_QPA_PLATFORM=offscreen "$console" -platform no-such-platform -style no-such-style -reverse \
    -qwindowtitle "Not Quorvel" -geometry 10x10+0+0 >/dev/null 2>&1 &
pid=$!
sleep 3
if ! kill -0 "$pid" 2>/dev/null; then
    wait "$pid"
    echo "quorvel ended (status $?) when given Qt options: it read its arguments" >&2
    exit 1
fi
kill -KILL "$pid"
wait "$pid" 2>/dev/null
echo "quorvel ignored its arguments"
