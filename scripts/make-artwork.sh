#!/bin/sh
# Draws the program's built-in pictures into assets/ with ImageMagick.
# The pictures are committed; run this only to change them.
set -eu
cd "$(dirname "$0")/../assets"

MING="AR-PL-UMing-TW"
SERIF="Liberation-Serif-Italic"
SANS="Liberation-Sans"
INK="#3b2a20"
SEAL="#a8322a"

# Start screen background, 800 x 580: rice paper, ink-wash hills, the title,
# a seal, and a quiet panel behind the two buttons (at 560,248 and 560,368).
convert -size 800x580 gradient:'#f7f2e6'-'#e4d9c2' \
  \( -size 800x580 xc:none -fill '#c6d2c8' \
     -draw "path 'M 0,470 C 120,380 210,420 300,455 C 380,430 450,360 560,430 C 650,470 720,420 800,440 L 800,580 L 0,580 Z'" \
     -blur 0x3 \) -composite \
  \( -size 800x580 xc:none -fill '#a9bbb0' \
     -draw "path 'M 0,520 C 90,470 170,490 260,515 C 340,480 420,470 500,505 C 600,540 700,490 800,510 L 800,580 L 0,580 Z'" \
     -blur 0x2 \) -composite \
  \( -size 800x580 xc:none -fill '#8fa79a' \
     -draw "path 'M 0,555 C 140,530 260,540 400,552 C 540,535 660,540 800,550 L 800,580 L 0,580 Z'" \
     -blur 0x1 \) -composite \
  -fill none -stroke '#9b876a' -strokewidth 2 -draw "rectangle 10,10 789,569" \
  -stroke '#b9a88c' -strokewidth 1 -draw "rectangle 16,16 783,563" \
  -stroke none -fill "$INK" -font "$MING" -pointsize 80 -annotate +62+178 '全文檢索' \
  -fill "$SEAL" -draw "roundrectangle 412,104 468,186 4,4" \
  -fill '#f7efe0' -font "$MING" -pointsize 24 -annotate +427+138 '典' -annotate +427+172 '籍' \
  -stroke '#8a7658' -strokewidth 1 -draw "line 66,208 468,208" -stroke none \
  -fill '#6b5a48' -font "$SERIF" -pointsize 30 -annotate +66+250 'Tarsel Orvanta' \
  -fill '#7d6c58' -font "$MING" -pointsize 18 -annotate +68+292 '中醫典籍　全文檢索系統' \
  \( -size 800x580 xc:none -fill 'rgba(255,252,244,0.55)' -stroke 'rgba(139,118,88,0.6)' -strokewidth 1 \
     -draw "roundrectangle 530,210 730,456 10,10" \) -composite \
  -quality 92 background.jpg

# A button face, 170 x 60. Only the middle 140 x 49 shows on the button, so
# the words stay well inside it.
button() { # file top-colour bottom-colour words
  convert -size 170x60 gradient:"$2"-"$3" \
    -fill none -stroke 'rgba(255,255,255,0.45)' -strokewidth 1 -draw "line 16,7 153,7" \
    -stroke 'rgba(0,0,0,0.25)' -draw "line 16,52 153,52" -stroke none \
    -fill 'rgba(0,0,0,0.35)' -font "$MING" -pointsize 26 -gravity center -annotate +1+2 "$4" \
    -fill '#fbf0d2' -annotate +0+0 "$4" \
    -quality 92 "$1"
}
button query-button.jpg '#8a4532' '#5a2418' '全文檢索'
button demo-button.jpg '#3f6f64' '#24473f' '示範'

# The icon of every window, 64 x 64 with at most 256 colours: the seal with
# the character for searching.
convert -size 64x64 xc:none -fill "$SEAL" -draw "roundrectangle 2,2 61,61 9,9" \
  -fill none -stroke '#f7efe0' -strokewidth 2 -draw "roundrectangle 7,7 56,56 6,6" -stroke none \
  -fill '#f7efe0' -font "$MING" -pointsize 40 -gravity center -annotate +0+1 '檢' \
  -colors 256 PNG8:icon.png

# The search button, 67 x 28: blue words on a white, orange-rimmed rounded
# button.
convert -size 67x28 xc:white \
  -fill white -stroke '#f08a24' -strokewidth 2 -draw "roundrectangle 1,1 65,26 7,7" \
  -stroke none -fill '#1d4fc4' -font "$MING" -pointsize 13 -gravity center -annotate +0+1 '全文搜尋' \
  -colors 64 search-button.gif

# The search window's panel, 800 x 580: light blue with a thin bevelled frame.
convert -size 800x580 xc:'#d7e7f6' \
  -fill none -stroke '#ffffff' -strokewidth 1 -draw "line 0,0 799,0" -draw "line 0,0 0,579" \
  -stroke '#7f97b2' -draw "line 0,579 799,579" -draw "line 799,0 799,579" \
  -stroke '#9fb4cb' -draw "line 2,2 797,2" -draw "line 2,2 2,577" \
  -stroke '#f4f9ff' -draw "line 2,577 797,577" -draw "line 797,2 797,577" \
  -quality 92 search-panel.jpg
