#!/usr/bin/env bash
# Makes gnumeric-long-texts-biff7.xls and gnumeric-long-texts-biff8.xls: texts longer than one
# record, as gnumeric writes them (ssconvert from Debian's gnumeric package).
#   Sheet "Lang":   A1 a text of 9000 "x" (BIFF7: a LABEL with CONTINUE records; BIFF8: in the SST)
#                   B1 =REPT("ab",4600)  (a STRING record with CONTINUE records)
#                   C1 =REPT("ä€",2500)  (BIFF8: 16-bit characters, split inside a character)
#                   A2 "danach"
#   Sheet "Danach": A1 42
# Usage: make-long-texts.sh [output folder, default: this script's folder]
set -euo pipefail
out=${1:-$(cd "$(dirname "$0")" && pwd)}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
long=$(printf 'x%.0s' $(seq 1 9000))
cat >"$tmp/long.gnumeric" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<gnm:Workbook xmlns:gnm="http://www.gnumeric.org/v10.dtd">
  <gnm:SheetNameIndex><gnm:SheetName>Lang</gnm:SheetName><gnm:SheetName>Danach</gnm:SheetName></gnm:SheetNameIndex>
  <gnm:Sheets>
    <gnm:Sheet>
      <gnm:Name>Lang</gnm:Name><gnm:MaxCol>2</gnm:MaxCol><gnm:MaxRow>1</gnm:MaxRow>
      <gnm:Cells>
        <gnm:Cell Row="0" Col="0" ValueType="60">$long</gnm:Cell>
        <gnm:Cell Row="0" Col="1">=REPT("ab",4600)</gnm:Cell>
        <gnm:Cell Row="0" Col="2">=REPT("ä€",2500)</gnm:Cell>
        <gnm:Cell Row="1" Col="0" ValueType="60">danach</gnm:Cell>
      </gnm:Cells>
    </gnm:Sheet>
    <gnm:Sheet>
      <gnm:Name>Danach</gnm:Name><gnm:MaxCol>0</gnm:MaxCol><gnm:MaxRow>0</gnm:MaxRow>
      <gnm:Cells><gnm:Cell Row="0" Col="0" ValueType="40">42</gnm:Cell></gnm:Cells>
    </gnm:Sheet>
  </gnm:Sheets>
</gnm:Workbook>
XML
ssconvert --recalc -T Gnumeric_Excel:excel_biff7 "$tmp/long.gnumeric" "$out/gnumeric-long-texts-biff7.xls"
ssconvert --recalc -T Gnumeric_Excel:excel_biff8 "$tmp/long.gnumeric" "$out/gnumeric-long-texts-biff8.xls"
