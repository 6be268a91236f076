#!/bin/bash
# Malformed update catalogues through the service's check (the real check and
# a real HTTPS fetch from the fixture server, in a batch driver linking the
# service's check; a handful through the running service itself) and through
# the catalogue parser the wizard uses.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/../lib.sh"
. "$here/../../lib/service.sh"

driver="$build/tests/fixtures/badinput_driver/zvu_badinput_driver.exe"
product='Zvu Bench Alpha'   # installed 2.3.10 by install_service; the catalogues offer 2.3.11
work=$(mktemp -d /tmp/zvu-catalogues.XXXXXX)
cleanup() {
  [ -n "${driver_pid:-}" ] && kill "$driver_pid" 2>/dev/null
  remove_service "$service_name" "$service_program" 'ZelkoVuroUpdate\.exe'
  end_clients
  rm -rf "$work"
}
trap cleanup EXIT

section "Bad input: update catalogues" \
  "Catalogues derived from a valid one by scripts/reliability/catalogues_generator.py (seed $(seed)):" \
  "each served by the fixture server and run through the service's check (real HTTPS fetch, check wait" \
  "bound 120 s), then its bytes through the parser the wizard uses; a handful through the running" \
  "service. Bound per catalogue: 60 s (180 s for the 50 MB ones)."

python3 "$here/../catalogues_generator.py" "$(seed)" "$work/cat" "$product" "$ZVU_UPDATE_HOST" \
  > "$work/index" || { row "generating the catalogues" 1 "the generator ran" FAIL "-"; exit 1; }
# The valid one comes last: it must still work after all the bad ones.
echo "valid valid.xml" >> "$work/index"
awk '{ print $2 }' "$work/index" | while read -r file; do winpath "$work/cat/$file"; done > "$work/list"
total=$(wc -l < "$work/index")

install_service "$build" || { row "installing the service" 1 "-" FAIL "-"; exit 1; }
stop_service  # the batch runs first, without the service checking meanwhile

# --- the batch: the driver runs from the first catalogue not yet done; a
# catalogue that crashes it or holds it past its bound is recorded and the
# driver starts again after it.
: > "$work/outcomes"
: > "$work/records"
next=0
started_batch=$(date +%s)
while [ "$next" -lt "$total" ]; do
  wine "$driver" catalogues "$(winpath "$work/list")" "$next" "$(winpath "$work/driver.log")" \
    > "$work/out" 2> "$work/err" < /dev/null &
  driver_pid=$!
  current=-1
  since=$(date +%s)
  hung=0
  while kill -0 "$driver_pid" 2>/dev/null; do
    begun=$(grep -a '^begin ' "$work/out" | tail -n1 | tr -d '\r' | awk '{ print $2 }')
    if [ -n "$begun" ] && [ "$begun" != "$current" ]; then current=$begun; since=$(date +%s); fi
    bound=60
    [ "$current" -ge 0 ] && sed -n "$((current + 1))p" "$work/index" | grep -q '^huge' && bound=180
    if [ "$current" -ge 0 ] && [ $(( $(date +%s) - since )) -gt "$bound" ]; then
      hung=1
      kill "$driver_pid" 2>/dev/null
      break
    fi
    sleep 0.2
  done
  wait "$driver_pid" 2>/dev/null
  rc=$?
  driver_pid=
  grep -a '^[0-9]* ' "$work/out" | tr -d '\r' >> "$work/outcomes"
  grep -a '^record ' "$work/out" | tr -d '\r' >> "$work/records"
  last_done=$(grep -a '^[0-9]* ' "$work/out" | tail -n1 | tr -d '\r' | awk '{ print $1 }')
  if [ "$hung" = 1 ]; then
    echo "$current hang" >> "$work/outcomes"
    next=$((current + 1))
  elif [ "$rc" != 0 ] || grep -aqiE 'unhandled (exception|page fault)' "$work/err"; then
    crashed=$(( ${last_done:--1} + 1 ))
    echo "$crashed crash rc=$rc $(grep -aiE 'unhandled' "$work/err" | head -n1)" >> "$work/outcomes"
    next=$((crashed + 1))
  else
    next=$(( ${last_done:--1} + 1 ))
    [ "$next" -lt "$total" ] && { echo "$next lost" >> "$work/outcomes"; next=$((next + 1)); }
  fi
done
batch_seconds=$(( $(date +%s) - started_batch ))

# One verdict per catalogue: the two readers must agree (the parser read it
# exactly when the check did not log it as unreadable), each within its bound.
python3 - "$work/index" "$work/outcomes" > "$work/verdicts" <<'EOF'
import re, sys
kinds = [line.split()[0] for line in open(sys.argv[1])]
result = {}
for line in open(sys.argv[2], errors='replace'):
    parts = line.split()
    result[int(parts[0])] = line
for i, kind in enumerate(kinds):
    line = result.get(i, '')
    if not line or ' crash' in line or ' hang' in line or ' lost' in line:
        verdict = 'bad ' + (line.split()[1] if line else 'missing')
    else:
        f = dict(re.findall(r'(\w+)=(\S+)', line))
        bound = 180000 if kind == 'huge' else 60000
        timely = int(f['check_ms']) <= bound and int(f['parse_ms']) <= bound
        parsed, logged, taken = f['parsed'] == '1', f['logged'], f['check'] == '0x00000000'
        if not timely:
            verdict = 'bad slow'
        elif logged == '2':
            verdict = 'refused-endbyte' if parsed and not taken else 'bad endbyte'
        elif not parsed:
            verdict = 'refused' if logged == '1' and not taken else 'bad disagree'
        elif logged == '1':
            verdict = 'bad disagree'
        else:
            verdict = 'taken' if taken else 'parsed'
    print(kind, i, verdict, line.strip())
EOF

count() { awk -v k="$1" -v v="$2" '$1 == k && $3 ~ v' "$work/verdicts" | wc -l; }
slowest() { awk -v k="$1" '$1 == k' "$work/verdicts" | grep -o 'check_ms=[0-9]*\|parse_ms=[0-9]*' | cut -d= -f2 | sort -n | tail -n1; }
for kind in truncated mutated ff-nul nested numbers structure huge; do
  n=$(count "$kind" .)
  bad=$(count "$kind" '^bad')
  refused=$(count "$kind" '^refused$')
  endbyte=$(count "$kind" '^refused-endbyte$')
  parsed=$(count "$kind" '^parsed$')
  taken=$(count "$kind" '^taken$')
  outcome=ok
  [ "$bad" = 0 ] && [ "$n" -gt 0 ] || outcome=FAIL
  detail="$refused refused as no well-formed XML (both readers), $parsed read with nothing newer, $taken read with the update taken"
  [ "$endbyte" != 0 ] && detail="$detail, $endbyte read but refused for the pipe's end byte 0xFF"
  [ "$bad" != 0 ] && detail="$detail; $bad NOT survived: $(awk -v k="$kind" '$1 == k && $3 == "bad" { print $2 ":" $4 }' "$work/verdicts" | head -n5 | paste -sd' ')"
  # The records the check wrote for this kind, one example of each.
  log=$(awk -v k="$kind" 'NR == FNR { if ($1 == k) want[$2] = 1; next }
                          ($2 in want) { sub(/^record [0-9]+ /, ""); if (!seen[substr($0, 1, 20)]++) print }' \
          "$work/verdicts" "$work/records" | head -n 2 | sed 's/.*/"&"/' | paste -sd';' | sed 's/;/; /g')
  [ -n "$log" ] || log="(the fetch's transfer records only: every one was read)"
  row "$kind catalogues through the service's check and the wizard's parser" "$n" \
    "no crash, slowest $(slowest "$kind") ms; $detail" "$outcome" "$log"
done
awk '$3 ~ /^bad/' "$work/verdicts" | head -n 20 | sed 's/^/not survived: /'

valid_line=$(awk '$1 == "valid"' "$work/verdicts")
outcome=FAIL
case "$valid_line" in *' taken '*'parsed=1'*'updates=1'*) outcome=ok ;; esac
row "the valid catalogue after all $((total - 1)) bad ones" 1 \
  "check found the update, parser read it ($(grep -o 'check_ms=[0-9]*' <<< "$valid_line"))" "$outcome" \
  "(the fetch's transfer records; no \"not read\" record)"

# --- a handful through the running service: each bad catalogue is checked 5 s
# after a start; the service must still run, have logged it, and then hand a
# valid catalogue to the client it starts.
survived=0
tried=0
# One refused catalogue of each of these kinds (the 0xFF one if there is one).
picked=()
for want in "truncated refused" "ff-nul refused-endbyte" "ff-nul refused" "structure refused" \
            "nested refused" "huge refused"; do
  read -r k v <<< "$want"
  i=$(awk -v k="$k" -v v="$v" '$1 == k && $3 == v { print $2; exit }' "$work/verdicts")
  [ -n "$i" ] && picked+=("$(sed -n "$((i + 1))p" "$work/index" | awk '{ print $2 }')")
done
for file in "${picked[@]}"; do
  tried=$((tried + 1))
  cp "$work/cat/$file" "$ZVU_FIXTURE_DIR/update.xml"
  rm -f "$service_log"  # each run writes its log from the start
  net_command start "$service_name"
  # The check 5 s after the start logs its record; at most 150 s.
  done_check() { grep -aqE 'Update catalogue (not read|holds byte)' "$service_log" 2>/dev/null; }
  wait_for -p 0.01 150 done_check
  sleep 1
  pid=$(service_pid)
  record=$(tr -d '\r' < "$service_log" | grep -aoE 'Update catalogue (not read|holds byte).*' | tail -n1)
  echo "service with $file: pid=${pid:-none} record=${record:-none}"
  [ -n "$pid" ] && [ -n "$record" ] && survived=$((survived + 1))
  [ -n "$record" ] && last_record=$record
  stop_service
done
cp "$work/cat/valid.xml" "$ZVU_FIXTURE_DIR/update.xml"
rm -f "$service_log"
net_command start "$service_name"
wait_for -p 0.01 90 handed_over && handed_ok=1 || handed_ok=0
outcome=FAIL
[ "$survived" = "$tried" ] && [ "$handed_ok" = 1 ] && [ -n "$(service_pid)" ] && outcome=ok
row "bad catalogues through the running service (${picked[*]}), then a valid one" \
  "$tried" "service kept running after each ($survived of $tried logged its record), then handed the valid catalogue to the client it started" \
  "$outcome" "\"${last_record:-none}\"; then \"m_strUpdateXml sent to client \""
stop_service

note "Seed $(seed): $((total - 1)) malformed catalogues (truncated 120, mutated bytes 120, 0xFF/NUL 60," \
  "deeply nested 40, huge or junk numbers 80, odd structure 90 (entities, DTDs, encodings, 10000 updates," \
  "100000-character names), 4 large ones of 50 MB, 50 MB cut at 25 MB, and 5 MB of noise), batch time ${batch_seconds} s." \
  "\"Refused\" means both readers refused it and the check logged why; \"read\" means both read it." \
  "A catalogue with an applicable update that holds the byte 0xFF is no longer handed to the client," \
  "whose pipe takes that byte for the catalogue's end. The transfer keeps each read's text up to a NUL" \
  "(the rest of that read is dropped), so a NUL shows as a shorter text that does not parse. The 50 MB" \
  "catalogue whose one description is 50 MB is refused by the document parser; the 50 MB one made of" \
  "many updates is read. A bad catalogue that follows one still waiting for a client leaves it" \
  "waiting: only a catalogue read whole that offers nothing new ends the wait."
