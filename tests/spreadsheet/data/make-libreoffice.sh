#!/usr/bin/env bash
# Makes libreoffice-*.xls (BIFF8) from the libreoffice-*.fods beside it with LibreOffice (Debian's
# libreoffice-calc).
# libreoffice-names.fods holds:
#   Sheet "Kunden": A1:C3 numbers, B1:C1 merged, D1 a mailto link, C2 a whole-number validation
#                   between 1 and 10 (input title "Hilfe", error message "Falsch"), C2:C3 a
#                   conditional format "value > 5" in bold red, C4 =SUM(C2,Gruppe), print area A1:C4
#   Sheet "Bericht": A1 =Kunden!C2*2
#   Names "Gruppe" = Kunden!$A$1:$B$3 and "x" = Kunden!$C$2
# libreoffice-import.fods holds a list of three recipients for the Excel import, with what the
# import does not read around it:
#   Sheet "Empfänger": A1:C4 Name, Email, Vorname; every address a mailto link; E1:F1 merged; C2:C4
#                      a text-length validation; A2:A4 a conditional format; print area A1:C4
#   Sheet "Summe":     A1 =COUNTA(Liste); the name "Liste" = Empfänger!$A$1:$C$4
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
