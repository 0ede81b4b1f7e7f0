#!/usr/bin/env bash
# Saves a picture of an X display as its windows hold it: the picture of each viewable top-level
# window (xwd -id) laid over the root's, bottom to top. On Xvfb a window that lies wholly inside
# another one (a dropped list, a menu, a dialog over the main window) is black in the root's own
# picture, although its X window holds what the program drew.
# Usage: screenshot.sh <display> <out.png>
set -euo pipefail
display=$1
out=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
xwd -root -silent -display "$display" >"$tmp/root.xwd"
layers=()
# xwininfo lists the root's children top first: "0x... "name": (...)  WxH+X+Y  +AX+AY"
while read -r id ax ay; do
  xwininfo -display "$display" -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable' || continue
  xwd -silent -display "$display" -id "$id" >"$tmp/$id.xwd" 2>/dev/null || continue
  layers=("$tmp/$id.xwd" -geometry "$(printf '%+d%+d' "$ax" "$ay")" -composite "${layers[@]}")
done < <(xwininfo -display "$display" -root -children | awk '
  $1 ~ /^0x/ {
    geometry = ""; at = ""
    for (i = 2; i <= NF; i++) {
      if ($i ~ /^[0-9]+x[0-9]+[+-]/) geometry = $i
      else if (geometry != "" && $i ~ /^[+-]-?[0-9]+[+-]-?[0-9]+$/) at = $i
    }
    split(geometry, size, /[x+-]/)
    if (size[1] > 1 && size[2] > 1 && at != "") {
      n = split(at, p, /[+]/)
      print $1, p[2], p[3]
    }
  }')
convert "$tmp/root.xwd" "${layers[@]}" "$out"
