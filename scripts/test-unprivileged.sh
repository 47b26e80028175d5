#!/usr/bin/env bash
# Run as root after scripts/test.sh: runs the test cases again, from the same
# build, as an ordinary user this script makes. Root may write every file and
# act as any user, so a test that passes as root can still fail for a
# contributor without root: saves over files the user keeps from writing or
# in folders it may not write, its own save-lock and settings folders, the
# plug-in's folder and log, reads of files it may not read, and memory
# running out on the paths only such a user takes (the suites in
# user_dependent below). Every case is run again by default, so that a new
# test of that kind needs no list kept; QOX_USER_TESTS narrows the pass.
#
#   scripts/test-unprivileged.sh                    every case
#   QOX_USER_TESTS=user-dependent scripts/test-unprivileged.sh
#   QOX_USER_TESTS='^KSaveLock\.' scripts/test-unprivileged.sh
#   BUILD_DIR=dir scripts/test-unprivileged.sh      another Release build
#
# The user (QOX_TEST_USER, default qoxtester) is made with useradd when
# missing, with a primary group of its own (QOX_TEST_GROUP, default
# qoxtesters) whose number differs from the user's, and its own group
# beside as a supplementary one, so that a test taking a user's number for
# a group's fails here; an existing user whose group number equals its user
# number is moved to that group. Its home folder is emptied before each
# run, and every case runs
# in a process of its own (as under CTest), as that user alone, with a HOME
# and a TMPDIR of its own and a working folder of its own, never writing
# into the build tree. The build tree and the sources are made readable to
# others (and every folder above them searchable, put back as it was at the
# end). Every case runs under umask QOX_USER_UMASK (default 077, the
# harshest a user may have). QOX_USER_JOBS cases run at once (default:
# nproc), the allocation sweeps first; those of 200 runs or more run one
# point in QOX_USER_SWEEP_THIN (default 3) of those the root pass ran.
# Whatever a case leaves in its TMPDIR is named and fails the pass. Ends with
# each skipped case and its reason, then a line "unprivileged: N passed, N
# failed, N skipped"; fails when any case failed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

if [ "$(id -u)" -ne 0 ]; then
  echo "test-unprivileged.sh: needs root to run the tests as another user; as $(id -un), scripts/test.sh runs them as you" >&2
  exit 1
fi

build=$(cd "${BUILD_DIR:-build}" && pwd)
user=${QOX_TEST_USER:-qoxtester}
group=${QOX_TEST_GROUP:-qoxtesters}
mask=${QOX_USER_UMASK:-077}
# The suites whose outcome depends on who runs them: saves, save locks,
# settings, the plug-in's folder and log, reads and writes of files others
# own or the user may not write, and every allocation sweep.
user_dependent='^(KStagedFiles|KSaveLock|KConfigFile|KRegistry|QoxLogFile|KPath|KDir|KLibDirectories|UserParams|Export|ObjLibraryNames|UnusualInputs|Plugin|ImportTest|ImageConverter|[A-Za-z]*OutOfMemory)'
tests=${QOX_USER_TESTS:-.}
[ "$tests" = user-dependent ] && tests=$user_dependent
jobs=${QOX_USER_JOBS:-$(nproc)}
# The long allocation sweeps run one point in this many of those the root
# pass ran (QOX_SWEEP_THIN in tests/memory/memory_test_util.h): the same
# code again, on the paths only such a user takes, in a third of the time.
thin=${QOX_USER_SWEEP_THIN:-3}

programs=()
for program in "$build"/tests/*_tests; do
  [ -x "$program" ] && programs+=("$program")
done
if [ ${#programs[@]} -eq 0 ]; then
  echo "test-unprivileged.sh: no test programs in $build/tests; run scripts/test.sh first" >&2
  exit 1
fi

if ! id "$user" >/dev/null 2>&1; then
  useradd --create-home --user-group --shell /bin/sh "$user"
fi
uid=$(id -u "$user")
if [ "$(id -g "$user")" -eq "$uid" ]; then
  getent group "$group" >/dev/null || groupadd "$group"
  if [ "$(getent group "$group" | cut -d: -f3)" -eq "$uid" ]; then
    echo "test-unprivileged.sh: group $group has the number of user $user ($uid); name another with QOX_TEST_GROUP" >&2
    exit 1
  fi
  own=$(id -gn "$user")
  usermod -g "$group" -a -G "$own" "$user"
fi
gid=$(id -g "$user")
if [ "$uid" -eq 0 ] || [ "$uid" -eq 65534 ] || [ "$uid" -eq 12345 ]; then
  echo "test-unprivileged.sh: user $user has uid $uid, which the tests use for root or their other users" >&2
  exit 1
fi
home=$(getent passwd "$user" | cut -d: -f6)
mkdir -p "$home"
# One pass at a time for the user: another would empty its home under it.
exec 9<"$home"
flock 9
find "$home" -mindepth 1 -delete
chown "$uid:$gid" "$home"
chmod 0700 "$home"

work=$(mktemp -d /tmp/qox-unprivileged.XXXXXX)
results=$work/results
mkdir "$results"
tmp=$work/tmp
mkdir "$tmp"
chown "$uid:$gid" "$tmp"
chmod 0700 "$tmp"
chmod 0711 "$work"

# Every folder above the tree searchable by others while the tests run; the
# modes are put back at the end.
restore=()
finish() {
  local i
  for ((i = 0; i < ${#restore[@]}; i += 2)); do
    chmod "${restore[i + 1]}" "${restore[i]}" || true
  done
  rm -rf "$work"
}
trap finish EXIT
for start in "$root" "$build"; do
  dir=$start
  while [ "$dir" != / ]; do
    dir=$(dirname "$dir")
    mode=$(stat -c %a "$dir")
    if [ $((8#$mode & 1)) -eq 0 ]; then
      restore+=("$dir" "$mode")
      chmod o+x "$dir"
    fi
  done
done
chmod -R a+rX "$root" "$build"

# The cases to run, one "program<tab>case" a line (the program's path may
# hold blanks).
list=$work/cases
: >"$list"
for program in "${programs[@]}"; do
  "$program" --gtest_list_tests | awk '
    /^[^ ]/ { suite = $1; next }
    /^  / { name = suite $1; if (name !~ /DISABLED_/) print name }' |
    while read -r name; do
      if [[ $name =~ $tests ]]; then
        printf '%s\t%s\n' "$program" "$name"
      fi
    done >>"$list"
done
# The cases that run for minutes first, in the order of the COST that
# tests/CMakeLists.txt gives them (the allocation sweeps, longest first), so
# that the pass is not left waiting on one at its end.
(cd "$build" && ctest --show-only=json-v1) | python3 -c '
import json, sys
for test in json.load(sys.stdin)["tests"]:
    cost = [p["value"] for p in test.get("properties", []) if p["name"] == "COST"]
    print("%s\t%s" % (cost[0] if cost else 0, test["name"]))' >"$work/costs"
awk -F'\t' 'NR == FNR { cost[$2] = $1; next } { print (($2 in cost) ? cost[$2] : 0) "\t" $0 }' \
  "$work/costs" "$list" | sort -s -t$'\t' -k1,1gr | cut -f2- >"$list.ordered"
mv "$list.ordered" "$list"
count=$(wc -l <"$list")
echo "test-unprivileged.sh: $count cases as $user (uid $uid, gid $gid, groups $(id -G "$user" | tr ' ' ,)), umask $mask, $jobs at once"

# The sanitizers' options given to this script reach the cases (a
# QOX_SANITIZE build's tree).
sanitizer_options=$(env | grep -E '^(ASAN|UBSAN|LSAN|TSAN)_OPTIONS=' | tr '\n' ' ' || true)

# One case, as the user: its output in results/<n>.out and its outcome
# (passed, skipped, failed) in results/<n>.status.
run_case() {
  local n=$1 program name
  IFS=$'\t' read -r program name < <(sed -n "${n}p" "$list")
  local out=$results/$n.out status=failed rc=0
  (cd "$tmp" && timeout 1500 runuser -u "$user" -- env -i HOME="$home" TMPDIR="$tmp" USER="$user" \
    LOGNAME="$user" PATH=/usr/local/bin:/usr/bin:/bin LANG="${LANG:-C.UTF-8}" QOX_SWEEP_THIN="$thin" $sanitizer_options \
    sh -c 'umask "$1" && shift && exec "$@"' sh "$mask" "$program" --gtest_filter="$name") >"$out" 2>&1 || rc=$?
  if [ "$rc" -eq 0 ] && grep -q '^\[==========\] 1 test from 1 test suite ran' "$out"; then
    grep -q '^\[  SKIPPED \] 1 test' "$out" && status=skipped || status=passed
  fi
  echo "$status $name" >"$results/$n.status"
}
export -f run_case
export results tmp user home sanitizer_options mask list thin

seq 1 "$count" | xargs -P "$jobs" -n 1 bash -c 'run_case "$0"'

passed=0 failed=0 skipped=0
for ((n = 1; n <= count; ++n)); do
  read -r status name <"$results/$n.status" || { status=failed name=$(sed -n "${n}p" "$list" | cut -f2); }
  case $status in
    passed) passed=$((passed + 1)) ;;
    skipped) skipped=$((skipped + 1)) ;;
    *)
      failed=$((failed + 1))
      echo "---- failed as $user: $name"
      cat "$results/$n.out" 2>/dev/null || true
      ;;
  esac
done
# The skipped cases with their reasons, read as scripts/test.sh reads CTest's log.
for ((n = 1; n <= count; ++n)); do
  read -r status name <"$results/$n.status" 2>/dev/null || continue
  if [ "$status" = skipped ]; then
    echo "$n/$count Test: $name"
    cat "$results/$n.out"
  fi
done | awk -v who=test-unprivileged.sh -f "$root/scripts/list-skipped.awk"
# Whatever the cases left in their temporary folder.
left=0
if [ -n "$(find "$tmp" -mindepth 1 -maxdepth 1 -print -quit)" ]; then
  echo "test-unprivileged.sh: the cases left these in their temporary folder:"
  find "$tmp" -mindepth 1 -maxdepth 2 -printf '  %P (%M %u:%g)\n'
  left=1
fi
echo "unprivileged: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ] && [ "$left" -eq 0 ]
