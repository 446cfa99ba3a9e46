#!/usr/bin/env bash
# shellcheck disable=SC2317  # the browsers' builders and the traps are called indirectly
# Start-up time and memory of NUVE against a floor program (the least a
# gtkmm 4 window with one WebKitGTK 6.0 view does), the same floor with one
# Chinese label, surf, and, where installed, GNOME Web, Firefox ESR and
# Chromium, under a private headless X server. See README.md beside this file
# for what is measured and how to read the figures.
#
# Usage: bench/startup/run.sh [--nuve PATH] [--runs N] [--warmup N]
#                             [--timeout SECONDS] [--settle SECONDS]
#                             [--tabs N] [--wait-quiet SECONDS] [--allow-busy]
#                             [--save FILE] [--only NAMES] [--keep-work]
#                             [--no-netns]

set -u -o pipefail

SELF=$(readlink -f -- "${BASH_SOURCE[0]}")
HERE=$(dirname -- "$SELF")
REPO=$(cd -- "$HERE/../.." && pwd)
ORIG_ARGS=("$@")

NUVE_BIN="$REPO/build/src/ui/nuve"
RUNS=7
WARMUP=1
TIMEOUT=30
SETTLE=5
TABS=10
KEEP_WORK=0
USE_NETNS=1
WAIT_QUIET=60
ALLOW_BUSY=0
SAVE_FILE=""
ONLY=""
PAGE_TITLE="NUVE bench page"
SURF_BIN=/usr/bin/surf

# The machine counts as quiet when its 1-minute load average, read before the
# benchmark starts anything, is at most this many runnable tasks per CPU.
# Other programs' work inflates start-up times by more than the alternation
# can even out, so the ratios are withheld on a busy machine (--allow-busy
# prints them anyway, with a warning).
QUIET_LOAD_PER_CPU=0.25
BUSY_STATUS=4

usage() {
    cat <<EOF
Usage: $0 [options]

Times NUVE, the floor programs, surf and the installed peers (GNOME Web,
Firefox ESR, Chromium) from process start until the page title shows in the
window title, taking turns, and reads their memory (PSS) with 1 tab, and for
NUVE and surf with N tabs.

Options:
  --nuve PATH        NUVE binary (default: build/src/ui/nuve in the repository)
  --runs N           timed starts per browser (default: $RUNS)
  --warmup N         untimed starts per browser before the timed ones (default: $WARMUP)
  --timeout SECONDS  limit for one page to show its title (default: $TIMEOUT)
  --settle SECONDS   wait after the last page before reading memory (default: $SETTLE)
  --tabs N           tabs for the larger memory reading (default: $TABS)
  --wait-quiet SECONDS
                     wait up to this long for the load average to drop to
                     $QUIET_LOAD_PER_CPU per CPU before starting (default: $WAIT_QUIET)
  --allow-busy       print the ratios even when the machine was busy
  --save FILE        also write the output to FILE, once the run has printed its
                     figures (bench/summary reads BUILD/bench-results/startup.txt)
  --only NAMES       time only these browsers beside NUVE (comma-separated:
                     nuve_plain,floor,floor_zh,surf,epiphany,firefox,chromium)
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
        --runs|--warmup|--timeout|--settle|--tabs|--wait-quiet)
            (( $# >= 2 )) || die "$1 needs a number"
            is_uint "$2" || die "$1 needs a whole number, got '$2'"
            v=$((10#$2))
            case $1 in
                --runs) RUNS=$v ;; --warmup) WARMUP=$v ;; --timeout) TIMEOUT=$v ;;
                --settle) SETTLE=$v ;; --tabs) TABS=$v ;; --wait-quiet) WAIT_QUIET=$v ;;
            esac
            shift 2 ;;
        --save) (( $# >= 2 )) || die "--save needs a file"; SAVE_FILE=$2; shift 2
            [[ -n $SAVE_FILE ]] || die "--save needs a file" ;;
        --save=*) SAVE_FILE=${1#*=}; [[ -n $SAVE_FILE ]] || die "--save needs a file"; shift ;;
        --allow-busy) ALLOW_BUSY=1; shift ;;
        --only) (( $# >= 2 )) || die "--only needs names"; ONLY=$2; shift 2 ;;
        --only=*) ONLY=${1#*=}; shift ;;
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
    [g++]=g++ [pkg-config]=pkg-config
)
missing_pkgs=()
for cmd in surf Xvfb xauth xdotool dbus-daemon ps python3 g++ pkg-config; do
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
# The floor programs are compiled here, against the libraries NUVE builds on.
FLOOR_LIBS="gtkmm-4.0 webkitgtk-6.0"
# shellcheck disable=SC2086  # two package names
pkg-config --exists $FLOOR_LIBS \
    || die "pkg-config finds no $FLOOR_LIBS for the floor programs (install libgtkmm-4.0-dev libwebkitgtk-6.0-dev, or run scripts/setup.sh)"
if [[ -n $SAVE_FILE ]]; then
    SAVE_FILE=$(readlink -m -- "$SAVE_FILE")
    if ! mkdir -p -- "$(dirname -- "$SAVE_FILE")" 2>/dev/null \
        || [[ ! -w $(dirname -- "$SAVE_FILE") ]]; then
        die "cannot write to the folder of --save $SAVE_FILE"
    fi
fi
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

# ---------------------------------------------------------- saving ----

# With --save, standard output also goes to a temporary file beside FILE,
# which replaces FILE only once the run has printed its figures: a run that
# was stopped, failed early or withheld its ratios leaves the last saved
# output in place. tee starts before the run tag is set, so the clean-up
# leaves it alone; it ends when the script closes its standard output.
SAVE_TMP="" SAVE_PID="" SAVE_READY=0
if [[ -n $SAVE_FILE ]]; then
    SAVE_TMP="$SAVE_FILE.part$$"
    exec {SAVE_STDOUT}>&1
    exec > >(exec tee -i -- "$SAVE_TMP")
    SAVE_PID=$!
fi

finish_save() {
    [[ -n $SAVE_PID ]] || return 0
    exec >&"$SAVE_STDOUT" {SAVE_STDOUT}>&-
    wait "$SAVE_PID" 2>/dev/null
    SAVE_PID=""
    if (( SAVE_READY )) && mv -f -- "$SAVE_TMP" "$SAVE_FILE"; then
        echo "output saved to $SAVE_FILE" >&2
    else
        rm -f -- "$SAVE_TMP"
        echo "run.sh: output not saved: the run did not print its figures; $SAVE_FILE is left as it was" >&2
    fi
}

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
        # shellcheck disable=SC2086  # one pid a word
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
    # (a bare "exec ... 2>/dev/null" would silence the rest of the script)
    { exec {TICK_FD}>&-; } 2>/dev/null
    if (( KEEP_WORK )); then
        echo "work folder kept: $WORK" >&2
    else
        rm -rf -- "$WORK"
    fi
    return 0
}
trap 'cleanup; finish_save' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# ------------------------------------------------------ quiet machine ----

# The load is read before this script starts anything of its own; the load
# at the end includes the browsers' own work and is only shown.
NCPU=$(nproc 2>/dev/null || echo 1)
QUIET_LIMIT=$(calc "printf \"%.2f\", $QUIET_LOAD_PER_CPU * $NCPU")
load1() { local l _; read -r l _ </proc/loadavg; echo "$l"; }
is_quiet_load() { calc "exit !($1 <= $QUIET_LIMIT)"; }
LOAD_START=$(load1)
if ! is_quiet_load "$LOAD_START" && (( WAIT_QUIET > 0 )); then
    echo "run.sh: load average $LOAD_START is above $QUIET_LIMIT ($QUIET_LOAD_PER_CPU x $NCPU CPUs);" \
         "waiting up to $WAIT_QUIET s for it to drop ..." >&2
    wait_t0="" wait_now=""
    stamp wait_t0
    while ! is_quiet_load "$LOAD_START"; do
        stamp wait_now
        (( wait_now - wait_t0 >= WAIT_QUIET * 1000000 )) && break
        nap 5
        LOAD_START=$(load1)
    done
fi
QUIET=0
is_quiet_load "$LOAD_START" && QUIET=1

# ---------------------------------------------------- floor programs ----

# One program, two variants: "floor" and "floor --zh" (one Chinese label).
mkdir -p "$WORK/bin" || die "mkdir failed"
FLOOR_BIN="$WORK/bin/floor"
# shellcheck disable=SC2086,SC2046  # pkg-config's flags are separate words
if ! timeout 300 g++ -O2 -std=c++20 "$HERE/floor.cpp" -o "$FLOOR_BIN" \
        $(pkg-config --cflags --libs $FLOOR_LIBS) >"$WORK/floor-build.log" 2>&1; then
    sed -n '1,30p' "$WORK/floor-build.log" >&2
    die "could not compile the floor program $HERE/floor.cpp (g++ -O2 \$(pkg-config --cflags --libs $FLOOR_LIBS)); its errors are above"
fi

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

# The browsers under test, in the order they take turns. Columns:
#   name      key of the figures (startup_ratio_vs_NAME, ...)
#   label     how the output names it
#   programs  peers only: commands to look for, first found wins; "-" for the
#             programs this benchmark always has (NUVE, the floor)
#   package   the Debian package that provides a peer
#   command   builder of the command line (fills CMD)
#   env       builder of the environment (fills ENV)
#   prepare   run once before the first start, "-" for none
#   tabs      how to open tabs 2..N for the larger memory reading: "ctrl_t"
#             (new tabs in the one window), "processes" (one process per
#             page), "-" (1 tab only)
BROWSER_TABLE='
nuve      nuve      -                          -                 cmd_nuve      env_nuve   -             ctrl_t
nuve_plain nuve-plain -                        -                 cmd_nuve      env_nuve   prep_nuve_plain -
floor     floor     -                          -                 cmd_floor     env_gtk4   -             -
floor_zh  floor-zh  -                          -                 cmd_floor_zh  env_gtk4   -             -
surf      surf      -                          surf              cmd_surf      env_plain  -             processes
epiphany  epiphany  epiphany,epiphany-browser  epiphany-browser  cmd_epiphany  env_plain  -             -
firefox   firefox   firefox-esr                firefox-esr       cmd_firefox   env_plain  prep_firefox  -
chromium  chromium  chromium,chromium-browser  chromium          cmd_chromium  env_plain  -             -
'
BROWSERS=()     # every browser of the table, in order
RUNNING=()      # those that take part (the others are skipped)
declare -A LABEL=() PROGRAMS_OF=() PACKAGE_OF=() CMD_OF=() ENV_OF=() PREP_OF=() TABS_OF=()
declare -A BIN=() SKIP=()
while read -r name label programs package cmd env prep tabs; do
    [[ -n $name ]] || continue
    BROWSERS+=("$name")
    LABEL[$name]=$label PROGRAMS_OF[$name]=$programs PACKAGE_OF[$name]=$package
    CMD_OF[$name]=$cmd ENV_OF[$name]=$env PREP_OF[$name]=$prep TABS_OF[$name]=$tabs
done <<<"$BROWSER_TABLE"

if [[ -n $ONLY ]]; then
    IFS=, read -r -a only <<<"$ONLY"
    for b in "${only[@]}"; do
        [[ -n ${LABEL[$b]:-} ]] || die "--only: no browser '$b' (known: ${BROWSERS[*]})"
    done
fi
BIN[surf]=$SURF_BIN
for b in "${BROWSERS[@]}"; do
    if [[ -n $ONLY && $b != nuve && ,$ONLY, != *",$b,"* ]]; then
        SKIP[$b]="not selected with --only"
        continue
    fi
    if [[ ${PROGRAMS_OF[$b]} != - ]]; then
        IFS=, read -r -a candidates <<<"${PROGRAMS_OF[$b]}"
        for c in "${candidates[@]}"; do
            BIN[$b]=$(command -v "$c" 2>/dev/null) && break
            BIN[$b]=""
        done
        if [[ -z ${BIN[$b]} ]]; then
            SKIP[$b]="not installed: ${PACKAGE_OF[$b]}"
            continue
        fi
    fi
    RUNNING+=("$b")
done

# Each browser keeps one profile (home, XDG folders and, where it takes one,
# a profile folder) for all its starts, as a user's would be.
for b in "${RUNNING[@]}"; do
    mkdir -p "$WORK/$b/home" "$WORK/$b/config" "$WORK/$b/data" "$WORK/$b/cache" \
        "$WORK/$b/profile" || die "mkdir failed"
done
mkdir -p "$WORK/nuve/nuve-home" "$WORK/logs" || die "mkdir failed"

# Command builders: CMD becomes the command line that opens the page.
cmd_nuve()     { CMD=("$NUVE_BIN" "$PAGE_URL"); }
cmd_floor()    { CMD=("$FLOOR_BIN" "$PAGE_URL"); }
cmd_floor_zh() { CMD=("$FLOOR_BIN" --zh "$PAGE_URL"); }
cmd_surf()     { CMD=("${BIN[surf]}" "$PAGE_URL"); }
cmd_epiphany() { CMD=("${BIN[epiphany]}" "--profile=$WORK/epiphany/profile" "$PAGE_URL"); }
cmd_firefox()  { CMD=("${BIN[firefox]}" --no-remote --profile "$WORK/firefox/profile" "$PAGE_URL"); }
cmd_chromium() {
    # Without --password-store=basic, Chromium asks the session bus for a
    # secret store; the bus starts gnome-keyring, whose prompt to create a
    # keyring then waits on the display, and the page never loads.
    CMD=("${BIN[chromium]}" "--user-data-dir=$WORK/chromium/profile"
         --no-first-run --no-default-browser-check --password-store=basic)
    # Chromium refuses to run as root with its sandbox on.
    (( EUID == 0 )) && CMD+=(--no-sandbox)
    CMD+=("$PAGE_URL")
}

# Environment builders: ENV becomes the NAME=VALUE entries the browser gets
# on top of the caller's environment (GSK_RENDERER is removed first).
env_plain() {
    ENV=("HOME=$WORK/$1/home" "XDG_CONFIG_HOME=$WORK/$1/config"
         "XDG_DATA_HOME=$WORK/$1/data" "XDG_CACHE_HOME=$WORK/$1/cache" "GDK_BACKEND=x11")
}
# GTK 4 would otherwise render with GL in software under Xvfb; surf and the
# other peers (GTK 3) draw with cairo, so NUVE and the floor do too.
env_gtk4() { env_plain "$1"; ENV+=("GSK_RENDERER=cairo"); }
env_nuve() {
    env_gtk4 "$1"
    ENV+=("NUVE_HOME=$WORK/$1/nuve-home"
          "NUVE_VERSION_SOURCE=http://127.0.0.1:$CLOSED_PORT"
          "NUVE_SERVICE_HOST=127.0.0.1:$CLOSED_PORT"
          "NUVE_DOWNLOAD_PAGE=http://127.0.0.1:$CLOSED_PORT/"
          "NUVE_PORTAL_A=127.0.0.1:$PORT/"
          "NUVE_PORTAL_B=127.0.0.1:$PORT/"
          "NUVE_SEARCH_ENGINE=127.0.0.1:$CLOSED_PORT")
}

# nuve-plain: NUVE with content blocking turned off in its own profile's
# settings, to tell what blocking costs from what the rest of NUVE does.
prep_nuve_plain() {
    mkdir -p "$WORK/$1/nuve-home" && printf '[广告拦截]\n开启 = 0\n' >"$WORK/$1/nuve-home/Adblock.ini"
}

# Firefox: no first-run, welcome or what's-new pages, no default-browser
# question, and no session restore after the benchmark killed it, so that
# every start opens just the page. Nothing may reach out either (the network
# namespace would refuse it anyway, but waiting on it would cost time).
prep_firefox() {
    cat >"$WORK/firefox/profile/user.js" <<'PREFS'
user_pref("browser.shell.checkDefaultBrowser", false);
user_pref("browser.startup.homepage_override.mstone", "ignore");
user_pref("startup.homepage_welcome_url", "");
user_pref("startup.homepage_welcome_url.additional", "");
user_pref("startup.homepage_override_url", "");
user_pref("browser.aboutwelcome.enabled", false);
user_pref("browser.startup.firstrunSkipsHomepage", true);
user_pref("trailhead.firstrun.didSeeAboutWelcome", true);
user_pref("browser.sessionstore.resume_from_crash", false);
user_pref("toolkit.startup.max_resumed_crashes", -1);
user_pref("browser.tabs.warnOnClose", false);
user_pref("datareporting.policy.dataSubmissionEnabled", false);
user_pref("datareporting.healthreport.uploadEnabled", false);
user_pref("toolkit.telemetry.reportingpolicy.firstRun", false);
user_pref("app.update.enabled", false);
user_pref("app.normandy.enabled", false);
user_pref("extensions.update.enabled", false);
user_pref("network.captive-portal-service.enabled", false);
user_pref("network.connectivity-service.enabled", false);
user_pref("browser.safebrowsing.update.enabled", false);
user_pref("browser.newtabpage.activity-stream.feeds.system.topstories", false);
user_pref("browser.ping-centre.telemetry", false);
PREFS
}

for b in "${RUNNING[@]}"; do
    if [[ ${PREP_OF[$b]} != - ]]; then
        "${PREP_OF[$b]}" "$b" || die "could not prepare $b's profile"
    fi
done

# settle_nuve BROWSER: one untimed start of NUVE (nuve or nuve_plain) that
# runs until its content filters are compiled into its profile, as they are
# after a user's first start (NUVE keeps them ready while blocking is off,
# too). A start that is ended as soon as the page shows would otherwise never
# finish compiling Debian's filter lists, and every start would compile them
# again beside the page it is timed for.
settle_nuve() {
    local b=$1 index="$WORK/$1/nuve-home/cache/content-filters/index.ini" t0 rc seen="" now="" still=0 i
    stamp t0
    launch "$b" "settle-$b"
    wait_title "$LAUNCH_PID" "$LAUNCH_TAG" $(( t0 + TIMEOUT * 1000000 )); rc=$?
    if (( rc == 0 )); then
        # Each list's entry is written once it is compiled: settled once the
        # index exists and has not changed for 10 s (at most 180 s).
        for (( i = 0; i < 360 && still < 20; i++ )); do
            now=$(stat -c %s:%Y "$index" 2>/dev/null || echo "")
            if [[ -n $now && $now == "$seen" ]]; then still=$((still + 1)); else still=0; fi
            seen=$now
            nap 0.5
        done
        echo "  ${LABEL[$b]}: content filters compiled into its profile before the first start" \
             "($(grep -c '^\[' "$index" 2>/dev/null || echo 0) lists)"
    else
        warn "${LABEL[$b]}: the settling start failed: $(describe_failure "$rc")"
    fi
    end_all_browsers
}

# launch BROWSER LOGNAME: starts one browser on the page; sets LAUNCH_PID,
# LAUNCH_TAG and LAUNCH_T0 (the time just before the process was forked).
launch() {
    local b=$1 log="$WORK/logs/$2.log" kv
    local -a CMD ENV
    "${CMD_OF[$b]}"
    "${ENV_OF[$b]}" "$b"
    LAUNCH_SEQ=$((LAUNCH_SEQ + 1))
    LAUNCH_TAG="$RUN_TAG-$LAUNCH_SEQ"
    stamp LAUNCH_T0
    (
        exec {TICK_FD}>&- {WCMD}>&- {WREP}>&-
        unset GSK_RENDERER
        # shellcheck disable=SC2163  # each entry is NAME=VALUE
        for kv in "${ENV[@]}"; do export "$kv"; done
        export NUVE_BENCH_LAUNCH="$LAUNCH_TAG"
        exec "${CMD[@]}"
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

# wait_title PID TAG DEADLINE_US: waits until a window of PID (or of another
# process with the launch tag TAG) shows the page title. Returns 0 (FOUND_US
# and FOUND_WID set), 1 on time-out, 2 when the browser exited first.
wait_title() {
    local pid=$1 tag=$2 deadline=$3 reply="" word wid t
    FOUND_US="" FOUND_WID="" FOUND_TITLE=""
    echo "watch $pid $deadline $tag" >&"$WCMD"
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

log_hint() {
    (( KEEP_WORK )) && echo "$WORK/logs/$1.log" || echo "keep it with --keep-work"
}

# time_start BROWSER LABEL: one timed start; prints the result, sets LAST_US
# (empty when the start failed) and keeps the first window title seen.
declare -A TITLE=()
time_start() {
    local b=$1 label=$2 t0 rc
    launch "$b" "$label-$b"
    t0=${LAUNCH_T0:?}
    wait_title "$LAUNCH_PID" "$LAUNCH_TAG" $(( t0 + TIMEOUT * 1000000 )); rc=$?
    if (( rc == 0 )); then
        LAST_US=$(( FOUND_US - t0 ))
        printf '  %-8s %-8s %8s s\n' "$label" "${LABEL[$b]}" "$(fmt_s "$LAST_US")"
        [[ -n ${TITLE[$b]:-} ]] || TITLE[$b]=$FOUND_TITLE
    else
        LAST_US=""
        printf '  %-8s %-8s %s (log: %s)\n' "$label" "${LABEL[$b]}" "$(describe_failure "$rc")" \
            "$(log_hint "$label-$b")"
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

# pss_report ROOT... [tag:TAG...]: PSS of the roots, of the processes with
# the launch tags, and of all their descendants. Sets PSS_KB and PSS_DETAIL
# (per program: count and MiB).
pss_report() {
    local pids p k v comm arg total=0 n=0 unread=0 roots=() tags=()
    declare -A sum=() cnt=()
    for arg in "$@"; do
        case $arg in tag:*) tags+=("${arg#tag:}") ;; *) roots+=("$arg") ;; esac
    done
    for arg in "${tags[@]}"; do
        for p in $(tagged_pids "NUVE_BENCH_LAUNCH=$arg"); do roots+=("$p"); done
    done
    pids=$(tree_pids "${roots[@]}" | sort -un)
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
    # program names may hold spaces (Firefox's "Web Content")
    while IFS= read -r comm; do
        [[ -n $comm ]] || continue
        PSS_DETAIL+=" $comm x${cnt[$comm]} $(calc "printf \"%.1f\", ${sum[$comm]} / 1024"),"
    done < <(for k in "${!sum[@]}"; do printf '%s\t%s\n' "${sum[$k]}" "$k"; done | sort -rn | cut -f2-)
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
# Ours are those with the run tag and the browsers' descendants (Chromium's
# zygote starts its children with an environment of its own).
outside_sharers() {
    local f p n=0 comm
    local -A ours=() names=()
    for p in $(tagged_pids "NUVE_BENCH_TAG=$RUN_TAG") $(tree_pids "${LIVE_ROOTS[@]}"); do ours[$p]=1; done
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

# memory_session BROWSER: one session; reads PSS with 1 tab, then, for the
# browsers whose table entry says how to open more, with TABS tabs. Sets
# MEM1[b] and MEMN[b] (kB, empty on failure), prints details.
declare -A MEM1=() MEMN=()
memory_session() {
    local b=$1 t0 rc hits0 k attempt ok roots=() tags=() mode=${TABS_OF[$1]} name=${LABEL[$1]}
    MEM1[$b]="" MEMN[$b]=""
    hits0=$(page_hits)
    stamp t0
    launch "$b" "memory-$b-1"
    roots+=("$LAUNCH_PID") tags+=("tag:$LAUNCH_TAG")
    local tag1=$LAUNCH_TAG
    wait_title "$LAUNCH_PID" "$LAUNCH_TAG" $(( t0 + TIMEOUT * 1000000 )); rc=$?
    if (( rc != 0 )); then
        echo "  $name: $(describe_failure "$rc") (log: $(log_hint "memory-$b-1"))"
        end_all_browsers; return 1
    fi
    local wid=$FOUND_WID
    nap "$SETTLE"
    pss_report "${roots[@]}" "${tags[@]}" || warn "$name: $PSS_DETAIL"
    MEM1[$b]=$PSS_KB
    printf '  %-8s %3d tab%s %8s MiB  (%s)\n' "$name" 1 " " "$(mib "${MEM1[$b]}")" "$PSS_DETAIL"
    note_sharers
    if [[ $mode == - ]] || (( TABS < 2 )); then
        end_all_browsers
        return 0
    fi

    if [[ $mode == ctrl_t ]]; then
        click_into "$wid" || warn "could not find the $name window to click into"
        nap 0.3
    fi
    for (( k = 2; k <= TABS; k++ )); do
        stamp t0
        case $mode in
            ctrl_t)
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
                    echo "  $name: FAILED: tab $k did not load the page after Ctrl+T (is NUVE_PORTAL_A honoured?)"
                    end_all_browsers; return 1
                fi
                stamp t0
                wait_title "${roots[0]}" "$tag1" $(( t0 + TIMEOUT * 1000000 )); rc=$? ;;
            processes)
                launch "$b" "memory-$b-$k"
                roots+=("$LAUNCH_PID") tags+=("tag:$LAUNCH_TAG")
                wait_title "$LAUNCH_PID" "$LAUNCH_TAG" $(( t0 + TIMEOUT * 1000000 )); rc=$? ;;
            *) die "unknown way to open tabs for $b: $mode" ;;
        esac
        if (( rc != 0 )); then
            echo "  $name: tab $k: $(describe_failure "$rc")"
            end_all_browsers; return 1
        fi
    done
    nap "$SETTLE"
    local served=$(( $(page_hits) - hits0 ))
    pss_report "${roots[@]}" "${tags[@]}" || warn "$name: $PSS_DETAIL"
    MEMN[$b]=$PSS_KB
    printf '  %-8s %3d tabs %8s MiB  (%s)\n' "$name" "$TABS" "$(mib "${MEMN[$b]}")" "$PSS_DETAIL"
    note_sharers
    if (( served != TABS )); then
        warn "$name: the server sent the page $served times for $TABS tabs"
    fi
    end_all_browsers
    return 0
}

# ---------------------------------------------------------------- main ----

pkg_version() { dpkg-query -W -f '${Version}' "$1" 2>/dev/null || echo "?"; }
wk41_version=$(pkg_version libwebkit2gtk-4.1-0)
wk60_version=$(pkg_version libwebkitgtk-6.0-4)
# what each browser is, for the header
declare -A ABOUT=(
    [nuve]="$NUVE_BIN  (gtkmm 4, WebKitGTK 6.0 $wk60_version)"
    [nuve_plain]="the same NUVE with content blocking turned off (广告拦截, 开启 = 0)"
    [floor]="$HERE/floor.cpp  (gtkmm 4, one window, one WebKitGTK 6.0 view)"
    [floor_zh]="the floor with one Chinese label above the view (floor --zh)"
    [surf]="surf $(pkg_version surf)  (${BIN[surf]}, GTK 3, webkit2gtk-4.1 $wk41_version)"
    [epiphany]="GNOME Web $(pkg_version epiphany-browser)  (${BIN[epiphany]:-}, --profile in the work folder)"
    [firefox]="Firefox ESR $(pkg_version firefox-esr)  (${BIN[firefox]:-}, --no-remote --profile in the work folder)"
    [chromium]="Chromium $(pkg_version chromium)  (${BIN[chromium]:-}, --user-data-dir in the work folder$( (( EUID == 0 )) && echo ", --no-sandbox as root"))"
)

echo "NUVE start-up benchmark"
for b in "${BROWSERS[@]}"; do
    if [[ -n ${SKIP[$b]:-} ]]; then
        printf '  %-9s skipped (%s)\n' "${LABEL[$b]}:" "${SKIP[$b]}"
    else
        printf '  %-9s %s\n' "${LABEL[$b]}:" "${ABOUT[$b]}"
    fi
done
echo "  renderer: nuve, floor and floor-zh run with GSK_RENDERER=cairo: the peers are GTK 3 or"
echo "            their own toolkit; under Xvfb GTK 4's default GL renderer would run in"
echo "            software and cost ~50 MiB more"
echo "  page:     $PAGE_URL  title \"$PAGE_TITLE\""
echo "  display:  private Xvfb $DISPLAY 1280x1024x24, no window manager; private D-Bus session bus"
echo "  network:  $NETNOTE"
if (( QUIET )); then
    echo "  machine:  $NCPU CPUs, load average $LOAD_START at start: quiet (at most $QUIET_LIMIT = $QUIET_LOAD_PER_CPU x $NCPU CPUs)"
else
    echo "  machine:  $NCPU CPUs, load average $LOAD_START at start: BUSY (above $QUIET_LIMIT = $QUIET_LOAD_PER_CPU x $NCPU CPUs)"
fi
echo

echo "Start-up: process start until a window title shows \"$PAGE_TITLE\""
echo "  ($RUNS timed starts each, taking turns; $WARMUP untimed warm-up start(s) each first; limit $TIMEOUT s)"
declare -A TIMES=() FAILS=() MED=()
for b in "${RUNNING[@]}"; do TIMES[$b]="" FAILS[$b]=0; done
for b in nuve nuve_plain; do
    [[ -z ${SKIP[$b]:-} ]] && settle_nuve "$b"
done
for (( i = 1; i <= WARMUP; i++ )); do
    for b in "${RUNNING[@]}"; do time_start "$b" "warmup$i" || true; done
done
for (( i = 1; i <= RUNS; i++ )); do
    for b in "${RUNNING[@]}"; do
        if time_start "$b" "run$i"; then
            TIMES[$b]+=" $LAST_US"
        else
            FAILS[$b]=$(( FAILS[$b] + 1 ))
        fi
    done
done
for b in "${RUNNING[@]}"; do
    [[ -n ${TITLE[$b]:-} ]] && printf '  %s window title: "%s"\n' "${LABEL[$b]}" "${TITLE[$b]}"
done
echo
for b in "${RUNNING[@]}"; do
    # shellcheck disable=SC2086  # the times are separate words
    MED[$b]=$(median_us ${TIMES[$b]}) || MED[$b]=""
    if [[ -n ${MED[$b]} ]]; then
        printf '  median %-8s %8s s  (%d of %d runs succeeded)\n' "${LABEL[$b]}" \
            "$(fmt_s "${MED[$b]}")" $(( RUNS - FAILS[$b] )) "$RUNS"
    else
        printf '  median %-8s      n/a  (no run succeeded)\n' "${LABEL[$b]}"
    fi
done
echo

echo "Memory: PSS summed over the browser's processes and all their descendants"
echo "  (web and network processes, sandbox helpers), read $SETTLE s after the last page showed its title;"
echo "  every browser with 1 tab; nuve and surf also with $TABS: nuve opens tabs 2..$TABS with Ctrl+T"
echo "  on the local page, surf runs one process per page"
SHARED_NOTE=0
for b in "${RUNNING[@]}"; do memory_session "$b" || true; done
echo

cleanup
LOAD_END=$(load1)

fig_s() { [[ -n $1 ]] && echo "$(fmt_s "$1") s" || echo "n/a"; }
fig_m() { [[ -n $1 ]] && echo "$(mib "$1") MiB" || echo "n/a"; }
echo "Summary (nuve, floor and floor-zh with GSK_RENDERER=cairo)"
printf '  %-10s %14s %14s %14s\n' "" "start-up" "PSS, 1 tab" "PSS, $TABS tabs"
for b in "${BROWSERS[@]}"; do
    if [[ -n ${SKIP[$b]:-} ]]; then
        printf '  %-10s skipped (%s)\n' "${LABEL[$b]}" "${SKIP[$b]}"
        continue
    fi
    more=""
    [[ ${TABS_OF[$b]} != - ]] && more=$(fig_m "${MEMN[$b]}")
    printf '  %-10s %14s %14s %14s\n' "${LABEL[$b]}" "$(fig_s "${MED[$b]}")" "$(fig_m "${MEM1[$b]}")" "$more"
done
echo "  load average $LOAD_START at start, $LOAD_END at end (the end includes the browsers' own work)"

(( SHARED_NOTE )) && echo "Note: other programs shared the engine's libraries while memory was read (see above)."
status=0
failed_runs=()
for b in "${RUNNING[@]}"; do
    (( FAILS[$b] > 0 )) && failed_runs+=("${FAILS[$b]} ${LABEL[$b]}")
done
if (( ${#failed_runs[@]} > 0 )); then
    echo "Note: timed starts failed: $(printf '%s, ' "${failed_runs[@]}" | sed 's/, $//'); medians use the others."
    status=3
fi

# ratio NUVE_FIGURE BROWSER FIGURE: NUVE's figure over the browser's, "nan"
# when either is missing, "skipped (...)" for a browser that did not run.
MISSING=0
ratio() {
    if [[ -n ${SKIP[$2]:-} ]]; then
        echo "skipped (${SKIP[$2]})"
    elif [[ -n $1 && -n $3 ]] && (( $3 > 0 )); then
        calc "printf \"%.3f\", $1 / $3"
    else
        echo nan
    fi
}
lines=()
for b in "${BROWSERS[@]}"; do
    [[ $b == nuve ]] && continue
    lines+=("startup_ratio_vs_$b: $(ratio "${MED[nuve]}" "$b" "${MED[$b]:-}")")
done
for b in "${BROWSERS[@]}"; do
    [[ $b == nuve ]] && continue
    lines+=("memory_ratio_vs_${b}_1_tab: $(ratio "${MEM1[nuve]}" "$b" "${MEM1[$b]:-}")")
done
for b in "${BROWSERS[@]}"; do
    [[ $b == nuve || ${TABS_OF[$b]} == - ]] && continue
    lines+=("memory_ratio_vs_${b}_${TABS}_tabs: $(ratio "${MEMN[nuve]}" "$b" "${MEMN[$b]:-}")")
done
# What NUVE adds over the floors without the cost of content blocking.
for b in floor floor_zh; do
    [[ -n ${SKIP[nuve_plain]:-} ]] && continue
    lines+=("startup_ratio_plain_vs_$b: $(ratio "${MED[nuve_plain]:-}" "$b" "${MED[$b]:-}")")
    lines+=("memory_ratio_plain_vs_${b}_1_tab: $(ratio "${MEM1[nuve_plain]:-}" "$b" "${MEM1[$b]:-}")")
done
for l in "${lines[@]}"; do [[ $l == *": nan" ]] && MISSING=1; done
if (( MISSING )); then
    echo "Note: a figure is missing; its ratio is given as nan."
    status=1
fi

if (( !QUIET && !ALLOW_BUSY )); then
    echo "Ratios withheld: the machine was busy before the benchmark started (load average $LOAD_START" \
         "above $QUIET_LIMIT = $QUIET_LOAD_PER_CPU x $NCPU CPUs, after waiting up to $WAIT_QUIET s);" \
         "other programs' work inflates the times. Run again on a quiet machine, or give --allow-busy."
    exit "$BUSY_STATUS"
fi
if (( !QUIET )); then
    echo "Warning: the machine was busy before the benchmark started (load average $LOAD_START above"
    echo "         $QUIET_LIMIT = $QUIET_LOAD_PER_CPU x $NCPU CPUs); times are inflated and noisy. The browsers"
    echo "         take turns, so the start-up ratios suffer less than the absolute times."
fi
printf '%s\n' "${lines[@]}"
SAVE_READY=1
exit "$status"
