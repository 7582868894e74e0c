#!/bin/sh
# Renders an offline capture as N spans in parallel (GNU parallel: local jobs, or other
# machines with --sshlogin) and joins them into one video with the music muxed once.
# The frames are the same as those of a single-pass `coredemo --capture OUT` with the
# same size and frame rate: every offline frame depends only on its time, and each span
# is kept lossless (FFV1) until the one final encode, which uses the program's settings.
#
# Usage: scripts/capture-spans.sh [options] OUT.mp4|OUT.mkv
#   --spans N        number of spans (default 3)
#   --jobs N         spans rendered at once per machine (default: GNU parallel's choice)
#   --sshlogin LIST  GNU parallel's --sshlogin, e.g. ":,host1,2/host2" (":" is this
#                    machine); every host needs this checkout built at the same path
#   --fps N, --from T, --to T, --width N, --height N   as for coredemo (defaults 30, 0,
#                    197, 1024, 576)
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
spans=3 jobs="" sshlogin="" fps=30 from=0 to=197 width=1024 height=576 out=""
while [ $# -gt 0 ]; do
    case "$1" in
        --spans) spans=$2; shift 2 ;;
        --jobs) jobs=$2; shift 2 ;;
        --sshlogin) sshlogin=$2; shift 2 ;;
        --fps) fps=$2; shift 2 ;;
        --from) from=$2; shift 2 ;;
        --to) to=$2; shift 2 ;;
        --width) width=$2; shift 2 ;;
        --height) height=$2; shift 2 ;;
        -h|--help) sed -n '2,16p' "$0"; exit 0 ;;
        -*) echo "capture-spans: unknown option $1" >&2; exit 2 ;;
        *) out=$1; shift ;;
    esac
done
[ -n "$out" ] || { echo "usage: $0 [options] OUT.mp4" >&2; exit 2; }
[ -x "$build/coredemo" ] && [ -f "$build/data.zip" ] || { echo "build first: ./scripts/build.sh" >&2; exit 1; }
command -v parallel >/dev/null || { echo "capture-spans: needs GNU parallel (Debian package parallel)" >&2; exit 1; }
case "$out" in /*) ;; *) out="$(pwd)/$out" ;; esac

work=$(mktemp -d /tmp/capture-spans-XXXXXX)
trap 'rm -rf "$work"' EXIT

# Span boundaries on the frame grid (frame k shows k / fps), as the program rounds them.
first=$(awk -v t="$from" -v f="$fps" 'BEGIN { printf "%d", t * f + 0.5 }')
last=$(awk -v t="$to" -v f="$fps" 'BEGIN { printf "%d", t * f + 0.5 }')
[ "$last" -gt "$first" ] || { echo "capture-spans: empty span" >&2; exit 2; }
i=0
while [ "$i" -lt "$spans" ]; do
    a=$((first + (last - first) * i / spans))
    b=$((first + (last - first) * (i + 1) / spans))
    if [ "$b" -gt "$a" ]; then
        printf '%d %s %s\n' "$i" "$(awk -v k="$a" -v f="$fps" 'BEGIN { printf "%.9f", k / f }')" \
            "$(awk -v k="$b" -v f="$fps" 'BEGIN { printf "%.9f", k / f }')" >> "$work/spans"
    fi
    i=$((i + 1))
done

# One span: PNG frames from the program, then a lossless span video.
cat > "$work/span.sh" <<SPAN
#!/bin/sh
set -e
cd "$build"
frames="$work/frames-\$1"
run="./coredemo --width $width --height $height --fps $fps --output none --capture \$frames --from \$2 --to \$3"
if [ -n "\$DISPLAY" ]; then \$run >/dev/null; else xvfb-run -a -s "-screen 0 1920x1080x24" \$run >/dev/null; fi
ffmpeg -hide_banner -loglevel error -y -framerate $fps -i "\$frames/frame-%06d.png" -c:v ffv1 "$work/span-\$1.mkv"
rm -rf "\$frames"
SPAN
chmod +x "$work/span.sh"

echo "capture-spans: $(wc -l < "$work/spans") spans of frames $first..$((last - 1)) at $fps fps"
set -- --colsep ' ' --halt now,fail=1
[ -n "$jobs" ] && set -- "$@" --jobs "$jobs"
if [ -n "$sshlogin" ]; then
    set -- "$@" --sshlogin "$sshlogin" --basefile "$work/span.sh" --return "$work/span-{1}.mkv" --cleanup
fi
parallel "$@" "$work/span.sh" {1} {2} {3} < "$work/spans"

cut -d' ' -f1 "$work/spans" | while read -r i; do echo "file '$work/span-$i.mkv'"; done > "$work/list"
music=$(unzip -Z1 "$build/data.zip" | grep '^music/' | head -n 1 || true)
start=$(awk -v k="$first" -v f="$fps" 'BEGIN { printf "%.6f", k / f }')
duration=$(awk -v n="$((last - first))" -v f="$fps" 'BEGIN { printf "%.6f", n / f }')
set -- -hide_banner -loglevel error -y -f concat -safe 0 -i "$work/list"
if [ -n "$music" ]; then
    unzip -p "$build/data.zip" "$music" > "$work/music.ogg"
    set -- "$@" -ss "$start" -i "$work/music.ogg" -map 0:v -map 1:a -c:a aac -b:a 192k
fi
# The program's own encoder settings, from the same RGB pixels.
set -- "$@" -vf "format=rgb24,crop=trunc(iw/2)*2:trunc(ih/2)*2" -c:v libx264 -preset ultrafast -crf 18 \
    -pix_fmt yuv420p -t "$duration"
case "$out" in *.mp4|*.MP4) set -- "$@" -movflags +faststart ;; esac
mkdir -p "$(dirname "$out")"
ffmpeg "$@" "$out"
echo "capture-spans: $out"
