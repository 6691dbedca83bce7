#!/usr/bin/env bash
# The batch benchmark: `vantor-cli -f` on many addresses against five local
# stand-ins for the address registries' whois servers. Not a test: with the
# usual 1,000 addresses it runs for minutes.
#
#   sudo bench/batch_bench.sh [-n COUNT] [-k NETS] [-d DELAY_MS] [-s SEED] [VANTOR_CLI]
#
# COUNT addresses (default 1000), a fifth of them in each registry's space as
# IANA's ipv4.json (resources/data/rdap) has it, in the order of a real log:
# bursts of a few from one registry, the bursts shuffled. With -k, 10 * NETS
# of them fall in NETS networks (/24, a fifth in each registry), 10 in each,
# strewn among the others at random: vantor-cli should ask each network once
# and take the other nine from its saved answers (-v then, for its count). Each stand-in
# answers DELAY_MS (default 100) after the query, as a server across the
# network would, with a reply of the size and form its registry sends: ARIN
# answers its own space and refers the rest to the registry that holds it
# (ReferralServer:), the others answer with an inetnum.
#
# The script runs itself again in new mount and network namespaces
# (unshare, so it needs root), where /etc/hosts maps whois.arin.net,
# whois.ripe.net, whois.apnic.net, whois.lacnic.net and whois.afrinic.net to
# 127.0.0.11-15 and one Python process listens on port 43 of each. Nothing
# outside the namespaces sees them. It prints vantor-cli's wall time and peak
# RSS (/usr/bin/time -v), its exit status, and what each stand-in was asked.
# vantor-cli saves its answers in a new folder of its own, never the user's.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
count=1000
delay=100
seed=19
nets=0
while getopts "n:k:d:s:" opt; do
    case $opt in
    n) count=$OPTARG ;;
    k) nets=$OPTARG ;;
    d) delay=$OPTARG ;;
    s) seed=$OPTARG ;;
    *) sed -n '5p' "$0" >&2; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
cli=$(realpath "${1:-$here/../build/vantor-cli}")
ipv4json=$here/../resources/data/rdap/ipv4.json

if [ -z "${VANTOR_BENCH_INSIDE:-}" ]; then
    if [ "$(id -u)" != 0 ]; then
        echo "batch_bench.sh: needs root, for unshare and port 43" >&2
        exit 77
    fi
    exec env VANTOR_BENCH_INSIDE=1 unshare --mount --net --propagation private \
        "$0" -n "$count" -k "$nets" -d "$delay" -s "$seed" "$cli"
fi

ip link set lo up
work=$(mktemp -d)
trap 'kill "${servers:-}" 2>/dev/null || true; umount /etc/hosts 2>/dev/null || true; rm -rf "$work"' EXIT
{
    echo "127.0.0.1 localhost"
    echo "127.0.0.11 whois.arin.net"
    echo "127.0.0.12 whois.ripe.net"
    echo "127.0.0.13 whois.apnic.net"
    echo "127.0.0.14 whois.lacnic.net"
    echo "127.0.0.15 whois.afrinic.net"
} > "$work/hosts"
mount --bind "$work/hosts" /etc/hosts

# The stand-ins, and the addresses: one Python program for both.
cat > "$work/registries.py" <<'PY'
import ipaddress, json, random, signal, socketserver, sys, threading, time

REGISTRIES = {  # RDAP service in IANA's file -> whois server, address here
    "rdap.arin.net": ("whois.arin.net", "127.0.0.11"),
    "rdap.db.ripe.net": ("whois.ripe.net", "127.0.0.12"),
    "rdap.apnic.net": ("whois.apnic.net", "127.0.0.13"),
    "rdap.lacnic.net": ("whois.lacnic.net", "127.0.0.14"),
    "rdap.afrinic.net": ("whois.afrinic.net", "127.0.0.15"),
}

def blocks(path):
    """whois server -> its IPv4 blocks, from IANA's ipv4.json."""
    out = {}
    for prefixes, urls in json.load(open(path))["services"]:
        host = urls[0].split("/")[2]
        out.setdefault(REGISTRIES[host][0], []).extend(ipaddress.ip_network(p) for p in prefixes)
    return out

def holder(blocks_of, address):
    for server, nets in blocks_of.items():
        if any(address in n for n in nets):
            return server
    return None

def reply(me, blocks_of, query):
    words = query.split()
    try:
        address = ipaddress.ip_address(words[-1] if words else "")
    except ValueError:
        return "% No entries found for the selected source(s).\n"
    net = ipaddress.ip_network(f"{address}/24", strict=False)
    first, last = net[0], net[-1]
    owner = holder(blocks_of, address)
    if me == "whois.arin.net":
        head = "#\n# ARIN WHOIS data and services are subject to the Terms of Use\n# available at: https://www.arin.net/resources/registry/whois/tou/\n#\n\n"
        if owner and owner != me:
            block = next(n for n in blocks_of[owner] if address in n)
            return (head + f"NetRange:       {block[0]} - {block[-1]}\nCIDR:           {block}\n"
                    f"NetName:        {owner.split('.')[1].upper()}-BLOCK\nNetType:        Allocated to {owner.split('.')[1].upper()}\n"
                    f"OrgName:        Regional Internet Registry\nReferralServer: whois://{owner}\n\n")
        return (head + f"NetRange:       {first} - {last}\nCIDR:           {net}\nNetName:        EXAMPLE-NET\n"
                "NetType:        Direct Allocation\nOrganization:   Example Networks (EXN-1)\nRegDate:        2004-03-01\n"
                "Updated:        2021-12-14\n\nOrgName:        Example Networks\nOrgId:          EXN-1\n"
                "Address:        1 Main Street\nCity:           Springfield\nStateProv:      VA\nPostalCode:     22150\n"
                "Country:        US\n\nOrgAbuseHandle: ABUSE1-ARIN\nOrgAbuseEmail:  abuse@example.net\n\n"
                "#\n# ARIN WHOIS data and services are subject to the Terms of Use\n#\n")
    return (f"% This is the {me} whois server.\n% Information related to '{first} - {last}'\n\n"
            f"inetnum:        {first} - {last}\nnetname:        EXAMPLE-NET\ndescr:          Example Networks\n"
            "country:        NL\nadmin-c:        EX1-TEST\ntech-c:         EX1-TEST\nstatus:         ASSIGNED PA\n"
            "mnt-by:         EXAMPLE-MNT\ncreated:        2012-01-01T00:00:00Z\nlast-modified:  2020-01-01T00:00:00Z\n"
            f"source:         {me.split('.')[1].upper()}\n\nperson:         Example Contact\naddress:        1 Main Street\n"
            "phone:          +31 20 000 0000\nnic-hdl:        EX1-TEST\nsource:         TEST\n\n")

def serve(workdir, delay_ms, path):
    blocks_of = blocks(path)
    stats = {name: {"queries": 0, "open": 0, "most": 0, "first": None, "last": None} for name, _ in REGISTRIES.values()}
    lock = threading.Lock()

    def handler_for(me):
        class Handler(socketserver.StreamRequestHandler):
            def handle(self):
                with lock:
                    s = stats[me]
                    s["queries"] += 1
                    s["open"] += 1
                    s["most"] = max(s["most"], s["open"])
                    now = time.monotonic()
                    s["first"] = s["first"] or now
                    s["last"] = now
                try:
                    query = self.rfile.readline(1024).decode("utf-8", "replace")
                    time.sleep(delay_ms / 1000)
                    self.wfile.write(reply(me, blocks_of, query).encode())
                finally:
                    with lock:
                        stats[me]["open"] -= 1
        return Handler

    socketserver.ThreadingTCPServer.allow_reuse_address = True
    socketserver.ThreadingTCPServer.daemon_threads = True
    servers = [socketserver.ThreadingTCPServer((address, 43), handler_for(name)) for name, address in REGISTRIES.values()]
    for s in servers:
        threading.Thread(target=s.serve_forever, daemon=True).start()
    done = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: done.set())
    open(f"{workdir}/ready", "w").close()
    while not done.wait(1):
        pass
    with open(f"{workdir}/served", "w") as out:
        for name, s in stats.items():
            span = (s["last"] - s["first"]) if s["first"] else 0
            rate = (s["queries"] - 1) / span if span > 0 else 0
            out.write(f"  {name:18} {s['queries']:5} queries, at most {s['most']} at once, {rate:.2f} a second\n")

def address_of(rng, blocks_of, name):
    while True:
        net = rng.choice(blocks_of[name])
        address = net[rng.randrange(net.num_addresses)]
        if address.is_global and holder(blocks_of, address) == name:
            return address

def addresses(path, count, seed, nets):
    """count addresses, count/5 per registry, in bursts of 1-8 from one registry;
    10 * nets of them in nets /24 networks, 10 each, strewn among the rest."""
    rng = random.Random(seed)
    blocks_of = blocks(path)
    names = list(blocks_of)
    shared = []
    for i in range(nets):
        net = ipaddress.ip_network(f"{address_of(rng, blocks_of, names[i % 5])}/24", strict=False)
        shared += [str(net[h]) for h in rng.sample(range(1, 255), 10)]
    rest = count - len(shared)
    left = {name: rest // 5 for name in blocks_of}
    for name in list(left)[: rest % 5]:
        left[name] += 1
    out = []
    while any(left.values()):
        name = rng.choice([n for n, k in left.items() if k])
        for _ in range(min(left[name], rng.randint(1, 8))):
            out.append(str(address_of(rng, blocks_of, name)))
            left[name] -= 1
    for address in shared:
        out.insert(rng.randrange(len(out) + 1), address)
    return out

if __name__ == "__main__":
    if sys.argv[1] == "serve":
        serve(sys.argv[2], int(sys.argv[3]), sys.argv[4])
    else:
        print("\n".join(addresses(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5]))))
PY

python3 "$work/registries.py" serve "$work" "$delay" "$ipv4json" &
servers=$!
for _ in $(seq 100); do [ -e "$work/ready" ] && break; sleep 0.1; done
[ -e "$work/ready" ] || { echo "batch_bench.sh: the stand-ins did not start" >&2; exit 1; }
python3 "$work/registries.py" addresses "$ipv4json" "$count" "$seed" "$nets" > "$work/addresses"

status=0
verbose=()
[ "$nets" -gt 0 ] && verbose=(-v)
mkdir "$work/cache"
XDG_CACHE_HOME=$work/cache /usr/bin/time -v -o "$work/time" "$cli" "${verbose[@]}" -f "$work/addresses" \
    > "$work/out" 2> "$work/err" || status=$?
kill -TERM "$servers"
wait "$servers" 2>/dev/null || true

wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/time")
rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time")
echo "addresses:      $(wc -l < "$work/addresses") ($count asked), replies after ${delay} ms"
echo "wall time:      $wall"
echo "peak RSS:       $((rss / 1024)) MiB ($rss kB)"
if [ "$nets" -gt 0 ]; then
    echo "exit status:    $status"
    echo "saved answers:  $(tail -n 1 "$work/err")"
else
    echo "exit status:    $status ($(grep -c . "$work/err" || true) lines on standard error)"
fi
echo "stand-ins asked:"
cat "$work/served"
