#!/usr/bin/env bash
# Makes gnumeric-3d-biff7.xls: BIFF5 formulas that refer to other sheets, as gnumeric writes them
# (ssconvert from Debian's gnumeric package).
#   Sheet "Erste":          A1 ='Zweite Tabelle'!B3*2, A2 =SUM(Dritte!A1:A2)
#   Sheet "Zweite Tabelle": B3 21
#   Sheet "Dritte":         A1 1, A2 2
# Usage: make-gnumeric-3d.sh [output folder, default: this script's folder]
set -euo pipefail
out=${1:-$(cd "$(dirname "$0")" && pwd)}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cat >"$tmp/3d.gnumeric" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<gnm:Workbook xmlns:gnm="http://www.gnumeric.org/v10.dtd">
  <gnm:SheetNameIndex><gnm:SheetName>Erste</gnm:SheetName><gnm:SheetName>Zweite Tabelle</gnm:SheetName><gnm:SheetName>Dritte</gnm:SheetName></gnm:SheetNameIndex>
  <gnm:Sheets>
    <gnm:Sheet>
      <gnm:Name>Erste</gnm:Name><gnm:MaxCol>0</gnm:MaxCol><gnm:MaxRow>1</gnm:MaxRow>
      <gnm:Cells>
        <gnm:Cell Row="0" Col="0">='Zweite Tabelle'!B3*2</gnm:Cell>
        <gnm:Cell Row="1" Col="0">=SUM(Dritte!A1:A2)</gnm:Cell>
      </gnm:Cells>
    </gnm:Sheet>
    <gnm:Sheet>
      <gnm:Name>Zweite Tabelle</gnm:Name><gnm:MaxCol>1</gnm:MaxCol><gnm:MaxRow>2</gnm:MaxRow>
      <gnm:Cells><gnm:Cell Row="2" Col="1" ValueType="40">21</gnm:Cell></gnm:Cells>
    </gnm:Sheet>
    <gnm:Sheet>
      <gnm:Name>Dritte</gnm:Name><gnm:MaxCol>0</gnm:MaxCol><gnm:MaxRow>1</gnm:MaxRow>
      <gnm:Cells><gnm:Cell Row="0" Col="0" ValueType="40">1</gnm:Cell><gnm:Cell Row="1" Col="0" ValueType="40">2</gnm:Cell></gnm:Cells>
    </gnm:Sheet>
  </gnm:Sheets>
</gnm:Workbook>
XML
ssconvert --recalc -T Gnumeric_Excel:excel_biff7 "$tmp/3d.gnumeric" "$out/gnumeric-3d-biff7.xls"
