#!/bin/bash
# render.sh - how fast a spool file becomes a PDF: Velmorix2's graphical path against the
# usual text-to-PDF tools.
#
#   bench/render.sh [BUILD_DIR]      (default: build; render_bench must be built there)
#
# Corpus, generated afresh in a temporary folder (CR LF line ends, as spool files come):
#   page    one 60-line page of 80 columns
#   report  20,000 lines of 132 columns, a form feed every 60 lines (334 pages by our rule)
#   big     200,000 lines of 80 columns, no form feeds
#   escp    the report's 20,000 lines written for an Epson printer: on every page a double-width
#           title, a bold header and a condensed body inside a CP850 box frame (ESC/P codes)
#   picture one printer's page of bit images (render_bench --picture draws it; velmorix2 only)
# Each file is rendered to PDF by
#   velmorix2   render_bench: le_conteudo + imprime_linhas drawn into a PDF as the printing service
#               draws it, to a file (CUPS is not loaded: the program loads it once, not per job)
#   cupsfilter  cupsfilter -m application/pdf (texttopdf)
#   enscript    enscript | ps2pdf
#   paps        paps | ps2pdf
# Times are wall-clock seconds of the whole command, the best of BENCH_RUNS runs (default 3;
# one run for the big file). Beside velmorix2's, "in-proc ms": the milliseconds render_bench
# spent in process from reading the file to the finished PDF (start-up and the face list left
# out), the best of the same runs. "KB": the size of the PDF, what travels to a remote queue. BENCH_CORPUS="page report" picks corpora. paps | ps2pdf takes
# minutes on the report and far longer on the big file: it is left out there unless
# BENCH_FULL=1. BENCH_TOOLS="velmorix2 cupsfilter" picks renderers (velmorix2 and cupsfilter
# are needed for the speedup). The last line is the speedup on the report against cupsfilter.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
BENCH=$BUILD/bench/render_bench
RUNS=${BENCH_RUNS:-3}
[ -x "$BENCH" ] || { echo "render.sh: $BENCH not built (ninja -C $BUILD render_bench)" >&2; exit 1; }

if [ "$(id -u)" = 0 ]; then
    need=()
    command -v cupsfilter >/dev/null || need+=(cups)
    command -v enscript >/dev/null || need+=(enscript)
    command -v ps2pdf >/dev/null || need+=(ghostscript)
    command -v paps >/dev/null || need+=(paps)
    command -v pdfinfo >/dev/null || need+=(poppler-utils)
    [ -n "$(fc-list ':family=Courier 10 Pitch' family 2>/dev/null)" ] || need+=(xfonts-scalable)
    if [ ${#need[@]} -gt 0 ]; then
        echo "render.sh: installing ${need[*]}" >&2
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq && apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
    fi
fi

export QT_QPA_PLATFORM=offscreen
WORK=$(mktemp -d /tmp/velmorix-render.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
export XDG_RUNTIME_DIR=$WORK/xdg
mkdir -m 0700 "$XDG_RUNTIME_DIR"

# --- corpus ------------------------------------------------------------------------------
awk 'BEGIN { for (i = 1; i <= 60; i++)
    printf "%05d  %-20s %-20s %10.2f %10.2f %9d\r\n", i, "ITEM-" i * 7, "ACCOUNT " i % 13, i * 3.25, i * 101.5, i * 17 }' \
    > "$WORK/page.txt"
awk 'BEGIN { srand(7); for (i = 0; i < 20000; i++) {
    if (i > 0 && i % 60 == 0) printf "\f";
    printf "%06d %-12s %-30s %-10s %8d %12.2f %14.2f %12.2f %-18s\r\n", i, "BR" int(rand() * 900),
        "CUSTOMER " int(rand() * 99999), "PRD" int(rand() * 9999), int(rand() * 999), rand() * 1000,
        rand() * 100000, rand() * 5000, "REF-" int(rand() * 1e8) } }' > "$WORK/report.txt"
awk 'BEGIN { srand(11); for (i = 0; i < 200000; i++)
    printf "%07d %-16s %-24s %10.2f %10.2f %5d\r\n", i, "ITEM-" int(rand() * 1e6), "DESCRIPTION " int(rand() * 1e5),
        rand() * 1000, rand() * 9999, int(rand() * 999) }' > "$WORK/big.txt"

# 58 lines a page: title, header, frame top, 54 framed lines, frame bottom; CP850 box bytes.
LC_ALL=C awk 'BEGIN { srand(7); n = 0; page = 0
    while (n < 20000) {
        if (page++ > 0) printf "\f";
        printf "\033@\033W1STOCK REPORT  PAGE %d\033W0\r\n", page; n++
        printf "\033EBRANCH  CUSTOMER                        PRODUCT      QTY        PRICE          TOTAL\033F\r\n"; n++
        printf "\017%c", 201; for (i = 0; i < 134; i++) printf "%c", 205; printf "%c\r\n", 187; n++
        for (l = 0; l < 54 && n < 19999; l++) {
            printf "%c%06d %-12s %-30s %-10s %8d %12.2f %14.2f %12.2f %-18s%c\r\n", 186, n, "BR" int(rand() * 900),
                "CUSTOMER " int(rand() * 99999), "PRD" int(rand() * 9999), int(rand() * 999), rand() * 1000,
                rand() * 100000, rand() * 5000, "REF-" int(rand() * 1e8), 186; n++ }
        printf "%c", 200; for (i = 0; i < 134; i++) printf "%c", 205; printf "%c\022\r\n", 188; n++
    } }' > "$WORK/escp.txt"

# --- renderers ---------------------------------------------------------------------------
render() {  # render TOOL INPUT OUTPUT; render_bench's report goes to $WORK/bench.out
    case "$1" in
        velmorix2)  if [ "${2##*/}" = picture.txt ]; then "$BENCH" --picture "$3" >"$WORK/bench.out"
                    elif [ "${2##*/}" = escp.txt ]; then "$BENCH" --codepage 850 "$2" "$3" >"$WORK/bench.out"
                    else "$BENCH" "$2" "$3" >"$WORK/bench.out"; fi ;;
        # A file with printer codes is not typed as text by CUPS: say it is.
        cupsfilter) cupsfilter -i text/plain -m application/pdf "$2" >"$3" 2>/dev/null ;;
        enscript)   enscript -q -B -p - "$2" 2>/dev/null | ps2pdf - "$3" ;;
        paps)       paps "$2" 2>/dev/null | ps2pdf - "$3" ;;
    esac
}

best_time() {  # best_time TOOL INPUT OUTPUT -> "seconds in-process-ms" (ms "-" but for velmorix2)
    local best="" inner="" t0 t1 t ms i runs=$RUNS
    case "$2" in */big.txt) runs=1 ;; esac
    for i in $(seq 1 "$runs"); do
        t0=$(date +%s.%N)
        render "$@"
        t1=$(date +%s.%N)
        t=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }')
        best=$(awk -v a="$best" -v b="$t" 'BEGIN { print (a == "" || b < a) ? b : a }')
        if [ "$1" = velmorix2 ]; then
            ms=$(awk '{ for (f = 1; f < NF; f++) if ($f == "ms") print $(f + 1) }' "$WORK/bench.out")
            inner=$(awk -v a="$inner" -v b="$ms" 'BEGIN { print (a == "" || b < a) ? b : a }')
        fi
    done
    echo "$best ${inner:--}"
}

pages() { pdfinfo "$1" 2>/dev/null | awk '/^Pages:/ { print $2 }'; }

declare -A TIME INNER PAGES SIZE
read -r -a TOOLS <<< "${BENCH_TOOLS:-velmorix2 cupsfilter enscript paps}"
read -r -a CORPUS <<< "${BENCH_CORPUS:-page report escp picture big}"
: > "$WORK/picture.txt"
for c in "${CORPUS[@]}"; do
    for tool in "${TOOLS[@]}"; do
        if { [ "$c,$tool" = big,paps ] || [ "$c,$tool" = escp,paps ]; } && [ "${BENCH_FULL:-0}" != 1 ]; then
            TIME[$c,$tool]=0; PAGES[$c,$tool]=0; continue
        fi
        if [ "$c" = picture ] && [ "$tool" != velmorix2 ]; then TIME[$c,$tool]=0; PAGES[$c,$tool]=0; continue; fi
        out=$WORK/$c-$tool.pdf
        read -r "TIME[$c,$tool]" "INNER[$c,$tool]" < <(best_time "$tool" "$WORK/$c.txt" "$out")
        PAGES[$c,$tool]=$(pages "$out")
        SIZE[$c,$tool]=$(( ($(stat -c %s "$out") + 512) / 1024 ))
    done
done

printf '%-8s %-11s %9s %8s %12s %7s %10s %16s\n' corpus renderer seconds KB 'in-proc ms' pages pages/s 'x fastest peer'
for c in "${CORPUS[@]}"; do
    fastest=""
    for tool in cupsfilter enscript paps; do
        [ "${TIME[$c,$tool]:-0}" = 0 ] && continue
        fastest=$(awk -v a="$fastest" -v b="${TIME[$c,$tool]}" 'BEGIN { print (a == "" || b < a) ? b : a }')
    done
    for tool in "${TOOLS[@]}"; do
        if [ "${TIME[$c,$tool]}" = 0 ]; then printf '%-8s %-11s %9s\n' "$c" "$tool" skipped; continue; fi
        awk -v c="$c" -v tool="$tool" -v t="${TIME[$c,$tool]}" -v kb="${SIZE[$c,$tool]}" -v ms="${INNER[$c,$tool]}" \
            -v p="${PAGES[$c,$tool]:-0}" -v f="$fastest" \
            'BEGIN { printf "%-8s %-11s %9.3f %8d %12s %7d %10.1f %16.2f\n", c, tool, t, kb, ms, p, (t > 0 ? p / t : 0), (t > 0 && f != "" ? f / t : 0) }'
    done
done

# Our pages follow the job's rule: one page per form feed block of the report.
expected=$(( $(tr -cd '\f' < "$WORK/report.txt" | wc -c) + 1 ))
[ "${PAGES[report,velmorix2]}" = "$expected" ] ||
    echo "render.sh: WARNING: velmorix2 drew ${PAGES[report,velmorix2]} pages of the report, expected $expected" >&2
if [ -n "${TIME[escp,velmorix2]:-}" ] && [ -n "${TIME[escp,cupsfilter]:-}" ]; then
    awk -v a="${TIME[escp,cupsfilter]}" -v b="${TIME[escp,velmorix2]}" \
        'BEGIN { printf "escp speedup vs cupsfilter: %.2f (goal 3.5)\n", a / b }'
fi
awk -v a="${TIME[report,cupsfilter]}" -v b="${TIME[report,velmorix2]}" \
    'BEGIN { printf "render speedup vs cupsfilter: %.2f\n", a / b }'
