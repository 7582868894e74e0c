#!/bin/sh
# Offline capture speed: renders a span of the demo to a video at 1024 x 576 and prints
# how many seconds of demo one second of wall time captures (1.0 = real time), and the
# process's CPU time per captured frame (steadier when other work shares the machine).
#   bench/capture_speed.sh [--ssaa N | --crf N ...] [FROM [TO [FPS [BUILD_DIR]]]]
#   (default 39 77 30 build); options of the program (with their values) go to every run.
# Needs a display or xvfb-run; runs from the build folder (data.zip).
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
extra=""
while [ $# -gt 0 ]; do
    case "$1" in
        --*) extra="$extra $1 $2"; shift 2 ;;
        *) break ;;
    esac
done
from=${1:-39}
to=${2:-77}
fps=${3:-30}
build=${4:-$root/build}
[ -x "$build/coredemo" ] || { echo "build coredemo first" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
run=""
[ -z "$DISPLAY" ] && run="xvfb-run -a -s -screen\ 0\ 1280x1024x24"
cd "$build"
/usr/bin/time -f "%e %U %S" -o "$work/time" \
    sh -c "$run ./coredemo --width 1024 --height 576 --from $from --to $to --fps $fps$extra --capture $work/span.mp4 >/dev/null 2>&1"
read -r wall user system < "$work/time"
awk -v wall="$wall" -v user="$user" -v sys="$system" -v from="$from" -v to="$to" -v fps="$fps" -v extra="$extra" 'BEGIN {
    span = to - from; frames = span * fps
    printf "span:             %s-%s s at %s fps (%d frames), 1024 x 576%s\n", from, to, fps, frames, extra
    printf "wall time:        %.1f s (start-up included)\n", wall
    printf "real-time ratio:  %.2f\n", span / wall
    printf "cpu per frame:    %.1f ms (user + system, every thread, ffmpeg included)\n", 1000 * (user + sys) / frames
}'
