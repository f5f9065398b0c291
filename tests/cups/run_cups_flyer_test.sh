#!/usr/bin/env bash
# Runs TestFlyerCups against a private CUPS server with a cups-pdf queue.
#
#   run_cups_flyer_test.sh TEST_EXECUTABLE
#
# Starts cupsd for this test only (own configuration, spool and socket in a
# temporary folder; the system's CUPS, if any, is not touched), adds the PDF
# queue "FlyerPDF" with JIS B4 as its default paper and makes it the default
# printer, adds "OfficeA4" (default A4, B4 (JIS) offered) and "A4Only" (no B4
# paper at all), runs the test (which may stop and resume that cupsd with SIGSTOP
# and SIGCONT by its pid), and stops that cupsd by its pid. Installs nothing:
# scripts/install-deps.sh --test provides cups and printer-driver-cups-pdf.
# Exits 77 (skipped) with the reason where the test cannot run.
set -uo pipefail

test_exe=${1:?usage: run_cups_flyer_test.sh TEST_EXECUTABLE}
skip() { echo "SKIP: $*"; exit 77; }

cupsd_bin=$(command -v cupsd || echo /usr/sbin/cupsd)
ppd=/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
[[ -x $cupsd_bin ]] || skip "cupsd is not installed (package cups)"
command -v lpadmin >/dev/null || skip "lpadmin is not installed (package cups-client)"
[[ -e /usr/lib/cups/backend/cups-pdf && -r $ppd ]] || skip "the cups-pdf queue is not installed (package printer-driver-cups-pdf)"
as_root=()
if [[ $(id -u) -ne 0 ]]; then
  sudo -n true 2>/dev/null || skip "cupsd needs root and sudo asks for a password"
  as_root=(sudo -n)
fi

dir=$(mktemp -d /tmp/flyer-cups.XXXXXX)
chmod 755 "$dir"
cupsd_pid=""
finish() {
  if [[ -n $cupsd_pid ]]; then
    # The test stops cupsd with SIGSTOP for a while; a stopped one ends only
    # once resumed.
    "${as_root[@]}" kill -CONT "$cupsd_pid" 2>/dev/null
    "${as_root[@]}" kill "$cupsd_pid" 2>/dev/null
    for _ in $(seq 50); do "${as_root[@]}" kill -0 "$cupsd_pid" 2>/dev/null || break; sleep 0.1; done
    "${as_root[@]}" kill -9 "$cupsd_pid" 2>/dev/null
  fi
  "${as_root[@]}" rm -rf "$dir"
}
trap finish EXIT

mkdir -p "$dir"/{spool,tmp,cache,state,log,ppd,ssl}
socket=$dir/cups.sock
cat >"$dir/cupsd.conf" <<CONF
Listen $socket
LogLevel warn
Browsing No
WebInterface No
DefaultAuthType None
MaxJobs 20
PreserveJobFiles Yes
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order allow,deny
    Allow all
  </Limit>
</Policy>
# A queue that answers and accepts, but whose jobs the server refuses to
# create (as a quota or an access rule would).
<Policy nojobs>
  <Limit Create-Job Print-Job Print-URI Validate-Job>
    Require user no-such-user-here
    Order allow,deny
    Allow all
  </Limit>
  <Limit All>
    Order allow,deny
    Allow all
  </Limit>
</Policy>
CONF
cat >"$dir/cups-files.conf" <<CONF
ServerRoot $dir
RequestRoot $dir/spool
TempDir $dir/tmp
CacheDir $dir/cache
StateDir $dir/state
ServerKeychain $dir/ssl
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
Printcap $dir/printcap
CONF
chmod 644 "$dir"/*.conf
# Filters run as the unprivileged CUPS user and need a temporary folder.
chmod 1777 "$dir/tmp"

"${as_root[@]}" "$cupsd_bin" -f -c "$dir/cupsd.conf" -s "$dir/cups-files.conf" &
cupsd_pid=$!
# The pid of sudo's child, when started through sudo.
if [[ ${#as_root[@]} -gt 0 ]]; then
  sleep 0.5
  cupsd_pid=$(pgrep -P "$cupsd_pid" -x cupsd || echo "$cupsd_pid")
fi
for _ in $(seq 100); do [[ -S $socket ]] && break; kill -0 "$cupsd_pid" 2>/dev/null || break; sleep 0.1; done
[[ -S $socket ]] || { cat "$dir/log/error_log" 2>/dev/null; echo "FAIL: cupsd did not start"; exit 1; }

export CUPS_SERVER=$socket
queue=FlyerPDF
"${as_root[@]}" env CUPS_SERVER="$socket" lpadmin -p "$queue" -E -v cups-pdf:/ -P "$ppd" -o PageSize-default=JISB4 2>&1 \
  | grep -v -i "deprecated" >&2
"${as_root[@]}" env CUPS_SERVER="$socket" lpadmin -d "$queue" || { echo "FAIL: could not add the queue"; exit 1; }
# An office printer whose default paper is A4 and which also has B4 (JIS),
# and one without any B4 paper (the PPD's B4 sizes taken out).
office=OfficeA4
a4only=A4Only
"${as_root[@]}" env CUPS_SERVER="$socket" lpadmin -p "$office" -E -v cups-pdf:/ -P "$ppd" -o PageSize-default=A4 \
  -L "2階 事務室" -D "事務室の複合機" 2>&1 | grep -v -i "deprecated" >&2
grep -v -E '^\*[A-Za-z]+ (JIS|ISO)?B4[ /:]' "$ppd" >"$dir/ppd-a4only.ppd"
chmod 644 "$dir/ppd-a4only.ppd"
"${as_root[@]}" env CUPS_SERVER="$socket" lpadmin -p "$a4only" -E -v cups-pdf:/ -P "$dir/ppd-a4only.ppd" \
  -o PageSize-default=A4 -L "受付" 2>&1 | grep -v -i "deprecated" >&2
CUPS_SERVER="$socket" lpstat -p "$office" -p "$a4only" >/dev/null || { echo "FAIL: could not add the A4 queues"; exit 1; }

# Where cups-pdf writes the jobs of the current user (Out in cups-pdf.conf).
home=$(getent passwd "$(id -un)" | cut -d: -f6)
out=$(sed -n 's/^Out[[:space:]]\+//p' /etc/cups/cups-pdf.conf 2>/dev/null | tail -1)
out=${out:-/var/spool/cups-pdf/\$\{USER\}}
out=${out//\$\{HOME\}/$home}
out=${out//\$\{USER\}/$(id -un)}

# cups-pdf makes its folder on first use; one made for this test goes again.
[[ -e $out ]] && out_existed=1 || out_existed=0

FLYER_CUPS_QUEUE=$queue FLYER_CUPS_OFFICE_QUEUE=$office FLYER_CUPS_A4ONLY_QUEUE=$a4only FLYER_CUPS_OUT=$out FLYER_CUPS_SPOOL=$dir/spool \
  FLYER_CUPSD_PID=$cupsd_pid FLYER_AS_ROOT="${as_root[*]}" \
  QT_QPA_PLATFORM=offscreen timeout 150 "$test_exe"
status=$?
if [[ $status -ne 0 ]]; then
  echo "--- cupsd error log"
  "${as_root[@]}" cat "$dir/log/error_log" 2>/dev/null | tail -30
fi
[[ $out_existed == 1 ]] || "${as_root[@]}" rmdir "$out" 2>/dev/null
exit $status
