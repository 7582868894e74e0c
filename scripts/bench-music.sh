#!/bin/sh
# Times the soundtrack generator alone (render + Vorbis encode, budget 20 s on the two-core
# build machine), then checks the result: sox statistics, integrated loudness and true peak,
# a spectrogram in build/music-spectrogram.png and the per-section report of bench_music.
# Needs a configured build folder (./scripts/build.sh).
set -e
cd "$(dirname "$0")/.."
flock /tmp/core-build.lock cmake --build build --target datagen bench_music -j2 >/dev/null
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
/usr/bin/time -f "music generator: %e s wall, %U s user" \
    build/tools/datagen/datagen --data data --out "$out/music.zip" --only 'music/*' >/dev/null
unzip -q -o "$out/music.zip" -d "$out"
ogg="$out/music/drovel-contemplation.ogg"
soxi "$ogg" | grep -E "Channels|Sample Rate|Duration|Bit Rate"
sox "$ogg" -n stats 2>&1 | grep -E "Pk lev dB|RMS lev dB|DC offset"
ffmpeg -hide_banner -nostats -i "$ogg" -af ebur128=peak=true -f null - 2>&1 | grep -E "^ +(I|Peak):"
sox "$ogg" -n spectrogram -x 1600 -y 513 -z 90 -t "drovel-contemplation" -o build/music-spectrogram.png
echo "spectrogram: build/music-spectrogram.png"
build/bench/bench_music --report
