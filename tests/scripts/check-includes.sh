#!/bin/bash
# scripts/check-includes on small trees of one file each: which includes it lets through.
set -euo pipefail
check=$(cd "$(dirname "$0")/../.." && pwd)/scripts/check-includes

# file | its include | whether the check passes
rows=(
    "spool/A.cpp|#include \"settings/Settings.h\"|pass"
    "spool/A.cpp|#include <QString>|pass"
    "spool/A.cpp|#include \"render/PdfFile.h\"|fail"
    "spool/A.cpp|#include \"ui/FrmVelmorix.h\"|fail"
    "text/A.h|  #  include \"platform/PosixClock.h\"|fail"
    "spool/A.cpp|#include <QImage>|fail"
    "settings/A.cpp|#include <QtGui/QPainter>|fail"
    "spool/A.cpp|#include <cups/cups.h>|fail"
    "settings/A.cpp|#include \"ui_Generated.h\"|pass"
    "render/A.cpp|#include \"spool/Reader.h\"|pass"
    "render/A.cpp|#include <QImage>|pass"
    "cups/A.cpp|#include \"app/Engine.h\"|fail"
    "platform/desktop/A.cpp|#include \"../../ui/FrmVelmorix.h\"|fail"
    "platform/desktop/A.cpp|#include \"../PosixClock.h\"|pass"
    "ui/A.cpp|#include \"platform/PosixClock.h\"|pass"
    "app/A.cpp|#include \"ui/FrmVelmorix.h\"|pass"
    "app/A.cpp|#include \"tests/support/Doubles.h\"|fail"
    "bench/A.cpp|#include \"tests/support/Doubles.h\"|fail"
)

# Every row's file goes into one tree, beside the headers the rows include, and the check runs
# once: the files it names are the rows that fail.
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree"/{settings,render,ui,platform/desktop,spool,text,cups,app,bench,tests/support}
touch "$tree"/{settings/Settings.h,render/PdfFile.h,ui/FrmVelmorix.h,platform/PosixClock.h,spool/Reader.h}
touch "$tree"/{app/Engine.h,tests/support/Doubles.h}
for i in "${!rows[@]}"; do
    IFS='|' read -r file include expected <<<"${rows[$i]}"
    printf '// row %d\n%s\n' "$i" "$include" >"$tree/${file%.*}$i.${file##*.}"
done

named=$("$check" "$tree" 2>&1 >/dev/null | sed -n 's/^\([^:]*\):[0-9]*: .*/\1/p' || true)
status=0
for i in "${!rows[@]}"; do
    IFS='|' read -r file include expected <<<"${rows[$i]}"
    got=pass
    grep -qx "${file%.*}$i.${file##*.}" <<<"$named" && got=fail
    if [ "$got" != "$expected" ]; then
        echo "FAIL: $file with '$include': $got, expected $expected"
        status=1
    fi
done
# The exit status agrees with what is named.
if "$check" "$tree" >/dev/null 2>&1; then
    echo "FAIL: the check passed a tree with wrong includes"
    status=1
fi
[ $status -eq 0 ] && echo "check-includes: ${#rows[@]} rows as expected"
exit $status
