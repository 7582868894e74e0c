#!/bin/sh
# scripts/capture-spans.sh across two hosts: this machine (":") and a second one, an sshd
# on 127.0.0.1 in a mount namespace of its own, with a private /tmp and the build's
# coredemo and data.zip hidden, so its span can only come from the files that travel.
# The joined video must have the frames of a single-pass capture of the same span, the
# span on the second host must have run there, and neither host may keep a file of the
# run. A table of bad calls first: each ends with one line and its exit code.
#
#   tests/e2e/capture_spans.sh BUILD_DIR SOURCE_DIR
#
# Exit 0 when all holds, 1 on any fault, 77 (skipped) without root, a mount namespace,
# sshd, GNU parallel, rsync or ffmpeg.
set -u
[ $# -eq 2 ] || { echo "usage: $0 BUILD_DIR SOURCE_DIR" >&2; exit 2; }
build=$(cd "$1" && pwd) || exit 1
spans="$2/scripts/capture-spans.sh"
skip() { echo "skipped: $*"; exit 77; }
faults=0
fault() { echo "FAULT: $*"; faults=$((faults + 1)); }

for tool in parallel ffmpeg ffprobe unzip; do
    command -v "$tool" >/dev/null || skip "no $tool"
done
if [ ! -x "$build/coredemo" ] || [ ! -f "$build/data.zip" ]; then echo "no coredemo and data.zip in $build"; exit 1; fi

tmp=$(mktemp -d /tmp/e2e-capture-spans-XXXXXX)
sshd_pid=""
finish() {
    [ -z "$sshd_pid" ] || { kill "$sshd_pid" 2>/dev/null; wait "$sshd_pid" 2>/dev/null; }
    rm -rf "$tmp"
}
trap finish EXIT
trap 'exit 1' HUP INT TERM
# GNU parallel keeps what it learns of the hosts here instead of in ~/.parallel.
export PARALLEL_HOME="$tmp/parallel"

# Runs the program as capture-spans does, with the display or a virtual one.
capture() {
    if [ -n "${DISPLAY:-}" ]; then "$build/coredemo" "$@"
    else xvfb-run -a -f "$tmp/xauth" -s "-screen 0 1920x1080x24" "$build/coredemo" "$@"; fi
}
[ -n "${DISPLAY:-}" ] || command -v xvfb-run >/dev/null || skip "no display and no xvfb-run"

# A PATH with only these tools (and the shell's own), to show each missing one.
path_with() {
    dir="$tmp/path-$(echo "$*" | tr ' ' '-')"
    mkdir -p "$dir"
    for t in dirname grep "$@"; do ln -sf "$(command -v "$t")" "$dir/$t"; done
    echo "$dir"
}

# Bad calls: exit code | words of the last line on standard error | PATH ("-": ours) | arguments.
shell=$(command -v sh)
short="--from 40 --to 41 --fps 10 --width 256 --height 144 --spans 2"
while IFS='|' read -r code words path args; do
    [ -n "$code" ] || continue
    case "$path" in -) path=$PATH ;; *) path=$(path_with $path) ;; esac
    # shellcheck disable=SC2086 # the arguments are words
    PATH=$path "$shell" "$spans" --build "$build" $args >"$tmp/out" 2>"$tmp/err"
    got=$?
    last=$(tail -n 1 "$tmp/err")
    if [ "$got" -ne "$code" ] || ! echo "$last" | grep -qF -- "$words"; then
        fault "capture-spans $args: exit $got (not $code), said '$last' (not '$words')"
    elif [ "$code" -eq 2 ] && [ "$(wc -l < "$tmp/err")" -ne 1 ]; then
        fault "capture-spans $args: more than one line on standard error"
    fi
done <<EOF
2|unknown option --bogus|-|--bogus $tmp/a.mp4
2|usage:|-|
2|one output file|-|$tmp/a.mp4 $tmp/b.mp4
2|--fps needs a value|-|$tmp/a.mp4 --fps
2|--spans needs a positive whole number, not '0'|-|--spans 0 $tmp/a.mp4
2|--width needs a positive whole number, not '12x'|-|--width 12x $tmp/a.mp4
2|--jobs needs a positive whole number|-|--jobs -1 $tmp/a.mp4
2|--from needs a time in seconds, not 'soon'|-|--from soon $tmp/a.mp4
2|empty span: --from 5 --to 5|-|--from 5 --to 5 $tmp/a.mp4
2|--ssaa needs 1, 2, 3 or 4, not '5'|-|--ssaa 5 $tmp/a.mp4
2|--crf needs a whole number from 0 to 51, not '52'|-|--crf 52 $tmp/a.mp4
2|the output must end in .mp4 or .mkv|-|$tmp/a.avi
1|no coredemo and data.zip in $tmp|-|--build $tmp $tmp/a.mp4
1|needs parallel|ffmpeg unzip|$tmp/a.mp4
1|needs ffmpeg|parallel unzip|$tmp/a.mp4
1|needs rsync to reach other machines|parallel ffmpeg unzip ssh|--sshlogin host $tmp/a.mp4
1|a span failed|-|$short --width 100000 $tmp/a.mp4
EOF
[ ! -e "$tmp/a.mp4" ] || fault "a failed run left its output"
sh "$spans" --help | grep -q -- '--sshlogin LIST' || fault "--help does not show the options"

# The second host.
[ "$(id -u)" -eq 0 ] || skip "the second host needs root (a mount namespace and sshd)"
for tool in unshare rsync ssh ssh-keygen; do
    command -v "$tool" >/dev/null || skip "no $tool"
done
sshd=$(command -v sshd || echo /usr/sbin/sshd)
[ -x "$sshd" ] || skip "no sshd"
unshare -m sh -c 'mount --make-rprivate / && mount -t tmpfs tmpfs /tmp' 2>/dev/null ||
    skip "no private mount namespace here (unshare -m)"

ssh-keygen -q -t ed25519 -N '' -f "$tmp/host_key" && ssh-keygen -q -t ed25519 -N '' -f "$tmp/id" || exit 1
cp "$tmp/id.pub" "$tmp/authorized_keys"
: > "$tmp/empty"
# In the namespace: the build's program and data hidden, an empty /tmp with only this
# test's folder (bound again from the old /tmp through the working folder), then sshd.
cat > "$tmp/host.sh" <<EOF
set -e
mount --make-rprivate /
mount --bind "$tmp/empty" "$build/coredemo"
mount --bind "$tmp/empty" "$build/data.zip"
cd "$tmp"
mount -t tmpfs tmpfs /tmp
mkdir -p "$tmp"
mount --no-canonicalize --bind . "$tmp"
if [ ! -d /run/sshd ]; then mount -t tmpfs tmpfs /run && mkdir -m 755 /run/sshd; fi
exec "$sshd" -D -e -f "$tmp/sshd_config"
EOF
port=2200
while :; do
    cat > "$tmp/sshd_config" <<EOF
ListenAddress 127.0.0.1
Port $port
HostKey $tmp/host_key
AuthorizedKeysFile $tmp/authorized_keys
PermitRootLogin prohibit-password
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
StrictModes no
X11Forwarding no
PidFile none
EOF
    unshare -m sh "$tmp/host.sh" > "$tmp/sshd.log" 2>&1 &
    sshd_pid=$!
    i=0
    while [ $i -lt 50 ] && kill -0 "$sshd_pid" 2>/dev/null && ! grep -q "Server listening" "$tmp/sshd.log"; do
        sleep 0.1
        i=$((i + 1))
    done
    grep -q "Server listening" "$tmp/sshd.log" && break
    kill "$sshd_pid" 2>/dev/null
    wait "$sshd_pid" 2>/dev/null
    sshd_pid=""
    grep -q "Address already in use" "$tmp/sshd.log" || { echo "sshd did not start:"; cat "$tmp/sshd.log"; exit 1; }
    port=$((port + 1))
    [ $port -lt 2300 ] || skip "no free port in 2200-2299"
done
login="ssh -F /dev/null -i $tmp/id -p $port -o IdentitiesOnly=yes -o BatchMode=yes -o ConnectTimeout=20"
login="$login -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null -o LogLevel=ERROR root@127.0.0.1"
$login true || { echo "no ssh login to the second host:"; cat "$tmp/sshd.log"; exit 1; }
# Hidden by an empty file, or by the second host's own /tmp when the build lives there.
[ -z "$($login "test -s '$build/coredemo' && echo seen")" ] || fault "the second host sees the build's coredemo"
# shellcheck disable=SC2016 # the second host's $HOME
remote_home=$($login 'echo $HOME')
$login 'ls -A ~' > "$tmp/home-before"
ls -A "$HOME" > "$tmp/local-home-before"
ls -d /tmp/capture-spans-* > "$tmp/local-tmp-before" 2>/dev/null

# One span here, one there (one job a host), against one single-pass capture.
start=$(date +%s)
sh "$spans" --build "$build" $short --jobs 1 \
    --sshlogin ":,1/$login" "$tmp/spans.mp4" > "$tmp/spans.out" 2>&1 ||
    { cat "$tmp/spans.out"; fault "capture-spans across two hosts failed"; }
echo "capture-spans across two hosts: $(($(date +%s) - start)) s"
grep -q "span [01] on this machine" "$tmp/spans.out" || fault "no span on this machine: $(cat "$tmp/spans.out")"
grep -q "span [01] on root@127.0.0.1" "$tmp/spans.out" || fault "no span on the second host: $(cat "$tmp/spans.out")"
capture --data "$build/data.zip" --width 256 --height 144 --fps 10 --output none \
    --from 40 --to 41 --capture "$tmp/single.mp4" > "$tmp/single.out" 2>&1 ||
    { cat "$tmp/single.out"; fault "the single-pass capture failed"; }

# The joined spans go through the program's own encoder settings from the same pixels,
# so they decode to exactly the frames of the single pass.
frames() { ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$1"; }
streams() { ffprobe -v error -show_entries stream=codec_type -of csv=p=0 "$1" | tr '\n' ' '; }
if [ -f "$tmp/spans.mp4" ] && [ -f "$tmp/single.mp4" ]; then
    n=$(frames "$tmp/spans.mp4") m=$(frames "$tmp/single.mp4")
    [ "$n" = 10 ] && [ "$m" = 10 ] || fault "frames: $n joined, $m single, 10 asked"
    [ "$(streams "$tmp/spans.mp4")" = "$(streams "$tmp/single.mp4")" ] ||
        fault "streams: $(streams "$tmp/spans.mp4")joined, $(streams "$tmp/single.mp4")single"
    ffmpeg -v error -i "$tmp/spans.mp4" -map 0:v -f rawvideo -pix_fmt rgb24 "$tmp/spans.rgb"
    ffmpeg -v error -i "$tmp/single.mp4" -map 0:v -f rawvideo -pix_fmt rgb24 "$tmp/single.rgb"
    if ! cmp -s "$tmp/spans.rgb" "$tmp/single.rgb"; then
        psnr=$(ffmpeg -i "$tmp/spans.mp4" -i "$tmp/single.mp4" -lavfi psnr -f null - 2>&1 | grep -o 'average:[^ ]*')
        fault "the joined frames differ from the single pass ($psnr dB)"
    fi
fi

# A lossless master (.mkv) joined here from two spans holds, frame for frame, the
# pictures of the master the program writes in one pass, and lossless sound.
sh "$spans" --build "$build" $short --spans 2 "$tmp/spans.mkv" > "$tmp/spans-mkv.out" 2>&1 ||
    { cat "$tmp/spans-mkv.out"; fault "capture-spans of a lossless master failed"; }
capture --data "$build/data.zip" --width 256 --height 144 --fps 10 --output none \
    --from 40 --to 41 --capture "$tmp/single.mkv" > "$tmp/single.out" 2>&1 ||
    { cat "$tmp/single.out"; fault "the single-pass master failed"; }
if [ -f "$tmp/spans.mkv" ] && [ -f "$tmp/single.mkv" ]; then
    [ "$(streams "$tmp/spans.mkv")" = "$(streams "$tmp/single.mkv")" ] || fault "master streams differ"
    codecs=$(ffprobe -v error -show_entries stream=codec_name -of csv=p=0 "$tmp/spans.mkv" | sort | tr '\n' ' ')
    [ "$codecs" = "ffv1 flac " ] || fault "the joined master holds $codecs, not ffv1 flac"
    ffmpeg -v error -i "$tmp/spans.mkv" -map 0:v -f rawvideo "$tmp/spans.v.raw"
    ffmpeg -v error -i "$tmp/single.mkv" -map 0:v -f rawvideo "$tmp/single.v.raw"
    cmp -s "$tmp/spans.v.raw" "$tmp/single.v.raw" || fault "the joined master's frames differ from the single pass"
    [ -s "$tmp/spans.v.raw" ] || fault "the joined master has no frames"
fi

# Nothing of the run stays: not in either home, nor in either /tmp (the second host's
# /tmp started empty but for this test's folder; Xvfb's socket folder may stay, empty).
$login 'ls -A ~' | diff "$tmp/home-before" - > "$tmp/diff" || fault "left in the second host's $remote_home: $(cat "$tmp/diff")"
ls -A "$HOME" | diff "$tmp/local-home-before" - > "$tmp/diff" || fault "left in $HOME: $(cat "$tmp/diff")"
left=$($login "cd /tmp && ls -A | grep -vx -e '$(basename "$tmp")' -e .X11-unix; ls -A .X11-unix 2>/dev/null")
[ -z "$left" ] || fault "left in the second host's /tmp: $left"
ls -d /tmp/capture-spans-* 2>/dev/null | diff "$tmp/local-tmp-before" - > "$tmp/diff" || fault "left in /tmp: $(cat "$tmp/diff")"

[ "$faults" -eq 0 ] || { echo "$faults faults"; exit 1; }
echo "capture-spans: all checks hold"
