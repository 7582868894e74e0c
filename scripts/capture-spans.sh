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
#   --sshlogin LIST  GNU parallel's --sshlogin, e.g. ":,2/host1,ssh -p 2222 me@host2"
#                    (":" is this machine); the program, data.zip and the span script
#                    travel to each host, which needs the runtime libraries, ffmpeg,
#                    xvfb-run (without a display), rsync and perl
#   --build DIR      folder with coredemo and data.zip (default: build/ of this checkout)
#   --fps N, --from T, --to T, --width N, --height N, --ssaa N, --crf N   as for
#                    coredemo (defaults 30, 0, 197, 1024, 576, 1, 18)
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
spans=3 jobs="" sshlogin="" fps=30 from=0 to=197 width=1024 height=576 ssaa=1 crf=18 out=""
fail() { echo "capture-spans: $2" >&2; exit "$1"; }
while [ $# -gt 0 ]; do
    case "$1" in
        -h|--help) awk 'NR > 1 && !/^#/ { exit } NR > 1' "$0"; exit 0 ;;
        --spans|--jobs|--sshlogin|--build|--fps|--from|--to|--width|--height|--ssaa|--crf)
            [ $# -ge 2 ] || fail 2 "$1 needs a value"
            case "$1" in
                --spans) spans=$2 ;;
                --jobs) jobs=$2 ;;
                --sshlogin) sshlogin=$2 ;;
                --build) build=$2 ;;
                --fps) fps=$2 ;;
                --from) from=$2 ;;
                --to) to=$2 ;;
                --width) width=$2 ;;
                --height) height=$2 ;;
                --ssaa) ssaa=$2 ;;
                --crf) crf=$2 ;;
            esac
            shift 2 ;;
        -*) fail 2 "unknown option $1" ;;
        *) [ -z "$out" ] || fail 2 "one output file, not $out and $1"; out=$1; shift ;;
    esac
done
[ -n "$out" ] || { echo "usage: $0 [options] OUT.mp4|OUT.mkv (--help for the options)" >&2; exit 2; }
for v in "spans=$spans" "fps=$fps" "width=$width" "height=$height" ${jobs:+"jobs=$jobs"}; do
    case "${v#*=}" in ''|*[!0-9]*|0*) fail 2 "--${v%%=*} needs a positive whole number, not '${v#*=}'" ;; esac
done
case "$ssaa" in [1-4]) ;; *) fail 2 "--ssaa needs 1, 2, 3 or 4, not '$ssaa'" ;; esac
case "$crf" in ''|*[!0-9]*) fail 2 "--crf needs a whole number from 0 to 51, not '$crf'" ;; esac
[ "$crf" -le 51 ] || fail 2 "--crf needs a whole number from 0 to 51, not '$crf'"
for v in "from=$from" "to=$to"; do
    echo "${v#*=}" | grep -Eqx '[0-9]+(\.[0-9]+)?|\.[0-9]+' || fail 2 "--${v%%=*} needs a time in seconds, not '${v#*=}'"
done
case "$out" in *.mp4|*.MP4|*.mkv|*.MKV) ;; *) fail 2 "the output must end in .mp4 or .mkv: $out" ;; esac

for tool in parallel ffmpeg unzip; do
    command -v "$tool" >/dev/null || fail 1 "needs $tool (Debian package $tool)"
done
if [ -n "$sshlogin" ]; then
    command -v rsync >/dev/null || fail 1 "needs rsync to reach other machines (Debian package rsync)"
    command -v ssh >/dev/null || fail 1 "needs ssh to reach other machines (Debian package openssh-client)"
fi
if [ ! -x "$build/coredemo" ] || [ ! -f "$build/data.zip" ]; then
    fail 1 "no coredemo and data.zip in $build: build first (./scripts/build.sh) or give --build DIR"
fi
build=$(cd "$build" && pwd)
case "$out" in /*) ;; *) out="$(pwd)/$out" ;; esac

work=$(mktemp -d /tmp/capture-spans-XXXXXX)
run=$(basename "$work") hosts=""
# A failed or interrupted run leaves its folder on the hosts: remove it there too.
cleanup() {
    [ -z "$hosts" ] || (cd "$work" && parallel --nonall --sshlogin "$hosts" rm -rf "$run") >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' HUP INT TERM

# Span boundaries on the frame grid (frame k shows k / fps), as the program rounds them.
# Frame <-> seconds on the grid: frameAt T, secondsOf K FORMAT.
frameAt() { awk -v t="$1" -v f="$fps" 'BEGIN { printf "%d", t * f + 0.5 }'; }
secondsOf() { awk -v k="$1" -v f="$fps" -v p="$2" 'BEGIN { printf p, k / f }'; }
first=$(frameAt "$from")
last=$(frameAt "$to")
[ "$last" -gt "$first" ] || fail 2 "empty span: --from $from --to $to"
i=0
while [ "$i" -lt "$spans" ]; do
    a=$((first + (last - first) * i / spans))
    b=$((first + (last - first) * (i + 1) / spans))
    if [ "$b" -gt "$a" ]; then
        printf '%d %s %s\n' "$i" "$(secondsOf "$a" %.9f)" "$(secondsOf "$b" %.9f)" >> "$work/spans"
    fi
    i=$((i + 1))
done

# Everything a span needs is in one folder named after the run. Jobs run from $work here
# and from the login folder on other hosts, so the same relative path names it on every
# machine; "/./" in the transferred paths keeps the part after it, relative to that
# folder. A host that shares our file system writes its span to ~/$run, not where the
# returned copy lands, so --cleanup there removes only the host's own copies.
mkdir "$work/$run"
for f in coredemo data.zip; do
    ln "$build/$f" "$work/$run/$f" 2>/dev/null || cp "$build/$f" "$work/$run/$f"
done

# One span: PNG frames from the program, then a lossless span video, in the run's folder.
cat > "$work/$run/span.sh" <<SPAN
#!/bin/sh
set -e
dir=\$(cd "\$(dirname "\$0")" && pwd)
frames="\$dir/frames-\$1" auth="\$dir/xauth-\$1"
# Only the span video may stay in the folder (GNU parallel removes the rest, and the
# folder once it is empty), also when the span is stopped.
trap 'rm -rf "\$frames" "\$auth"' EXIT
trap 'exit 1' HUP INT TERM
missing() { echo "capture-spans: \$(hostname) has no \$1" >&2; exit 1; }
command -v ffmpeg >/dev/null || missing ffmpeg
[ -n "\$DISPLAY" ] || command -v xvfb-run >/dev/null || missing "display and no xvfb-run"
span=\$1
set -- "\$dir/coredemo" --data "\$dir/data.zip" --width $width --height $height --fps $fps --ssaa $ssaa \\
    --output none --capture "\$frames" --from "\$2" --to "\$3"
if [ -n "\$DISPLAY" ]; then "\$@" >/dev/null; else xvfb-run -a -f "\$auth" -s "-screen 0 1920x1080x24" "\$@" >/dev/null; fi
ffmpeg -hide_banner -loglevel error -y -framerate $fps -i "\$frames/frame-%06d.png" -c:v ffv1 "\$dir/span-\$span.mkv"
SPAN
chmod +x "$work/$run/span.sh"

echo "capture-spans: $(wc -l < "$work/spans") spans of frames $first..$((last - 1)) at $fps fps"
set -- --colsep ' ' --halt now,fail=1 --joblog "$work/joblog"
[ -n "$jobs" ] && set -- "$@" --jobs "$jobs"
if [ -n "$sshlogin" ]; then
    set -- "$@" --sshlogin "$sshlogin" --cleanup --return "$work/./$run/span-{1}.mkv"
    for f in coredemo data.zip span.sh; do set -- "$@" --basefile "$work/./$run/$f"; done
fi
hosts=$sshlogin
(cd "$work" && exec parallel "$@" "$run/span.sh" '{1}' '{2}' '{3}' < "$work/spans") &
pid=$!
# Stopped, GNU parallel stops the spans on every host.
trap 'kill -TERM "$pid" 2>/dev/null; wait "$pid" || :; exit 1' HUP INT TERM
wait "$pid" || fail 1 "a span failed (see above)"
trap 'exit 1' HUP INT TERM
hosts=""
# Where each span was rendered: the joblog's host column (":" is this machine).
awk -F '\t' 'NR > 1 { split($NF, c, " "); n = split($2, h, " "); host = $2 == ":" ? "this machine" : h[n]
    printf "capture-spans: span %s on %s (%.1f s)\n", c[2], host, $4 }' \
    "$work/joblog" | sort -n -k3

cut -d' ' -f1 "$work/spans" | while read -r i; do echo "file '$work/$run/span-$i.mkv'"; done > "$work/list"
music=$(unzip -Z1 "$build/data.zip" | grep '^music/' | head -n 1 || true)
start=$(secondsOf "$first" %.6f)
duration=$(secondsOf "$((last - first))" %.6f)
set -- -hide_banner -loglevel error -y -f concat -safe 0 -i "$work/list"
if [ -n "$music" ]; then
    unzip -p "$build/data.zip" "$music" > "$work/music.ogg"
    set -- "$@" -ss "$start" -i "$work/music.ogg" -map 0:v -map 1:a
fi
# The program's own encoder settings, from the same RGB pixels: a lossless master for
# .mkv (FFV1 + FLAC, every frame a key frame), H.264 + AAC for .mp4.
case "$out" in
    *.mkv|*.MKV) set -- "$@" -c:a flac -c:v ffv1 -level 3 -g 1 -slices 4 -pix_fmt bgr0 -t "$duration" ;;
    *) set -- "$@" -c:a aac -b:a 192k -vf "format=rgb24,crop=trunc(iw/2)*2:trunc(ih/2)*2" -c:v libx264 \
           -preset ultrafast -crf "$crf" -pix_fmt yuv420p -t "$duration" -movflags +faststart ;;
esac
mkdir -p "$(dirname "$out")"
ffmpeg "$@" "$out"
echo "capture-spans: $out"
