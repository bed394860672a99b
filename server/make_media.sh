#!/usr/bin/env bash
# Makes the media files of the demo catalogue with ffmpeg: short H.264/AAC
# clips with the series name, the episode and a running timer on a test
# picture, and a sine tone. Files that already exist are left alone.
#
#   server/make_media.sh [options] [DIR]      (DIR defaults to server/media)
#
#   --catalogue FILE   catalogue to read (default: server/catalogue.txt)
#   --bench            also make bench-720p.mp4 (1280x720, 30 s) for benchmarks
#   --only-bench       make bench-720p.mp4 only
#   --seconds N        length of the catalogue clips (default 20)
#   --jobs N           ffmpeg processes at once (default: number of cores)
#   --webm             also a WebM copy of each clip (VP8 + Vorbis, NAME.webm),
#                      for browsers that cannot play H.264/AAC
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
catalogue="$here/catalogue.txt"
out="$here/media"
bench=0
clips=1
webm=0
seconds=20
jobs=$(nproc 2>/dev/null || echo 2)

die() { echo "make_media.sh: $*" >&2; exit 1; }

while [ $# -gt 0 ]; do
  case "$1" in
    --catalogue) [ $# -ge 2 ] || die "--catalogue needs a file"; catalogue=$2; shift 2 ;;
    --bench) bench=1; shift ;;
    --only-bench) bench=1; clips=0; shift ;;
    --webm) webm=1; shift ;;
    --seconds) [ $# -ge 2 ] || die "--seconds needs a number"; seconds=$2; shift 2 ;;
    --jobs) [ $# -ge 2 ] || die "--jobs needs a number"; jobs=$2; shift 2 ;;
    -h|--help) sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) die "unknown option $1" ;;
    *) out=$1; shift ;;
  esac
done
[[ "$seconds" =~ ^[1-9][0-9]{0,3}$ ]] || die "--seconds needs a whole number of seconds"
[[ "$jobs" =~ ^[1-9][0-9]?$ ]] || die "--jobs needs a number from 1 to 99"
command -v ffmpeg >/dev/null || die "ffmpeg is not installed (apt-get install ffmpeg)"
[ -r "$catalogue" ] || die "cannot read the catalogue $catalogue"
if [ "$webm" = 1 ]; then
  encoders=$(ffmpeg -hide_banner -encoders 2>/dev/null || true)
  grep -q ' libvpx ' <<<"$encoders" && grep -q ' libvorbis ' <<<"$encoders" ||
    die "--webm needs an ffmpeg with libvpx and libvorbis"
fi
mkdir -p "$out"

# drawtext needs a font file; a CJK face draws the Chinese names. Without
# drawtext or a font the clips are made without text.
font=""
filters=$(ffmpeg -hide_banner -filters 2>/dev/null || true)
if grep -q ' drawtext ' <<<"$filters"; then
  for f in /usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc \
           /usr/share/fonts/opentype/noto/NotoSansCJKsc-Regular.otf \
           "$(fc-match -f '%{file}' 'Noto Sans CJK SC' 2>/dev/null || true)" \
           /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf; do
    if [ -n "$f" ] && [ -r "$f" ]; then font=$f; break; fi
  done
  [ -n "$font" ] || echo "make_media.sh: no font found; the clips carry no text" >&2
else
  echo "make_media.sh: this ffmpeg has no drawtext filter; the clips carry no text" >&2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# make_clip OUTPUT WIDTHxHEIGHT FPS SECONDS TONE_HZ TITLE SUBTITLE
make_clip() {
  local target=$1 size=$2 fps=$3 length=$4 tone=$5 title=$6 subtitle=$7
  local part="$out/.${target##*/}.part"
  local height=${size#*x}
  local big=$((height / 11)) small=$((height / 16)) bar=$((height / 4))
  local vf="null"
  if [ -n "$font" ]; then
    local tfile="$work/$RANDOM$RANDOM-title.txt" sfile="$work/$RANDOM$RANDOM-sub.txt"
    printf '%s' "$title" >"$tfile"
    printf '%s' "$subtitle" >"$sfile"
    # The names are drawn as they are (expansion=none): a "%" in one would
    # start one of drawtext's functions.
    vf="drawbox=x=0:y=0:w=iw:h=${bar}:color=black@0.6:t=fill"
    vf+=",drawtext=fontfile=${font}:textfile=${tfile}:expansion=none:x=12:y=$((bar / 8)):fontsize=${big}:fontcolor=white"
    vf+=",drawtext=fontfile=${font}:textfile=${sfile}:expansion=none:x=12:y=$((bar / 8 + big + 4)):fontsize=${small}:fontcolor=0x80A8FF"
    vf+=",drawtext=fontfile=${font}:text='%{pts\\:hms}':x=w-tw-12:y=h-th-12:fontsize=${big}:fontcolor=white:box=1:boxcolor=black@0.6:boxborderw=6"
  fi
  if ffmpeg -hide_banner -loglevel error -nostdin -y \
      -f lavfi -i "testsrc2=size=${size}:rate=${fps}:duration=${length}" \
      -f lavfi -i "sine=frequency=${tone}:sample_rate=44100:duration=${length}" \
      -vf "$vf" -af "volume=0.3" \
      -c:v libx264 -preset veryfast -crf 28 -pix_fmt yuv420p -g $((fps * 2)) \
      -c:a aac -b:a 64k -ac 1 \
      -movflags +faststart -shortest -f mp4 "$part"; then
    mv -f "$part" "$target"
    echo "made ${target##*/}"
  else
    rm -f "$part"
    echo "make_media.sh: ffmpeg failed on ${target##*/}" >&2
    return 1
  fi
}

# make_webm CLIP: CLIP's stem + .webm, VP8 + Vorbis, from the clip.
make_webm() {
  local clip=$1
  local target="${clip%.*}.webm"
  local part="$out/.${target##*/}.part"
  if ffmpeg -hide_banner -loglevel error -nostdin -y -i "$clip" \
      -c:v libvpx -deadline realtime -cpu-used 16 -b:v 300k -c:a libvorbis -q:a 2 -ac 1 \
      -f webm "$part"; then
    mv -f "$part" "$target"
    echo "made ${target##*/}"
  else
    rm -f "$part"
    echo "make_media.sh: ffmpeg failed on ${target##*/}" >&2
    return 1
  fi
}

# make_episode OUTPUT ARGS...: the clip unless it is there, then its WebM
# copy when asked for and missing.
make_episode() {
  local target=$1
  if [ ! -e "$target" ]; then make_clip "$@" || return 1; fi
  if [ "$webm" = 1 ] && [ ! -e "${target%.*}.webm" ]; then make_webm "$target" || return 1; fi
}

failed=0
running=0
# Starts a job, first waiting for a free slot.
start() {
  while [ "$running" -ge "$jobs" ]; do
    wait -n || failed=1
    running=$((running - 1))
  done
  "$@" &
  running=$((running + 1))
}

made=0
kept=0
if [ "$clips" = 1 ]; then
  n=0
  # One line per episode: series name, label, media file.
  while IFS=$'\t' read -r name label file; do
    n=$((n + 1))
    case "$file" in ''|*/*|.*) echo "make_media.sh: skipping odd file name '$file'" >&2; continue ;; esac
    webm_file="${file%.*}.webm"
    if [ -e "$out/$file" ] && { [ "$webm" = 0 ] || [ "$file" = "$webm_file" ] || [ -e "$out/$webm_file" ]; }; then
      kept=$((kept + 1)); continue
    fi
    made=$((made + 1))
    start make_episode "$out/$file" 320x180 25 "$seconds" $((220 + (n * 37) % 660)) "$name" "$label"
  done < <(awk '
    function trim(s) { sub(/^[ \t]+/, "", s); sub(/[ \t\r]+$/, "", s); return s }
    /^[ \t]*#/ { next }
    match($0, /^[ \t]*name[ \t]+/) { name = trim(substr($0, RLENGTH + 1)); next }
    match($0, /^[ \t]*episode[ \t]+/) {
      split(substr($0, RLENGTH + 1), f, "|")
      print name "\t" trim(f[1]) "\t" trim(f[2])
    }' "$catalogue")
fi
if [ "$bench" = 1 ]; then
  if [ -e "$out/bench-720p.mp4" ]; then
    kept=$((kept + 1))
  else
    made=$((made + 1))
    start make_clip "$out/bench-720p.mp4" 1280x720 30 30 440 "Tavori 720p" "基准测试片段 1280×720 30fps"
  fi
fi
while [ "$running" -gt 0 ]; do
  wait -n || failed=1
  running=$((running - 1))
done

echo "media in $out: $made made, $kept already there"
[ "$failed" = 0 ] || die "some files could not be made"
