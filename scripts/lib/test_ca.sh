# A throw-away certificate authority for tests and unsigned builds: the test
# network's HTTPS certificates (tests/fixtures/make-certs.sh) and the test
# code-signing certificate of scripts/package.sh. Needs openssl only.

# make_test_ca <folder> <common name> [<days>]: a self-signed CA in the folder,
# ca.pem and ca.key (valid from now for <days>, default 30), with a minimal
# configuration of "openssl ca" (ca.cnf, ca-db/) so that ca_issue can set
# explicit validity dates.
make_test_ca() {
  local folder=$1 name=$2 days=${3:-30}
  mkdir -p "$folder/ca-db" || return 1
  (
    cd "$folder" || exit 1
    openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days "$days" \
      -subj "/CN=$name" \
      -addext "basicConstraints=critical,CA:TRUE" \
      -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null || exit 1
    : > ca-db/index.txt
    echo 1000 > ca-db/serial
    cat > ca.cnf <<CNF
[ ca ]
default_ca = test_ca
[ test_ca ]
dir = ca-db
database = ca-db/index.txt
new_certs_dir = ca-db
serial = ca-db/serial
default_md = sha256
policy = any
copy_extensions = copy
unique_subject = no
[ any ]
commonName = supplied
CNF
  )
}

# ca_issue <CA folder> <name> <common name> <start> <end> [-addext <extension>]...:
# a key (<name>.key, no passphrase) and a certificate (<name>.pem) signed by
# the CA of the folder, valid from <start> to <end> (openssl's YYYYMMDDHHMMSSZ),
# carrying the given extensions.
ca_issue() {
  local folder=$1 name=$2 cn=$3 start=$4 end=$5
  shift 5
  (
    cd "$folder" || exit 1
    openssl req -newkey rsa:2048 -nodes -keyout "$name.key" -out "$name.csr" -subj "/CN=$cn" \
      "$@" 2>/dev/null || exit 1
    openssl ca -batch -config ca.cnf -cert ca.pem -keyfile ca.key -in "$name.csr" -out "$name.pem" \
      -notext -startdate "$start" -enddate "$end" 2>/dev/null
  )
}

# ca_dates <days>: "<yesterday> <in days>" in openssl's date form, a validity
# that a clock a little behind does not miss.
ca_dates() {
  echo "$(date -u +%Y%m%d%H%M%SZ -d '-1 day') $(date -u +%Y%m%d%H%M%SZ -d "+$1 days")"
}
