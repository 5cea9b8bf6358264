#!/usr/bin/env bash
# The installed server, as a user gets it from `cmake --install`:
#   1. the layout, for the prefixes /usr, /usr/local and /opt/tavrix: exactly
#      the files the install rules promise, and a settings template and a
#      systemd unit that name the paths of that prefix;
#   2. the /usr install at work: the installed tavrix registers itself in a
#      copy of the installed settings template, runs the installed sample
#      project into an SQLite history database made from the installed schema
#      (as scripts/demo does), stops on SIGTERM with exit code 0, and the
#      database holds rows of both lines' counters.
# Usage: install_test.sh BUILD_DIR
set -euo pipefail

build=$1
root=$(mktemp -d "${TMPDIR:-/tmp}/tavrix-install.XXXXXX")
pid=
cleanup() {
  if [ -n "$pid" ]; then kill -KILL "$pid" 2>/dev/null || true; fi
  rm -rf "$root"
}
trap cleanup EXIT

fail() {
  echo "install_test: $*" >&2
  if [ -f "$root/run/tavrix.log" ]; then
    echo "--- the server's log" >&2
    cut -f2 "$root/run/tavrix.log" | tail -30 >&2
  fi
  exit 1
}

# --- 1. The layout --------------------------------------------------------------

# prefix | settings folder
layouts=(
  "/usr         /etc"
  "/usr/local   /usr/local/etc"
  "/opt/tavrix  /etc/opt/tavrix"
)

for layout in "${layouts[@]}"; do
  read -r prefix etc <<<"$layout"
  dest="$root/dest$(echo "$prefix" | tr / _)"
  DESTDIR="$dest" cmake --install "$build" --prefix "$prefix" >/dev/null ||
    fail "cmake --install --prefix $prefix failed"

  expected=$(printf '%s\n' \
    "$prefix/bin/tavrix" \
    "$prefix/bin/tavrix-vbs" \
    "$prefix/share/tavrix/project/sample_project.xml" \
    "$prefix/share/tavrix/history/history_sqlite.sql" \
    "$prefix/share/tavrix/history/history_postgresql.sql" \
    "$prefix/lib/systemd/system/tavrix.service" \
    "$etc/tavrix/tavrix.reg" | sort)
  actual=$(cd "$dest" && find . -type f | sed 's#^\.##' | sort)
  [ "$actual" = "$expected" ] ||
    fail "prefix $prefix: installed files differ:"$'\n'"$(diff <(echo "$expected") <(echo "$actual"))"
  for exe in tavrix tavrix-vbs; do
    [ -x "$dest$prefix/bin/$exe" ] || fail "prefix $prefix: bin/$exe is not executable"
  done
  plugins="$dest$prefix/lib/tavrix/plugins"
  [ -d "$plugins" ] && [ -z "$(ls -A "$plugins")" ] ||
    fail "prefix $prefix: lib/tavrix/plugins is not an empty folder"

  unit="$dest$prefix/lib/systemd/system/tavrix.service"
  grep -qx "ExecStart=$prefix/bin/tavrix" "$unit" ||
    fail "prefix $prefix: the unit does not start $prefix/bin/tavrix"
  if [ "$etc" = /etc ]; then
    ! grep -q '^Environment=' "$unit" || fail "prefix $prefix: the unit sets an environment"
  else
    grep -qx "Environment=TAVRIX_REGISTRY=$etc/tavrix/tavrix.reg" "$unit" ||
      fail "prefix $prefix: the unit does not name $etc/tavrix/tavrix.reg"
  fi
  grep -q "$prefix/share/tavrix/project/sample_project.xml" "$dest$etc/tavrix/tavrix.reg" ||
    fail "prefix $prefix: the settings template does not name the installed sample project"
  ! grep -q '@' "$dest$etc/tavrix/tavrix.reg" "$unit" ||
    fail "prefix $prefix: a template placeholder was left unreplaced"
done

# --- 2. The installed server at work ------------------------------------------

dest="$root/dest_usr"
tavrix="$dest/usr/bin/tavrix"
work="$root/run"
mkdir -p "$work/units"
export TAVRIX_UNIT_DIR="$work/units"

# The installed template as it is: it parses, registering keeps its lines,
# and "tavrix -Service" writes a unit of the installed unit's shape (the
# environment line aside: this settings file is not /etc/tavrix/tavrix.reg).
cp "$dest/etc/tavrix/tavrix.reg" "$work/template.reg"
TAVRIX_REGISTRY="$work/template.reg" "$tavrix" -Service ||
  fail "tavrix -Service refused the installed settings template"
shape() { grep -v -e '^#' -e '^Environment=' "$1" | sed "s#^ExecStart=$dest/#ExecStart=/#"; }
written=$(shape "$work/units/tavrix.service")
installed=$(shape "$dest/usr/lib/systemd/system/tavrix.service")
[ "$written" = "$installed" ] ||
  fail "the installed unit differs from the one tavrix -Service writes:"$'\n'"$(diff <(echo "$installed") <(echo "$written"))"
TAVRIX_REGISTRY="$work/template.reg" "$tavrix" -RegServer ||
  fail "tavrix -RegServer refused the installed settings template"
grep -qx '"DataPath"="/var/lib/tavrix/project.xml"' "$work/template.reg" &&
  grep -q '^; DataPath: ' "$work/template.reg" ||
  fail "registering lost lines of the settings template"

# The sample project keeps its databases in /var/lib/tavrix; this copy keeps
# them in the work folder.
sed "s#/var/lib/tavrix/#$work/#g" "$dest/usr/share/tavrix/project/sample_project.xml" \
  >"$work/project.xml"
sqlite3 "$work/history.db" <"$dest/usr/share/tavrix/history/history_sqlite.sql"

# The server's settings: the template with the project above, the log in a
# file and the normal priority.
export TAVRIX_REGISTRY="$work/tavrix.reg"
sed -e "s#^\"DataPath\"=.*#\"DataPath\"=\"$work/project.xml\"#" \
    -e 's#^"LogType"=.*#"LogType"=dword:00000004#' \
    -e "s#^;\"FileName\"=.*#\"FileName\"=\"$work/tavrix.log\"#" \
    -e 's#^;"ProcessPriorityEx"=.*#"ProcessPriorityEx"=dword:00000002#' \
    "$dest/etc/tavrix/tavrix.reg" >"$TAVRIX_REGISTRY"
for line in "\"DataPath\"=\"$work/project.xml\"" '"LogType"=dword:00000004' \
            "\"FileName\"=\"$work/tavrix.log\"" '"ProcessPriorityEx"=dword:00000002'; do
  grep -qxF "$line" "$TAVRIX_REGISTRY" || fail "the settings template has no line to make $line"
done

"$tavrix" -RegServer || fail "tavrix -RegServer failed"

# How many of the two lines' counters have rows in the history.
rows() {
  sqlite3 "$work/history.db" \
    "SELECT COUNT(DISTINCT controller_name) FROM TavrixHistory
      WHERE (controller_name = 'Line1' AND item_name = 'FillCount')
         OR (controller_name = 'Line2' AND item_name = 'Counter');"
}

"$tavrix" >"$work/stdout" 2>"$work/stderr" &
pid=$!
# A few seconds of collecting; longer only while the rows of a line are missing.
sleep 3
for _ in $(seq 1 100); do
  [ "$(rows)" = 2 ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.3
done
kill -TERM "$pid" 2>/dev/null || fail "the server ended before SIGTERM: $(cat "$work/stderr")"
code=0
for _ in $(seq 1 100); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.3
done
if kill -0 "$pid" 2>/dev/null; then fail "the server did not stop within 30 s of SIGTERM"; fi
wait "$pid" || code=$?
pid=
[ "$code" = 0 ] || fail "the server ended with exit code $code: $(cat "$work/stderr")"

[ -s "$work/tavrix.log" ] || fail "the server wrote no log to the FileName of the settings"
[ "$(rows)" = 2 ] || fail "the history database lacks rows of Line1.FillCount or Line2.Counter"
echo "install_test: the installed server collected" \
  "$(sqlite3 "$work/history.db" 'SELECT COUNT(*) FROM TavrixHistory;') history rows"
