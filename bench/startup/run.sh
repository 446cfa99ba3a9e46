#!/usr/bin/env bash
# Start-up time and memory of NUVE against surf, a GTK 3 browser on the same
# web engine, under a private headless X server. See README.md beside this
# file for what is measured and how to read the figures.
#
# Usage: bench/startup/run.sh [--nuve PATH] [--runs N] [--warmup N]
#                             [--timeout SECONDS] [--settle SECONDS]
#                             [--tabs N] [--keep-work] [--no-netns]

set -u -o pipefail

SELF=$(readlink -f -- "${BASH_SOURCE[0]}")
HERE=$(dirname -- "$SELF")
REPO=$(cd -- "$HERE/../.." && pwd)
ORIG_ARGS=("$@")

NUVE_BIN="$REPO/build/src/ui/nuve"
RUNS=5
WARMUP=1
TIMEOUT=30
SETTLE=5
TABS=10
KEEP_WORK=0
USE_NETNS=1
PAGE_TITLE="NUVE bench page"
SURF_BIN=/usr/bin/surf

usage() {
    cat <<EOF
Usage: $0 [options]

Times NUVE and surf from process start until the page title shows in the
window title, alternately, and reads their memory (PSS) with 1 and N tabs.

Options:
  --nuve PATH        NUVE binary (default: build/src/ui/nuve in the repository)
  --runs N           timed starts per browser (default: $RUNS)
  --warmup N         untimed starts per browser before the timed ones (default: $WARMUP)
  --timeout SECONDS  limit for one page to show its title (default: $TIMEOUT)
  --settle SECONDS   wait after the last page before reading memory (default: $SETTLE)
  --tabs N           tabs for the larger memory reading (default: $TABS)
  --keep-work        keep the work folder (logs, profiles) and print its path
  --no-netns         do not run inside a private network namespace
  -h, --help         this text
EOF
}

die() { echo "run.sh: $*" >&2; exit 2; }
warn() { echo "run.sh: warning: $*" >&2; }

is_uint() { [[ $1 =~ ^[0-9]{1,6}$ ]]; }

while (( $# > 0 )); do
    case $1 in
        --nuve) (( $# >= 2 )) || die "--nuve needs a path"; NUVE_BIN=$2; shift 2 ;;
        --nuve=*) NUVE_BIN=${1#*=}; shift ;;
        --runs|--warmup|--timeout|--settle|--tabs)
            (( $# >= 2 )) || die "$1 needs a number"
            is_uint "$2" || die "$1 needs a whole number, got '$2'"
            v=$((10#$2))
            case $1 in
                --runs) RUNS=$v ;; --warmup) WARMUP=$v ;; --timeout) TIMEOUT=$v ;;
                --settle) SETTLE=$v ;; --tabs) TABS=$v ;;
            esac
            shift 2 ;;
        --keep-work) KEEP_WORK=1; shift ;;
        --no-netns) USE_NETNS=0; shift ;;
        -h|--help) usage; exit 0 ;;
        *) usage >&2; die "unknown argument '$1'" ;;
    esac
done
(( RUNS >= 1 )) || die "--runs must be at least 1"
(( TIMEOUT >= 1 )) || die "--timeout must be at least 1"
(( TABS >= 1 )) || die "--tabs must be at least 1"

NUVE_BIN=$(readlink -f -- "$NUVE_BIN" 2>/dev/null || echo "$NUVE_BIN")
[[ -f $NUVE_BIN && -x $NUVE_BIN ]] || die "NUVE binary not found or not executable: $NUVE_BIN
  build it with: cmake -S $REPO -B $REPO/build && cmake --build $REPO/build --target nuve
  or pass another one with --nuve PATH"

# ---------------------------------------------------------------- tools ----

# command -> Debian package that provides it
declare -A PKG_OF=(
    [surf]=surf [Xvfb]=xvfb [xauth]=xauth [xdotool]=xdotool
    [dbus-daemon]=dbus [ps]=procps [python3]=python3
)
missing_pkgs=()
for cmd in surf Xvfb xauth xdotool dbus-daemon ps python3; do
    if [[ $cmd == surf ]]; then
        [[ -x $SURF_BIN ]] && continue
    elif command -v "$cmd" >/dev/null 2>&1; then
        continue
    fi
    missing_pkgs+=("${PKG_OF[$cmd]}")
done
if (( ${#missing_pkgs[@]} > 0 )); then
    (( EUID == 0 )) || die "missing packages: ${missing_pkgs[*]} (install them as root: apt-get install ${missing_pkgs[*]})"
    echo "Installing ${missing_pkgs[*]} ..." >&2
    export DEBIAN_FRONTEND=noninteractive
    if ! apt-get install -y --no-install-recommends "${missing_pkgs[@]}" >&2; then
        apt-get update >&2 || die "apt-get update failed"
        apt-get install -y --no-install-recommends "${missing_pkgs[@]}" >&2 \
            || die "could not install ${missing_pkgs[*]}"
    fi
fi
[[ -x $SURF_BIN ]] || SURF_BIN=$(command -v surf) || die "surf is not installed"
# The page server needs nothing beyond the standard library; prefer the
# system interpreter over wrappers that start slowly.
PYTHON=/usr/bin/python3
[[ -x $PYTHON ]] || PYTHON=$(command -v python3)

# -------------------------------------------------- private network ----

# Everything runs in a network namespace of its own that has only a loopback
# interface, so neither browser can reach any address but 127.0.0.1 whatever
# it tries. Where namespaces are unavailable the benchmark still keeps every
# address it gives the browsers on 127.0.0.1.
NETNOTE="host network (no private namespace); every address given to the browsers is on 127.0.0.1"
if [[ ${NUVE_BENCH_IN_NETNS:-} == 1 ]]; then
    unset NUVE_BENCH_IN_NETNS
    ip link set lo up || die "could not bring up loopback in the private network namespace"
    NETNOTE="private network namespace with loopback only"
elif (( USE_NETNS )); then
    if command -v unshare >/dev/null 2>&1 && command -v ip >/dev/null 2>&1 \
        && unshare --net true 2>/dev/null; then
        NUVE_BENCH_IN_NETNS=1 exec unshare --net -- "$BASH" "$SELF" "${ORIG_ARGS[@]}"
    fi
    warn "no private network namespace available (needs root and unshare/ip); continuing without"
fi

# Proxy settings from the caller's environment would send the loopback page
# through a proxy; the browsers must fetch it directly.
unset http_proxy https_proxy ftp_proxy all_proxy no_proxy \
      HTTP_PROXY HTTPS_PROXY FTP_PROXY ALL_PROXY NO_PROXY WAYLAND_DISPLAY

# ---------------------------------------------------------------- state ----

WORK=$(mktemp -d "${TMPDIR:-/tmp}/nuve-startup-bench.XXXXXX") || die "mktemp failed"
RUN_TAG="nuvebench$$x$RANDOM$RANDOM"
SERVER_PID="" XVFB_PID="" DBUS_PID="" WATCH_PID="" WCMD="" WREP=""
LAUNCH_SEQ=0
LIVE_ROOTS=()      # browser processes started and not yet cleaned up
LIVE_TAGS=()       # their launch tags (inherited by all their descendants)
CLEANED=0

# Sleeping without starting a process for every poll: a read with a time-out
# on a FIFO that nobody writes to.
mkfifo "$WORK/tick" || die "mkfifo failed"
exec {TICK_FD}<>"$WORK/tick"
nap() { read -r -t "$1" -u "$TICK_FD" _ || true; }

# stamp VAR: microseconds since the epoch into VAR, without starting a process
stamp() { local _st=$EPOCHREALTIME; printf -v "$1" '%s' "${_st//[!0-9]/}"; }
calc() { LC_ALL=C awk "BEGIN { $1 }"; }
fmt_s() { calc "printf \"%.3f\", $1 / 1000000"; }

# Live means: the process exists and is not a zombie.
alive() {
    local line state
    [[ -n ${1:-} ]] || return 1
    read -r line 2>/dev/null <"/proc/$1/stat" || return 1
    state=${line##*) }; state=${state%% *}
    [[ $state != Z && $state != X ]]
}

# The given processes and all their descendants (zombies left out).
tree_pids() {
    (( $# > 0 )) || return 0
    ps -e -o pid=,ppid=,stat= | LC_ALL=C awk -v roots="$*" '
        { kids[$2] = kids[$2] " " $1; st[$1] = $3 }
        END {
            n = split(roots, q, " "); head = 1
            while (head <= n) {
                p = q[head++]
                if (p in seen) continue
                seen[p] = 1
                if ((p in st) && st[p] !~ /^Z/) print p
                m = split(kids[p], c, " ")
                for (i = 1; i <= m; i++) q[++n] = c[i]
            }
        }'
}

# Processes whose environment carries "NAME=VALUE" (zombies left out).
tagged_pids() {
    local needle=$1 f p
    # one grep over all environments finds the candidates quickly
    while IFS= read -r f; do
        p=${f#/proc/}; p=${p%/environ}
        [[ $p == "$$" || $p == "$BASHPID" ]] && continue
        # the match must be a whole entry, not part of a longer one
        tr '\0' '\n' 2>/dev/null <"$f" | grep -qxF -- "$needle" || continue
        alive "$p" && echo "$p"
    done < <(grep -laF -- "$needle" /proc/[0-9]*/environ 2>/dev/null)
}

# Stop every process of the given browser roots and launch tags, then kill
# them. Stopping first keeps a process from starting new children between the
# snapshot and the kill; the launch tag finds anything that left the tree.
kill_browsers() {
    local roots=() tags=() arg pids stopped round
    for arg in "$@"; do
        case $arg in tag:*) tags+=("${arg#tag:}") ;; *) roots+=("$arg") ;; esac
    done
    for (( round = 0; round < 50; round++ )); do
        pids=$( { tree_pids "${roots[@]}"
                  for arg in "${tags[@]}"; do tagged_pids "NUVE_BENCH_LAUNCH=$arg"; done
                } | sort -u)
        [[ -z $pids ]] && break
        # shellcheck disable=SC2086
        kill -STOP $pids 2>/dev/null
        stopped=$( { tree_pids $pids; } | sort -u)
        # shellcheck disable=SC2086
        kill -KILL $pids $stopped 2>/dev/null
        nap 0.1
    done
    for arg in "${roots[@]}"; do wait "$arg" 2>/dev/null; done
    if [[ -n $pids ]]; then
        warn "could not end processes: $pids"
        return 1
    fi
    return 0
}

forget_browsers() { LIVE_ROOTS=(); LIVE_TAGS=(); }

cleanup() {
    (( CLEANED )) && return 0
    CLEANED=1
    local t tagargs=()
    for t in "${LIVE_TAGS[@]}"; do tagargs+=("tag:$t"); done
    kill_browsers "${LIVE_ROOTS[@]}" "${tagargs[@]}" >/dev/null
    forget_browsers
    if [[ -n $WATCH_PID ]]; then
        { echo quit >&"$WCMD"; } 2>/dev/null
        exec {WCMD}>&- {WREP}>&-
    fi
    [[ -n $SERVER_PID ]] && kill -TERM "$SERVER_PID" 2>/dev/null
    [[ -n $DBUS_PID ]] && kill -TERM "$DBUS_PID" 2>/dev/null
    local p i
    for (( i = 0; i < 30; i++ )); do
        alive "$SERVER_PID" || alive "$DBUS_PID" || alive "$WATCH_PID" || break
        nap 0.1
    done
    # Whatever the session bus started on our behalf (accessibility bus and
    # registry) carries the run tag in its environment.
    for p in $(tagged_pids "NUVE_BENCH_TAG=$RUN_TAG"); do
        [[ $p == "$XVFB_PID" ]] && continue
        kill -KILL "$p" 2>/dev/null
    done
    [[ -n $SERVER_PID ]] && { kill -KILL "$SERVER_PID" 2>/dev/null; wait "$SERVER_PID" 2>/dev/null; }
    [[ -n $DBUS_PID ]] && { kill -KILL "$DBUS_PID" 2>/dev/null; wait "$DBUS_PID" 2>/dev/null; }
    [[ -n $WATCH_PID ]] && { kill -KILL "$WATCH_PID" 2>/dev/null; wait "$WATCH_PID" 2>/dev/null; }
    if [[ -n $XVFB_PID ]]; then
        kill -TERM "$XVFB_PID" 2>/dev/null
        for (( i = 0; i < 30; i++ )); do alive "$XVFB_PID" || break; nap 0.1; done
        kill -KILL "$XVFB_PID" 2>/dev/null
        wait "$XVFB_PID" 2>/dev/null
    fi
    local left
    left=$(tagged_pids "NUVE_BENCH_TAG=$RUN_TAG")
    [[ -n $left ]] && warn "processes left over: $left"
    exec {TICK_FD}>&- 2>/dev/null
    if (( KEEP_WORK )); then
        echo "work folder kept: $WORK" >&2
    else
        rm -rf -- "$WORK"
    fi
    return 0
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# -------------------------------------------------------- page server ----

# Every helper and browser started from here carries the run tag, so that the
# clean-up finds them even if they left their parent's process tree.
export NUVE_BENCH_TAG=$RUN_TAG

"$PYTHON" "$HERE/serve.py" --title "$PAGE_TITLE" --ready "$WORK/server.ready" \
    --log "$WORK/requests.log" --parent $$ >"$WORK/server.log" 2>&1 {TICK_FD}>&- &
SERVER_PID=$!
for (( i = 0; i < 100; i++ )); do
    [[ -s $WORK/server.ready ]] && break
    alive "$SERVER_PID" || break
    nap 0.1
done
[[ -s $WORK/server.ready ]] || die "page server did not start: $(cat "$WORK/server.log")"
read -r PORT CLOSED_PORT <"$WORK/server.ready"
[[ $PORT =~ ^[0-9]+$ && $CLOSED_PORT =~ ^[0-9]+$ ]] || die "page server gave bad ports"
PAGE_URL="http://127.0.0.1:$PORT/"
: >>"$WORK/requests.log"

page_hits() { grep -c '^GET / 200$' "$WORK/requests.log"; }

# ------------------------------------------------------ X and D-Bus ----

XAUTH_FILE="$WORK/Xauthority"
COOKIE=$(od -An -tx1 -N16 /dev/urandom | tr -d ' \n')
[[ ${#COOKIE} == 32 ]] || die "could not make an X cookie"
# The server loads every cookie in its file; the display number is only
# known once it runs, and gets its own entry then.
: >"$XAUTH_FILE" || die "cannot write $XAUTH_FILE"
xauth -q -f "$XAUTH_FILE" add ":0" . "$COOKIE" || die "xauth failed"
exec {XFD}>"$WORK/xvfb.display"
Xvfb -displayfd "$XFD" -auth "$XAUTH_FILE" -nolisten tcp -noreset \
    -screen 0 1280x1024x24 >"$WORK/xvfb.log" 2>&1 {TICK_FD}>&- &
XVFB_PID=$!
exec {XFD}>&-
XNUM=""
for (( i = 0; i < 100; i++ )); do
    read -r XNUM <"$WORK/xvfb.display" 2>/dev/null && [[ $XNUM =~ ^[0-9]+$ ]] && break
    XNUM=""
    alive "$XVFB_PID" || break
    nap 0.1
done
[[ -n $XNUM ]] || die "Xvfb did not start: $(tail -5 "$WORK/xvfb.log")"
xauth -q -f "$XAUTH_FILE" add ":$XNUM" . "$COOKIE" || die "xauth failed"
export DISPLAY=":$XNUM" XAUTHORITY="$XAUTH_FILE"
xdotool getdisplaygeometry >/dev/null 2>&1 || die "cannot talk to Xvfb on $DISPLAY"

mkdir -m 700 "$WORK/runtime" || die "mkdir failed"
export XDG_RUNTIME_DIR="$WORK/runtime"
dbus-daemon --session --nofork --address="unix:path=$WORK/bus" --print-address=1 \
    >"$WORK/dbus.address" 2>"$WORK/dbus.log" {TICK_FD}>&- &
DBUS_PID=$!
for (( i = 0; i < 100; i++ )); do
    [[ -s $WORK/dbus.address ]] && break
    alive "$DBUS_PID" || break
    nap 0.1
done
[[ -s $WORK/dbus.address ]] || die "dbus-daemon did not start: $(cat "$WORK/dbus.log")"
DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$WORK/dbus.address")
export DBUS_SESSION_BUS_ADDRESS

# The title watcher stays connected to the X server and reports title changes
# as X events arrive; see titlewatch.py.
mkfifo "$WORK/watch.in" "$WORK/watch.out" || die "mkfifo failed"
"$PYTHON" "$HERE/titlewatch.py" --title "$PAGE_TITLE" <"$WORK/watch.in" >"$WORK/watch.out" \
    2>"$WORK/watch.log" {TICK_FD}>&- &
WATCH_PID=$!
exec {WCMD}<>"$WORK/watch.in" {WREP}<>"$WORK/watch.out"
reply=""
read -r -t 15 -u "$WREP" reply || true
[[ $reply == ready ]] || die "title watcher did not start: $(cat "$WORK/watch.log")"

# ------------------------------------------------------------ browsers ----

# Each browser keeps one profile (home and XDG folders) for all its starts, as
# a user's would be; NUVE_HOME is a fresh folder of its own.
for b in nuve surf; do
    mkdir -p "$WORK/$b/home" "$WORK/$b/config" "$WORK/$b/data" "$WORK/$b/cache" \
        || die "mkdir failed"
done
mkdir -p "$WORK/nuve/nuve-home" "$WORK/logs" || die "mkdir failed"

browser_env() {
    local b=$1
    echo "HOME=$WORK/$b/home"
    echo "XDG_CONFIG_HOME=$WORK/$b/config"
    echo "XDG_DATA_HOME=$WORK/$b/data"
    echo "XDG_CACHE_HOME=$WORK/$b/cache"
    echo "GDK_BACKEND=x11"
    if [[ $b == nuve ]]; then
        # GTK 4 would otherwise render with GL in software under Xvfb; surf
        # (GTK 3) draws with cairo, so NUVE does too.
        echo "GSK_RENDERER=cairo"
        echo "NUVE_HOME=$WORK/nuve/nuve-home"
        echo "NUVE_VERSION_SOURCE=http://127.0.0.1:$CLOSED_PORT"
        echo "NUVE_SERVICE_HOST=127.0.0.1:$CLOSED_PORT"
        echo "NUVE_DOWNLOAD_PAGE=http://127.0.0.1:$CLOSED_PORT/"
        echo "NUVE_PORTAL_A=127.0.0.1:$PORT/"
        echo "NUVE_PORTAL_B=127.0.0.1:$PORT/"
        echo "NUVE_SEARCH_ENGINE=127.0.0.1:$CLOSED_PORT"
    fi
}

# launch BROWSER LOGNAME: starts one browser on the page; sets LAUNCH_PID,
# LAUNCH_TAG and LAUNCH_T0 (the time just before the process was forked).
launch() {
    local b=$1 log="$WORK/logs/$2.log" bin kv
    local -a envs
    mapfile -t envs < <(browser_env "$b")
    LAUNCH_SEQ=$((LAUNCH_SEQ + 1))
    LAUNCH_TAG="$RUN_TAG-$LAUNCH_SEQ"
    [[ $b == nuve ]] && bin=$NUVE_BIN || bin=$SURF_BIN
    stamp LAUNCH_T0
    (
        exec {TICK_FD}>&- {WCMD}>&- {WREP}>&-
        # shellcheck disable=SC2163  # each entry is NAME=VALUE
        for kv in "${envs[@]}"; do export "$kv"; done
        [[ $b == nuve ]] || unset GSK_RENDERER
        export NUVE_BENCH_LAUNCH="$LAUNCH_TAG"
        exec "$bin" "$PAGE_URL"
    ) >>"$log" 2>&1 </dev/null &
    LAUNCH_PID=$!
    # the shell need not report the job; kill_browsers ends it and waits
    disown "$LAUNCH_PID" 2>/dev/null
    LIVE_ROOTS+=("$LAUNCH_PID")
    LIVE_TAGS+=("$LAUNCH_TAG")
}

end_all_browsers() {
    local t tagargs=()
    for t in "${LIVE_TAGS[@]}"; do tagargs+=("tag:$t"); done
    kill_browsers "${LIVE_ROOTS[@]}" "${tagargs[@]}" || die "could not end the browser's processes"
    forget_browsers
    # let the X server and the bus notice the departed clients
    nap 0.3
}

# wait_title PID DEADLINE_US: waits until a window of PID shows the page
# title. Returns 0 (FOUND_US and FOUND_WID set), 1 on time-out, 2 when the
# browser exited first.
wait_title() {
    local pid=$1 deadline=$2 reply="" word wid t
    FOUND_US="" FOUND_WID="" FOUND_TITLE=""
    echo "watch $pid $deadline" >&"$WCMD"
    if ! read -r -t $(( TIMEOUT + 15 )) -u "$WREP" reply; then
        alive "$XVFB_PID" || die "Xvfb died"
        die "the title watcher stopped answering: $(tail -3 "$WORK/watch.log")"
    fi
    read -r word wid t FOUND_TITLE <<<"$reply"
    case $word in
        found)
            [[ $wid =~ ^0x[0-9a-f]+$ && $t =~ ^[0-9]+$ ]] || die "title watcher said '$reply'"
            FOUND_WID=$(( wid )) FOUND_US=$t
            return 0 ;;
        timeout) return 1 ;;
        exited) return 2 ;;
        *) die "title watcher said '$reply'" ;;
    esac
}

describe_failure() {
    case $1 in
        1) echo "FAILED: no window showed \"$PAGE_TITLE\" within $TIMEOUT s" ;;
        2) echo "FAILED: the browser exited before showing the page" ;;
        *) echo "FAILED" ;;
    esac
}

# time_start BROWSER LABEL: one timed start; prints the result, appends the
# time in microseconds to TIMES_<browser> when it succeeded.
time_start() {
    local b=$1 label=$2 t0 rc
    launch "$b" "$label-$b"
    t0=$LAUNCH_T0
    wait_title "$LAUNCH_PID" $(( t0 + TIMEOUT * 1000000 )); rc=$?
    if (( rc == 0 )); then
        LAST_US=$(( FOUND_US - t0 ))
        printf '  %-8s %-5s %8s s\n' "$label" "$b" "$(fmt_s "$LAST_US")"
        declare -n seen=TITLE_$b
        [[ -n $seen ]] || seen=$FOUND_TITLE
        unset -n seen
    else
        LAST_US=""
        printf '  %-8s %-5s %s (log: %s)\n' "$label" "$b" "$(describe_failure "$rc")" \
            "$( (( KEEP_WORK )) && echo "$WORK/logs/$label-$b.log" || echo "keep it with --keep-work")"
    fi
    end_all_browsers
    [[ -n $LAST_US ]]
}

median_us() {
    (( $# > 0 )) || return 1
    printf '%s\n' "$@" | sort -n | LC_ALL=C awk '
        { v[NR] = $1 }
        END { if (NR % 2) printf "%d", v[(NR + 1) / 2]; else printf "%d", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# pss_report ROOT...: PSS of the roots and all their descendants. Sets PSS_KB
# and PSS_DETAIL (per program: count and MiB).
pss_report() {
    local pids p k v comm total=0 n=0 unread=0
    declare -A sum=() cnt=()
    pids=$(tree_pids "$@")
    for p in $pids; do
        local pss=""
        if [[ -r /proc/$p/smaps_rollup ]]; then
            while read -r k v _; do
                [[ $k == Pss: ]] && { pss=$v; break; }
            done <"/proc/$p/smaps_rollup" 2>/dev/null
        fi
        if [[ -z $pss ]]; then
            alive "$p" && unread=$((unread + 1))
            continue
        fi
        read -r comm <"/proc/$p/comm" 2>/dev/null || comm="?"
        sum[$comm]=$(( ${sum[$comm]:-0} + pss ))
        cnt[$comm]=$(( ${cnt[$comm]:-0} + 1 ))
        total=$((total + pss)); n=$((n + 1))
    done
    PSS_KB=$total
    PSS_DETAIL="$n processes:"
    for comm in $(for k in "${!sum[@]}"; do echo "${sum[$k]} $k"; done | sort -rn | awk '{print $2}'); do
        PSS_DETAIL+=" $comm x${cnt[$comm]} $(calc "printf \"%.1f\", ${sum[$comm]} / 1024"),"
    done
    PSS_DETAIL=${PSS_DETAIL%,}
    (( unread > 0 )) && PSS_DETAIL+=" (PSS of $unread live processes could not be read)"
    (( unread == 0 ))
}

# Libraries of the web engine that are large and shared: WebKit itself,
# JavaScriptCore, ICU's data and LLVM (Mesa's software renderer).
ENGINE_LIBS='/lib(webkit2?gtk|javascriptcoregtk)-[0-9.]+\.so|/libicudata\.so|/libLLVM'

# outside_sharers: the live processes not started by this benchmark that map
# the engine's libraries, as "count name, name x2, ...". PSS splits a shared
# page among all processes that map it, so such processes lower the figures.
outside_sharers() {
    local f p n=0 comm
    local -A ours=() names=()
    for p in $(tagged_pids "NUVE_BENCH_TAG=$RUN_TAG"); do ours[$p]=1; done
    while IFS= read -r f; do
        p=${f#/proc/}; p=${p%/maps}
        [[ -n ${ours[$p]:-} || $p == "$$" ]] && continue
        alive "$p" || continue
        read -r comm 2>/dev/null <"/proc/$p/comm" || comm="?"
        names[$comm]=$(( ${names[$comm]:-0} + 1 ))
        n=$((n + 1))
    done < <(grep -lE -- "$ENGINE_LIBS" /proc/[0-9]*/maps 2>/dev/null)
    (( n > 0 )) || return 0
    local list=""
    for comm in "${!names[@]}"; do
        list+=", $comm"
        (( names[$comm] > 1 )) && list+=" x${names[$comm]}"
    done
    echo "$n ${list#, }"
}

note_sharers() {
    local n list
    read -r n list <<<"$(outside_sharers)"
    if [[ -n $n ]] && (( n > 0 )); then
        echo "        note: $n processes outside this benchmark ($list) map the engine's"
        echo "        libraries (WebKit, JavaScriptCore, ICU, LLVM); PSS splits those pages with"
        echo "        them, so this may read lower than on a quiet machine"
        SHARED_NOTE=1
    fi
}

mib() { calc "printf \"%.1f\", $1 / 1024"; }

# wait_hits N DEADLINE_US: until the server has served the page N times.
wait_hits() {
    local now
    while (( $(page_hits) < $1 )); do
        stamp now
        (( now >= $2 )) && return 1
        alive "$XVFB_PID" || die "Xvfb died"
        nap 0.05
    done
}

# click_into WINDOW: a click in the lower middle of the window (the page), so
# that the window has the keyboard focus; there is no window manager to give it.
click_into() {
    local X Y WIDTH HEIGHT
    eval "$(xdotool getwindowgeometry --shell "$1" 2>/dev/null | grep -E '^(X|Y|WIDTH|HEIGHT)=[0-9-]+$')"
    [[ -n ${WIDTH:-} && -n ${HEIGHT:-} ]] || return 1
    xdotool mousemove $(( ${X:-0} + WIDTH / 2 )) $(( ${Y:-0} + HEIGHT * 3 / 4 )) click 1 2>/dev/null
}

# memory BROWSER: one session; reads PSS with 1 tab, then with TABS tabs.
# Sets MEM1_<b>, MEMN_<b> (kB, empty on failure), prints details.
memory_session() {
    local b=$1 t0 rc hits0 k attempt ok roots=()
    local -n mem1=MEM1_$b memn=MEMN_$b
    mem1="" memn=""
    hits0=$(page_hits)
    stamp t0
    launch "$b" "memory-$b-1"
    roots+=("$LAUNCH_PID")
    wait_title "$LAUNCH_PID" $(( t0 + TIMEOUT * 1000000 )); rc=$?
    if (( rc != 0 )); then
        echo "  $b: $(describe_failure "$rc")"
        end_all_browsers; return 1
    fi
    local wid=$FOUND_WID
    nap "$SETTLE"
    pss_report "${roots[@]}" || warn "$b: $PSS_DETAIL"
    mem1=$PSS_KB
    printf '  %-5s %3d tab%s %8s MiB  (%s)\n' "$b" 1 " " "$(mib "$mem1")" "$PSS_DETAIL"
    note_sharers

    if [[ $b == nuve ]]; then
        click_into "$wid" || warn "could not find the NUVE window to click into"
        nap 0.3
    fi
    for (( k = 2; k <= TABS; k++ )); do
        stamp t0
        if [[ $b == nuve ]]; then
            # Ctrl+T opens a tab on the preset portal, which is the local page
            ok=0
            for (( attempt = 1; attempt <= 2 && !ok; attempt++ )); do
                xdotool key --clearmodifiers ctrl+t 2>/dev/null
                stamp t0
                if wait_hits $(( hits0 + k )) $(( t0 + TIMEOUT * 1000000 )); then
                    ok=1
                else
                    click_into "$wid"; nap 0.3
                fi
            done
            if (( !ok )); then
                echo "  $b: FAILED: tab $k did not load the page after Ctrl+T (is NUVE_PORTAL_A honoured?)"
                end_all_browsers; return 1
            fi
            stamp t0
            wait_title "${roots[0]}" $(( t0 + TIMEOUT * 1000000 )); rc=$?
        else
            launch "$b" "memory-$b-$k"
            roots+=("$LAUNCH_PID")
            wait_title "$LAUNCH_PID" $(( t0 + TIMEOUT * 1000000 )); rc=$?
        fi
        if (( rc != 0 )); then
            echo "  $b: tab $k: $(describe_failure "$rc")"
            end_all_browsers; return 1
        fi
    done
    nap "$SETTLE"
    local served=$(( $(page_hits) - hits0 ))
    pss_report "${roots[@]}" || warn "$b: $PSS_DETAIL"
    memn=$PSS_KB
    printf '  %-5s %3d tabs %8s MiB  (%s)\n' "$b" "$TABS" "$(mib "$memn")" "$PSS_DETAIL"
    note_sharers
    if (( served != TABS )); then
        warn "$b: the server sent the page $served times for $TABS tabs"
    fi
    end_all_browsers
    return 0
}

# ---------------------------------------------------------------- main ----

surf_version=$(dpkg-query -W -f '${Version}' surf 2>/dev/null || echo "?")
wk41_version=$(dpkg-query -W -f '${Version}' libwebkit2gtk-4.1-0 2>/dev/null || echo "?")
wk60_version=$(dpkg-query -W -f '${Version}' libwebkitgtk-6.0-4 2>/dev/null || echo "?")

echo "NUVE start-up benchmark"
echo "  nuve:    $NUVE_BIN  (WebKitGTK 6.0 $wk60_version)"
echo "           runs with GSK_RENDERER=cairo: surf is GTK 3 and draws with cairo; under Xvfb"
echo "           GTK 4's default GL renderer would run in software and cost ~50 MiB more"
echo "  peer:    surf $surf_version  ($SURF_BIN, GTK 3, webkit2gtk-4.1 $wk41_version)"
echo "  page:    $PAGE_URL  title \"$PAGE_TITLE\""
echo "  display: private Xvfb $DISPLAY 1280x1024x24, no window manager; private D-Bus session bus"
echo "  network: $NETNOTE"
read -r LOAD_START _ </proc/loadavg
NCPU=$(nproc 2>/dev/null || echo 1)
echo "  machine: $NCPU CPUs, load average $LOAD_START at start"
echo

echo "Start-up: process start until a window title shows \"$PAGE_TITLE\""
echo "  ($RUNS timed starts each, alternating; $WARMUP untimed warm-up start(s) each first; limit $TIMEOUT s)"
# shellcheck disable=SC2034  # filled through namerefs
TIMES_nuve=() TIMES_surf=() TITLE_nuve="" TITLE_surf=""
FAILS_nuve=0 FAILS_surf=0
for (( i = 1; i <= WARMUP; i++ )); do
    for b in nuve surf; do time_start "$b" "warmup$i" || true; done
done
for (( i = 1; i <= RUNS; i++ )); do
    for b in nuve surf; do
        if time_start "$b" "run$i"; then
            declare -n times=TIMES_$b; times+=("$LAST_US"); unset -n times
        else
            declare -n fails=FAILS_$b; fails=$((fails + 1)); unset -n fails
        fi
    done
done
for b in nuve surf; do
    declare -n seen=TITLE_$b
    [[ -n $seen ]] && printf '  %s window title: "%s"\n' "$b" "$seen"
    unset -n seen
done
MED_nuve=$(median_us "${TIMES_nuve[@]}") || MED_nuve=""
MED_surf=$(median_us "${TIMES_surf[@]}") || MED_surf=""
echo
for b in nuve surf; do
    # shellcheck disable=SC2178
    declare -n med=MED_$b times=TIMES_$b
    if [[ -n $med ]]; then
        printf '  median %-5s %8s s  (%d of %d runs succeeded)\n' "$b" "$(fmt_s "$med")" "${#times[@]}" "$RUNS"
    else
        printf '  median %-5s      n/a  (no run succeeded)\n' "$b"
    fi
    unset -n med times
done
echo

echo "Memory: PSS summed over the browser's processes and all their descendants"
echo "  (web and network processes, sandbox helpers), read $SETTLE s after the last page showed its title;"
echo "  nuve opens tabs 2..$TABS with Ctrl+T on the local page, surf runs one process per page"
MEM1_nuve="" MEMN_nuve="" MEM1_surf="" MEMN_surf="" SHARED_NOTE=0
memory_session nuve || true
memory_session surf || true
echo

cleanup

fig_s() { [[ -n $1 ]] && echo "$(fmt_s "$1") s" || echo "n/a"; }
fig_m() { [[ -n $1 ]] && echo "$(mib "$1") MiB" || echo "n/a"; }
echo "Summary (nuve with GSK_RENDERER=cairo)"
printf '  %-22s %14s %14s\n' "" nuve surf
printf '  %-22s %14s %14s\n' "median start-up" "$(fig_s "$MED_nuve")" "$(fig_s "$MED_surf")"
printf '  %-22s %14s %14s\n' "PSS, 1 tab" "$(fig_m "$MEM1_nuve")" "$(fig_m "$MEM1_surf")"
printf '  %-22s %14s %14s\n' "PSS, $TABS tabs" "$(fig_m "$MEMN_nuve")" "$(fig_m "$MEMN_surf")"

# The load at the start is other programs' (nothing of ours was busy yet);
# later readings would include the browsers themselves.
if calc "exit !($LOAD_START > $NCPU / 2)"; then
    echo "Note: the machine was busy before the benchmark started (load average $LOAD_START, $NCPU CPUs);"
    echo "      times are inflated and noisy; the two browsers alternate, so the ratio is less affected."
fi
(( SHARED_NOTE )) && echo "Note: other programs shared the engine's libraries while memory was read (see above)."
status=0
if [[ -n $MED_nuve && -n $MED_surf ]]; then
    startup_ratio=$(calc "printf \"%.3f\", $MED_nuve / $MED_surf")
else
    startup_ratio=nan; status=1
fi
if [[ -n $MEMN_nuve && -n $MEMN_surf && $MEMN_surf -gt 0 ]]; then
    memory_ratio=$(calc "printf \"%.3f\", $MEMN_nuve / $MEMN_surf")
else
    memory_ratio=nan; status=1
fi
if (( FAILS_nuve + FAILS_surf > 0 )); then
    echo "Note: $FAILS_nuve nuve and $FAILS_surf surf timed starts failed; medians use the others."
    (( status == 0 )) && status=3
fi
(( status == 1 )) && echo "Note: a figure is missing; its ratio is given as nan."
echo "startup_ratio_vs_peer: $startup_ratio"
echo "memory_ratio_vs_peer_${TABS}_tabs: $memory_ratio"
exit "$status"
