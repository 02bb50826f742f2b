#!/bin/sh
# Draws every icon image (each size, at 100 % and 200 %) and every menu bitmap
# on a light and on a dark background into one PNG, for checking by eye.
# Usage: contact_sheet.sh OUTPUT.png   (needs ImageMagick)
set -eu
out=${1:?usage: contact_sheet.sh OUTPUT.png}
res=$(cd "$(dirname "$0")/.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

row() {  # row TAG BACKGROUND IMAGE...  -> one strip: 1x images, then 2x images
    tag=$1 rowbg=$2
    shift 2
    convert -background "$rowbg" -gravity center \
        \( "$@" -bordercolor "$rowbg" -border 3 +append \) \
        \( "$@" -filter point -resize 200% -bordercolor "$rowbg" -border 3 +append \) \
        +append "$tmp/$tag.png"
}

n=0
for bg in '#e8e8e8' '#202020'; do
    for f in "$res"/icons/*.ico "$res"/bitmaps/*.bmp; do
        name=$(basename "$f")
        n=$((n + 1))
        row "img$n" "$bg" "$f"
        convert -background "$bg" -fill '#808080' -font DejaVu-Sans -pointsize 11 label:"$name" \
            -gravity west -extent 150x "$tmp/label$n.png"
        convert -background "$bg" "$tmp/label$n.png" "$tmp/img$n.png" -gravity west +append \
            "$tmp/line$(printf %03d $n).png"
    done
done
convert -background '#808080' "$tmp"/line*.png -gravity west -append "$out"
echo "$out"
