#!/usr/bin/env bash
# Remakes the dBASE test tables with LibreOffice Calc's dBASE export (an
# independent writer): rates.dbf in Windows-1251 with a date, a text, an
# integer and a two-decimal number field.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
printf 'DATE_R,NAME,CNT,RATE\n2024-01-10,Рубль,3,95.5\n2024-01-15,Доллар США,4,96.25\n,Пусто,5,7\n2024-02-03,Евро,6,0\n2023-12-31,Ёлка,7,1.75\n' > "$work/rates.csv"
soffice -env:UserInstallation="file://$work/profile" --headless \
    --infilter="CSV:44,34,76,1,1/5/2/1/3/1/4/1" --convert-to "dbf:dBase:34" --outdir "$work/out" "$work/rates.csv" >/dev/null
cp "$work/out/rates.dbf" "$here/rates.dbf"
