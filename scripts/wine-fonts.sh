#!/bin/sh
# Gives a Wine prefix the faces that Windows forms are designed in, MS Sans Serif and Tahoma,
# from Debian's fonts-wine: Wine only finds them in the prefix's own Fonts folder, and without
# them it draws in a wider face that cuts captions short.
# Usage: wine-fonts.sh PREFIX
prefix=$1
source=/usr/share/wine/fonts
fonts="$prefix/drive_c/windows/Fonts"
if [ ! -f "$source/ms_sans_serif.ttf" ]; then
  echo "fonts-wine is not installed: forms will draw in a wider face" >&2
  exit 0
fi
mkdir -p "$fonts"
# The prefix's font list points MS Sans Serif at its bitmap files (sserife.fon at 96 dots per
# inch, sseriff.fon at 120): with the outline file alone Wine takes another face.
cp "$source/sserife.fon" "$source/sseriff.fon" "$source/ms_sans_serif.ttf" "$source/tahoma.ttf" \
  "$source/tahomabd.ttf" "$fonts/"
