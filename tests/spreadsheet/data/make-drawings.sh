#!/usr/bin/env bash
# Makes drawing-*.xls (BIFF8) with LibreOffice (Debian's libreoffice-calc) from the drawing-*.fods
# that make-drawing-fods.py writes:
#   drawing-shapes.fods  sheet "Kunden" (A1:C6 names, towns, sales): a comment on B2 by "Tester"
#                        ("Notiz Ä"), drawing-pic.png and drawing-pic.jpg inline, a bar chart of
#                        C2:C3 with title and legend, a text box "Hallo Box", a rectangle, an
#                        ellipse and an arrow; sheet "Leer" without drawings
#   drawing-charts.fods  sheet "Kunden": pie, line, scatter and 3-D column charts of C2:C3
# Usage: make-drawings.sh [output folder, default: this script's folder]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here}
python3 "$here/make-drawing-fods.py"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for src in "$here"/drawing-*.fods; do
  soffice --headless -env:UserInstallation=file://"$tmp"/profile --convert-to 'xls:MS Excel 97' --outdir "$tmp" "$src" >/dev/null 2>&1
  cp "$tmp/$(basename "${src%.fods}").xls" "$out/"
done
