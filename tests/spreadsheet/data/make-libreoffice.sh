#!/usr/bin/env bash
# Makes libreoffice-names.xls (BIFF8) from libreoffice-names.fods with LibreOffice (Debian's
# libreoffice-calc). The source holds:
#   Sheet "Kunden": A1:C3 numbers, B1:C1 merged, D1 a mailto link, C2 a whole-number validation
#                   between 1 and 10 (input title "Hilfe", error message "Falsch"), C2:C3 a
#                   conditional format "value > 5" in bold red, C4 =SUM(C2,Gruppe), print area A1:C4
#   Sheet "Bericht": A1 =Kunden!C2*2
#   Names "Gruppe" = Kunden!$A$1:$B$3 and "x" = Kunden!$C$2
# Usage: make-libreoffice.sh [output folder, default: this script's folder]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for src in "$here"/libreoffice-*.fods; do
  soffice --headless -env:UserInstallation=file://"$tmp"/profile --convert-to xls --outdir "$tmp" "$src" >/dev/null 2>&1
  cp "$tmp/$(basename "${src%.fods}").xls" "$out/"
done
