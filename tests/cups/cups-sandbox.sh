#!/bin/bash
# cups-sandbox.sh - a private, throw-away CUPS scheduler for the printing tests.
#
#   cups-sandbox.sh start   write a private configuration, start cupsd, create the test
#                           queues and wait until they are ready (installs the Debian
#                           packages it needs when run as root and they are missing)
#   cups-sandbox.sh stop    stop that cupsd (captured jobs and logs are kept)
#   cups-sandbox.sh env     print the export line clients need
#
# Everything lives under $CUPS_SANDBOX_DIR (default /tmp/velmorix-cups-sandbox): config,
# spool, socket, logs, captured jobs. Nothing under /etc/cups is read or written and the
# system scheduler is neither used nor disturbed. Clients (lp, lpstat, lpadmin, libcups)
# reach the sandbox through
#     export CUPS_SERVER=$CUPS_SANDBOX_DIR/run/cups.sock
# The scheduler listens on that socket only; set CUPS_SANDBOX_PORT to also listen on
# 127.0.0.1:PORT.
#
# Queues (captured output lands under $CUPS_SANDBOX_DIR/out):
#   VelCap  (default)  PDF queue, velcap:.../out/jobs: one file per job,
#                      jobs/VelCap-<jobid>.pdf, renamed into place when complete
#   VelRaw             raw queue, velcap:.../out/raw: the job's exact bytes,
#                      raw/VelRaw-<jobid>.prn
#   VelLpt             parallel:/dev/lp0 (the device need not exist)
#   VelCom             serial:/dev/ttyVEL9?baud=9600 (a device that does not exist)
#
# Run as root (filters then run as user "lp", velcap as root) or as any other user
# (everything then runs as that user; the packages must already be installed).
set -euo pipefail

BASE=${CUPS_SANDBOX_DIR:-/tmp/velmorix-cups-sandbox}
PORT=${CUPS_SANDBOX_PORT:-}
LOGLEVEL=${CUPS_SANDBOX_LOGLEVEL:-info}
SOCK=$BASE/run/cups.sock
PIDFILE=$BASE/run/cupsd.pid        # written by cupsd itself (StateDir/cupsd.pid)
OUT=$BASE/out

say() { printf '[cups-sandbox] %s\n' "$*" >&2; }
die() { say "ERROR: $*"; exit 1; }
now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN{printf "%.3f", b-a}'; }

# NB: "lpstat -r" exits 0 even when the scheduler is down; test its text.
answering() { CUPS_SERVER=$SOCK lpstat -r 2>/dev/null | grep -qx 'scheduler is running'; }

# cupsd daemonizes and is re-parented to PID 1; in containers PID 1 may not
# reap promptly, so a stopped cupsd can linger as a zombie: treat Z as gone.
alive() {
    local pid=$1 st
    [ -n "$pid" ] && [ -r "/proc/$pid/stat" ] || return 1
    st=$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null) || return 1
    [ "$st" != Z ] && [ "$st" != X ]
}

cmd_env() {
    echo "export CUPS_SERVER=$SOCK"
}

install_if_missing() {
    local need=()
    command -v cupsd     >/dev/null || need+=(cups-daemon)
    command -v lpadmin   >/dev/null || need+=(cups-client)
    [ -x /usr/lib/cups/filter/pdftopdf ] || need+=(cups-filters)
    command -v pdftotext >/dev/null || need+=(poppler-utils)
    # the tests check that jobs are drawn in this face
    [ -n "$(fc-list ':family=Courier 10 Pitch' family 2>/dev/null)" ] || need+=(xfonts-scalable)
    if [ ${#need[@]} -gt 0 ]; then
        say "installing: ${need[*]}"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
    fi
}

write_config() {
    rm -rf "$BASE/etc" "$BASE/run" "$BASE/spool" "$BASE/cache" "$BASE/lib" "$OUT"
    mkdir -p "$BASE"/{etc/ppd,etc/ssl,run,spool/tmp,cache,log,lib/backend} \
             "$OUT/jobs" "$OUT/raw"
    # filters/backends run as user lp: every parent of $BASE must be o+x
    chmod 755 "$BASE" "$BASE/lib" "$BASE/lib/backend" "$OUT"
    chmod 1777 "$OUT/jobs" "$OUT/raw"
    # cupsd creates file: outputs 0600 but keeps the mode of an existing file
    : > "$BASE/log/error_log"

    # Private ServerBin: the system filters etc. plus one extra backend.
    local d b
    for d in cgi-bin daemon driver filter monitor notifier; do
        [ -e "/usr/lib/cups/$d" ] && ln -s "/usr/lib/cups/$d" "$BASE/lib/$d"
    done
    for b in /usr/lib/cups/backend/*; do
        if [ -x "$b" ]; then ln -s "$b" "$BASE/lib/backend/"
        else  # non-root: serial/usb/lpd are 0744 root -> need an own executable copy
            { cp "$b" "$BASE/lib/backend/" && chmod 0755 "$BASE/lib/backend/${b##*/}"; } 2>/dev/null || true
        fi
    done
    cat > "$BASE/lib/backend/velcap" <<'EOF'
#!/bin/sh
# CUPS backend "velcap:/abs/dir": store every job as DIR/<queue>-<jobid>.<ext>.
# The file is renamed into place only when complete.
[ $# -eq 0 ] && { echo 'direct velcap "Unknown" "Capture jobs to a directory"'; exit 0; }
dir=${DEVICE_URI#velcap:}; dir=/${dir#"${dir%%[!/]*}"}
case "$FINAL_CONTENT_TYPE" in *pdf*) ext=pdf ;; *) ext=prn ;; esac
tmp="$dir/.$PRINTER-$1.part"
if [ $# -ge 6 ]; then cat "$6" > "$tmp"; else cat > "$tmp"; fi || exit 1
chmod 0644 "$tmp" && mv -f "$tmp" "$dir/$PRINTER-$1.$ext" || exit 1
echo "INFO: stored $dir/$PRINTER-$1.$ext" >&2
exit 0
EOF
    chmod 0700 "$BASE/lib/backend/velcap"   # 0700 + owned by root => cupsd runs it as root

    # Local MIME rules needed for raw queues / "-o raw" (Debian keeps these in /etc/cups).
    printf 'application/octet-stream\n' > "$BASE/etc/raw.types"
    printf 'application/octet-stream\tapplication/vnd.cups-raw\t0\t-\n' > "$BASE/etc/raw.convs"

    cat > "$BASE/etc/cups-files.conf" <<EOF
ServerRoot $BASE/etc
ServerBin $BASE/lib
RequestRoot $BASE/spool
TempDir $BASE/spool/tmp
StateDir $BASE/run
CacheDir $BASE/cache
ServerKeychain $BASE/etc/ssl
CreateSelfSignedCerts no
AccessLog $BASE/log/access_log
ErrorLog $BASE/log/error_log
PageLog $BASE/log/page_log
LogFilePerm 0644
Printcap $BASE/run/printcap
FileDevice Yes
SystemGroup $(id -gn)
EOF

    cat > "$BASE/etc/cupsd.conf" <<EOF
LogLevel $LOGLEVEL
MaxLogSize 0
Listen $SOCK
$([ -n "$PORT" ] && echo "Listen 127.0.0.1:$PORT")
Browsing No
BrowseLocalProtocols none
DefaultShared No
WebInterface No
DefaultAuthType None
# a failing backend (e.g. missing /dev/lp0) aborts the job instead of
# stopping the queue or retrying forever
ErrorPolicy abort-job
JobRetryInterval 5
PreserveJobHistory Yes
<Location />
  Order allow,deny
  Allow localhost
</Location>
# test sandbox: every operation allowed for every local user, no auth
<Policy default>
  JobPrivateAccess default
  JobPrivateValues default
  SubscriptionPrivateAccess default
  SubscriptionPrivateValues default
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
EOF

    # Minimal PDF "driver": any input -> (texttopdf/...) -> pdftopdf -> PDF file.
    # Unlike cups-filters' Generic-PDF_Printer-PDF.ppd there is no PJL wrapper and
    # the default paper is A4.  A real filter (pdftopdf) is always in the chain,
    # which file: devices need: with zero filters cupsd writes nothing.
    cat > "$BASE/etc/vel-pdf.ppd" <<'EOF'
*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "VELPDF.PPD"
*Manufacturer: "Vel"
*Product: "(Vel PDF capture)"
*ModelName: "Vel PDF capture"
*ShortNickName: "Vel PDF capture"
*NickName: "Vel PDF capture"
*PSVersion: "(3010.000) 0"
*LanguageLevel: "3"
*ColorDevice: False
*DefaultColorSpace: Gray
*FileSystem: False
*Throughput: "1"
*LandscapeOrientation: Plus90
*TTRasterizer: Type42
*cupsVersion: 2.4
*cupsManualCopies: False
*cupsFilter2: "application/vnd.cups-pdf application/pdf 0 -"
*OpenUI *PageSize/Media Size: PickOne
*OrderDependency: 10 AnySetup *PageSize
*DefaultPageSize: A4
*PageSize A4/A4: "<</PageSize[595 842]/ImagingBBox null>>setpagedevice"
*PageSize Letter/US Letter: "<</PageSize[612 792]/ImagingBBox null>>setpagedevice"
*CloseUI: *PageSize
*OpenUI *PageRegion/Media Size: PickOne
*OrderDependency: 10 AnySetup *PageRegion
*DefaultPageRegion: A4
*PageRegion A4/A4: "<</PageSize[595 842]/ImagingBBox null>>setpagedevice"
*PageRegion Letter/US Letter: "<</PageSize[612 792]/ImagingBBox null>>setpagedevice"
*CloseUI: *PageRegion
*DefaultImageableArea: A4
*ImageableArea A4/A4: "18 18 577 824"
*ImageableArea Letter/US Letter: "18 18 594 774"
*DefaultPaperDimension: A4
*PaperDimension A4/A4: "595 842"
*PaperDimension Letter/US Letter: "612 792"
EOF
}

adm() {  # lpadmin, hiding only the expected "drivers/raw queues are deprecated" noise
    local err
    err=$(CUPS_SERVER=$SOCK lpadmin "$@" 2>&1) || { say "lpadmin $*: $err"; return 1; }
    err=$(printf '%s\n' "$err" | grep -v 'deprecated' || true)
    [ -z "$err" ] || say "lpadmin: $err"
}

create_queues() {
    adm -p VelCap  -E -v "velcap:$OUT/jobs" -P "$BASE/etc/vel-pdf.ppd" -D "Vel test PDF (one file per job)"
    adm -p VelRaw  -E -v "velcap:$OUT/raw" -m raw -D "Vel raw capture"
    adm -p VelLpt  -E -v "parallel:/dev/lp0" -m raw -D "Vel LPT port"
    adm -p VelCom  -E -v "serial:/dev/ttyVEL9?baud=9600" -m raw -D "Vel COM port"
    adm -d VelCap
}

warn_apparmor() {
    # Ubuntu/Debian hosts with AppArmor confine /usr/sbin/cupsd to /etc/cups,
    # /var/spool/cups, /usr/lib/cups/...; a backend under $BASE/lib is then denied.
    if [ "$(cat /sys/module/apparmor/parameters/enabled 2>/dev/null)" = Y ] &&
       [ -e /etc/apparmor.d/usr.sbin.cupsd ]; then
        say "WARNING: AppArmor is active; if jobs fail with 'Permission denied' run:"
        say "  sudo apparmor_parser -R /etc/apparmor.d/usr.sbin.cupsd   (or aa-complain cupsd)"
    fi
}

cmd_start() {
    local pid=""
    [ -f "$PIDFILE" ] && pid=$(cat "$PIDFILE" 2>/dev/null || true)
    if alive "$pid"; then
        if answering; then say "already running (pid $pid)"; cmd_env; return 0; fi
        say "stale cupsd $pid not answering; stopping it"; cmd_stop
    fi
    if [ "$(id -u)" = 0 ]; then install_if_missing; else
        command -v cupsd >/dev/null && [ -x /usr/lib/cups/filter/pdftopdf ] ||
            die "CUPS not installed; run once as root or apt-get install cups-daemon cups-client cups-filters"
    fi
    warn_apparmor
    if [ -n "$PORT" ] && ss -Hltn "sport = :$PORT" 2>/dev/null | grep -q .; then
        die "127.0.0.1:$PORT is in use; set CUPS_SANDBOX_PORT"
    fi
    write_config
    # (cupsd insists on absolute -c/-s paths)
    cupsd -t -c "$BASE/etc/cupsd.conf" -s "$BASE/etc/cups-files.conf" >/dev/null 2>&1 \
        || die "cupsd -t rejected the config"

    local t0; t0=$(now)
    # Without -f, cupsd forks and the parent returns once the child is listening.
    cupsd -c "$BASE/etc/cupsd.conf" -s "$BASE/etc/cups-files.conf" \
        || die "cupsd failed to start; see $BASE/log/error_log"
    local i
    for i in $(seq 1 200); do answering && break; sleep 0.05; done
    answering || die "cupsd not answering after 10 s; see $BASE/log/error_log"
    say "cupsd pid $(cat "$PIDFILE") answering after $(since "$t0") s"

    create_queues
    for i in $(seq 1 100); do
        CUPS_SERVER=$SOCK lpstat -p VelCap 2>/dev/null | grep -q 'is idle' && break
        sleep 0.05
    done
    CUPS_SERVER=$SOCK lpstat -p VelCap | grep -q 'is idle' || die "VelCap not idle"
    say "ready after $(since "$t0") s; queues:"
    CUPS_SERVER=$SOCK lpstat -v >&2
    cmd_env
}

cmd_stop() {
    local pid="" t0
    [ -f "$PIDFILE" ] && pid=$(cat "$PIDFILE" 2>/dev/null || true)
    if ! alive "$pid"; then say "not running"; return 0; fi
    t0=$(now)
    kill -TERM "$pid"
    local i
    for i in $(seq 1 200); do alive "$pid" || break; sleep 0.05; done
    if alive "$pid"; then say "cupsd $pid ignored SIGTERM; sending SIGKILL"; kill -KILL "$pid"; fi
    rm -f "$PIDFILE"
    say "stopped (pid $pid) in $(since "$t0") s"
}

case "${1:-}" in
    start) cmd_start ;;
    stop)  cmd_stop ;;
    env)   cmd_env ;;
    *) echo "usage: $0 start|stop|env" >&2; exit 2 ;;
esac
