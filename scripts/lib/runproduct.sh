# shellcheck shell=bash
# Helpers of scripts/run-product.sh: params.ini values, a free web port, and the user-level
# service manager that the stand-in service may be registered with for a run.

# rp_ini_get FILE SECTION KEY: the value, trimmed; empty when absent.
rp_ini_get() {
  awk -v section="[$2]" -v key="$3" '
    { sub(/\r$/, "") }
    /^[ \t]*\[/ { current = $0; gsub(/[ \t]/, "", current); next }
    current == section && index($0, "=") {
      k = substr($0, 1, index($0, "=") - 1); gsub(/^[ \t]+|[ \t]+$/, "", k)
      if (k == key) { v = substr($0, index($0, "=") + 1); gsub(/^[ \t]+|[ \t]+$/, "", v); print v; exit }
    }' "$1"
}

# rp_ini_set FILE SECTION KEY VALUE: replaces the key in its section, or adds it (and the
# section) when missing.
rp_ini_set() {
  local file=$1 tmp="$1.tmp"
  awk -v section="[$2]" -v key="$3" -v value="$4" '
    function add() { if (!done) { print key "=" value; done = 1 } }
    /^[ \t]*\[/ {
      if (inside) add()
      name = $0; gsub(/[ \t\r]/, "", name); inside = (name == section)
      print; next
    }
    inside && index($0, "=") {
      k = substr($0, 1, index($0, "=") - 1); gsub(/^[ \t]+|[ \t]+$/, "", k)
      if (k == key) { add(); next }
    }
    { print }
    END {
      if (inside) add()
      if (!done) print "\n" section "\n" key "=" value
    }' "$file" >"$tmp" && mv "$tmp" "$file"
}

# rp_free_port PORT: PORT, or the first port above it, on which nothing listens on 127.0.0.1.
rp_free_port() {
  local port=$1
  while (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; do
    port=$((port + 1))
  done
  echo "$port"
}

rp_user_manager_usable() {
  command -v systemd-run >/dev/null 2>&1 && systemctl --user show-environment >/dev/null 2>&1
}

# One line: why no user-level service manager can be used here.
rp_no_manager_reason() {
  if ! command -v systemctl >/dev/null 2>&1; then
    echo "there is no systemctl here"
  elif ! command -v systemd-run >/dev/null 2>&1; then
    echo "there is no systemd-run here"
  else
    echo "no user-level service manager is usable here (systemctl --user:" \
      "$(systemctl --user show-environment 2>&1 | head -n1))"
  fi
}

# rp_start_unit UNIT LOG PROGRAM ARGUMENTS...: runs the stand-in service as a transient unit of
# the user's service manager, its output appended to LOG, and waits up to 10 s for its "ready"
# line. The unit gets this run's runtime and pipe directories, so the tray finds its pipe.
rp_start_unit() {
  local unit=$1 log=$2 before
  shift 2
  before=$(xd_ready_count "$log")
  local setenv=(--setenv=XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-}")
  [ -z "${ORLUNE_PIPE_DIR:-}" ] || setenv+=(--setenv=ORLUNE_PIPE_DIR="$ORLUNE_PIPE_DIR")
  systemd-run --user --quiet --collect --unit="$unit" "${setenv[@]}" \
    -p StandardOutput="append:$log" -p StandardError="append:$log" "$@" || return 1
  xd_wait 10 xd_ready_beyond "$log" "$before"
}

rp_remove_unit() {
  systemctl --user stop "$1.service" >/dev/null 2>&1 || true
  systemctl --user reset-failed "$1.service" >/dev/null 2>&1 || true
}

# rp_user_systemctl_shim DIR: DIR/systemctl asks the user's service manager.
rp_user_systemctl_shim() {
  mkdir -p "$1"
  printf '#!/bin/sh\nexec %s --user "$@"\n' "$(command -v systemctl)" >"$1/systemctl"
  chmod +x "$1/systemctl"
}
