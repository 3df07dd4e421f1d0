#!/usr/bin/env bash
# Mutation check of the test suite: applies single-line faults from a table one at a time,
# rebuilds only the test programs that cover each fault, runs them and records whether a test
# failed (KILLED), none did (SURVIVED) or the fault did not compile (BUILD-FAILED).
set -uo pipefail

usage() {
  cat <<'EOF'
Usage: scripts/mutate.sh [options] [BUILD_DIR]

Applies each mutation of the table to the source tree, one at a time, rebuilds the test
programs the table names for it (cmake --build, so ccache is used when the build is
configured with it), runs them directly (gtest, fail-fast, a timeout per program) and
prints a markdown table: KILLED, SURVIVED or BUILD-FAILED per mutation. The source file
is restored after every mutation, also on failure or Ctrl-C, and the test programs are
rebuilt from the restored sources at the end, so tree and build are left as found.

BUILD_DIR (or $RV_BUILD_DIR) is a configured build; default: build/ beside this script.
Its source tree is read from CMakeCache.txt unless --source is given.

Options:
  -s, --source DIR     source tree to mutate (default: the build's source tree)
  -t, --table FILE     mutation table (default: scripts/mutations.txt of the source tree)
  -o, --output FILE    also write the results table to FILE
  -m, --match REGEX    only mutations whose id or file matches REGEX (extended regex)
  -T, --timeout SECS   time limit per test program run (default 120, $RV_MUTATE_TIMEOUT)
  -j, --jobs N         build parallelism (default 2)
  -l, --list           check the table (each original text occurs exactly once) and list it
  -h, --help           this text

Table lines: id ;; test globs ;; file ;; original ;; replacement ;; description
(fields separated by " ;; "; test globs are names of programs in BUILD_DIR/tests-bin).
A program that already fails without any mutation does not count as a kill.
EOF
}

here=$(cd "$(dirname "$0")" && pwd)
build=${RV_BUILD_DIR:-}
source_dir=""
table=""
output=""
match=""
timeout_secs=${RV_MUTATE_TIMEOUT:-120}
jobs=2
list_only=0

while [[ $# -gt 0 ]]; do
  case $1 in
    -h | --help) usage; exit 0 ;;
    -s | --source) source_dir=$2; shift 2 ;;
    -t | --table) table=$2; shift 2 ;;
    -o | --output) output=$2; shift 2 ;;
    -m | --match) match=$2; shift 2 ;;
    -T | --timeout) timeout_secs=$2; shift 2 ;;
    -j | --jobs) jobs=$2; shift 2 ;;
    -l | --list) list_only=1; shift ;;
    -*) echo "mutate.sh: unknown option $1 (see --help)" >&2; exit 2 ;;
    *) build=$1; shift ;;
  esac
done

build=${build:-$here/../build}
if [[ ! -f $build/CMakeCache.txt ]]; then
  echo "mutate.sh: $build is not a configured build directory (no CMakeCache.txt)" >&2
  exit 2
fi
build=$(cd "$build" && pwd)
if [[ -z $source_dir ]]; then
  source_dir=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$build/CMakeCache.txt")
fi
source_dir=$(cd "$source_dir" && pwd) || exit 2
table=${table:-$source_dir/scripts/mutations.txt}
[[ -f $table ]] || { echo "mutate.sh: no table $table" >&2; exit 2; }
bin=$build/tests-bin

# --- reading the table -------------------------------------------------------------------------
ids=() globs=() files=() originals=() replacements=() descriptions=()
while IFS= read -r line || [[ -n $line ]]; do
  [[ -z ${line//[[:space:]]/} || $line == \#* ]] && continue
  fields=()
  rest=$line
  while [[ $rest == *" ;; "* ]]; do
    fields+=("${rest%%" ;; "*}")
    rest=${rest#*" ;; "}
  done
  fields+=("$rest")
  if [[ ${#fields[@]} -ne 6 ]]; then
    echo "mutate.sh: bad table line (need 6 fields): $line" >&2
    exit 2
  fi
  if [[ -n $match ]] && ! [[ ${fields[0]} =~ $match || ${fields[2]} =~ $match ]]; then continue; fi
  ids+=("${fields[0]}") globs+=("${fields[1]}") files+=("${fields[2]}")
  originals+=("${fields[3]}") replacements+=("${fields[4]}") descriptions+=("${fields[5]}")
done <"$table"
count=${#ids[@]}
[[ $count -gt 0 ]] || { echo "mutate.sh: no mutation selected" >&2; exit 2; }

occurrences() {  # occurrences FILE TEXT
  ORIGINAL=$2 perl -0777 -ne 'my $n = () = /\Q$ENV{ORIGINAL}\E/g; print $n' "$1"
}

bad=0
for ((i = 0; i < count; ++i)); do
  f=$source_dir/${files[i]}
  if [[ ! -f $f ]]; then
    echo "mutate.sh: ${ids[i]}: no file ${files[i]}" >&2
    bad=1
    continue
  fi
  n=$(occurrences "$f" "${originals[i]}")
  if [[ $n != 1 ]]; then
    echo "mutate.sh: ${ids[i]}: original text occurs $n times in ${files[i]}" >&2
    bad=1
  fi
done
[[ $bad -eq 0 ]] || exit 2

if [[ $list_only -eq 1 ]]; then
  for ((i = 0; i < count; ++i)); do
    printf '%-20s %-40s %s\n' "${ids[i]}" "${files[i]}" "${descriptions[i]}"
  done
  echo "$count mutations, each original text found exactly once"
  exit 0
fi

# --- restoring on every exit -------------------------------------------------------------------
work=$(mktemp -d)
mutated_file=""
child=""
# Builds and test runs go to the background and are waited for, so an interrupt is handled at
# once (a foreground command would delay it until it ends) and the running job is stopped.
run() {
  "$@" &
  child=$!
  wait "$child"
  local rc=$?
  child=""
  return $rc
}
stop_child() {
  if [[ -n $child ]]; then
    kill -TERM "$child" 2>/dev/null
    wait "$child" 2>/dev/null
    child=""
  fi
}
restore() {
  if [[ -n $mutated_file ]]; then
    # A plain copy gives the file a new time stamp, so the next build compiles it again.
    cp "$work/original" "$mutated_file"
    mutated_file=""
  fi
}
on_exit() {
  stop_child
  restore
  rm -rf "$work"
}
trap on_exit EXIT
# Fd 3 is the terminal's stderr even while a redirected build or test is being waited for.
exec 3>&2
trap 'stop_child; restore; echo "mutate.sh: interrupted; sources restored, run cmake --build $build to rebuild" >&3; exit 130' INT TERM HUP

# Test programs named by the globs, from the targets the build knows (tests-bin may be empty).
all_targets=$(cmake --build "$build" --target help 2>/dev/null | sed -n 's/^\(test_[A-Za-z0-9_]*\):.*/\1/p' | sort -u)
programs_for() {  # programs_for "GLOB GLOB ..."
  local glob t out=()
  for glob in $1; do
    for t in $all_targets; do
      # shellcheck disable=SC2053
      [[ $t == $glob ]] && out+=("$t")
    done
  done
  printf '%s\n' "${out[@]}" | sort -u | tr '\n' ' '
}

run_programs() {  # run_programs LOG PROGRAM... ; on a failure returns 1 with failed_by set
  local log=$1 p rc
  shift
  failed_by=""
  for p in "$@"; do
    run env QT_QPA_PLATFORM=offscreen timeout "$timeout_secs" "$bin/$p" --gtest_brief=1 \
      --gtest_fail_fast=1 >>"$log" 2>&1
    rc=$?
    if [[ $rc -ne 0 ]]; then
      failed_by=$p
      [[ $rc -eq 124 ]] && failed_by="$p(timeout)"
      return 1
    fi
  done
  return 0
}

# --- baseline --------------------------------------------------------------------------------------
declare -A needed=()
for ((i = 0; i < count; ++i)); do
  for p in $(programs_for "${globs[i]}"); do needed[$p]=1; done
done
needed_list=("${!needed[@]}")
if [[ ${#needed_list[@]} -eq 0 ]]; then
  echo "mutate.sh: no test program matches the table's globs" >&2
  exit 2
fi
echo "Building ${#needed_list[@]} test programs..."
if ! run cmake --build "$build" -j "$jobs" --target "${needed_list[@]}" >"$work/build.log" 2>&1; then
  tail -30 "$work/build.log" >&2
  echo "mutate.sh: the unmutated build fails" >&2
  exit 1
fi
declare -A baseline_fail=()
echo "Baseline run..."
for p in "${needed_list[@]}"; do
  if ! run_programs "$work/baseline.log" "$p"; then
    baseline_fail[$p]=1
    echo "  $p fails without any mutation; it does not count as a kill"
  fi
done

# --- the mutations ---------------------------------------------------------------------------------
results=()
killed=0 survived=0 build_failed=0
for ((i = 0; i < count; ++i)); do
  id=${ids[i]}
  f=$source_dir/${files[i]}
  programs=()
  for p in $(programs_for "${globs[i]}"); do
    [[ -z ${baseline_fail[$p]:-} ]] && programs+=("$p")
  done
  cp "$f" "$work/original"
  mutated_file=$f
  ORIGINAL=${originals[i]} REPLACEMENT=${replacements[i]} perl -0777 -i -pe \
    's/\Q$ENV{ORIGINAL}\E/$ENV{REPLACEMENT}/' "$f"
  result="" by=""
  if [[ ${#programs[@]} -eq 0 ]]; then
    result="NO-TESTS"
  elif ! run cmake --build "$build" -j "$jobs" --target "${programs[@]}" >"$work/build.log" 2>&1; then
    result="BUILD-FAILED"
    ((++build_failed))
  elif run_programs "$work/run.log" "${programs[@]}"; then
    result="SURVIVED"
    ((++survived))
  else
    result="KILLED"
    by=$failed_by
    ((++killed))
  fi
  restore
  printf '[%d/%d] %-20s %s %s\n' $((i + 1)) "$count" "$id" "$result" "$by"
  results+=("| $id | \`${files[i]}\` | ${descriptions[i]} | $result | ${by:-} |")
done

# Rebuild from the restored sources so the build directory matches the tree again.
echo "Rebuilding the test programs from the restored sources..."
run cmake --build "$build" -j "$jobs" --target "${needed_list[@]}" >"$work/build.log" 2>&1 ||
  echo "mutate.sh: the final rebuild failed; see cmake --build $build" >&2

report() {
  echo "## Mutation results ($(date -u '+%Y-%m-%d %H:%M UTC'), $(git -C "$source_dir" rev-parse --short HEAD 2>/dev/null))"
  echo
  echo "$killed killed, $survived survived, $build_failed did not build, of $count."
  if [[ ${#baseline_fail[@]} -gt 0 ]]; then
    echo "Failing without a mutation (not counted): ${!baseline_fail[*]}"
  fi
  echo
  echo "| id | file | mutation | result | failed test program |"
  echo "|---|---|---|---|---|"
  printf '%s\n' "${results[@]}"
}
report | if [[ -n $output ]]; then tee "$output"; else cat; fi
