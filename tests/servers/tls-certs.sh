# Sourced: tls_certs DIR [CRL-URL] makes, with openssl, a test authority and the server
# certificates the TLS tests use, all in DIR and valid for two days (nothing is committed):
#   ca.pem ca.der          the test authority (trusted by the tests only)
#   good.pem good.key      for "localhost" and 127.0.0.1, naming CRL-URL as its revocation list
#   untrusted.pem/.key     for the same names, from an authority nobody trusts
#   expired.pem/.key       for the same names, from the test authority, out of date since 2020
#   wrongname.pem/.key     for "other.example" only, from the test authority
tls_certs() {
  local dir=$1 crl=${2:-}
  mkdir -p "$dir"
  (
    set -e
    cd "$dir"
    local leaf_ext=leaf.ext
    leaf_names() {  # leaf_names SAN [CRL]
      printf '%s\n' "basicConstraints=critical,CA:FALSE" "keyUsage=critical,digitalSignature,keyEncipherment" \
        "extendedKeyUsage=serverAuth" "subjectAltName=$1" "authorityKeyIdentifier=keyid"
      [ -n "${2:-}" ] && echo "crlDistributionPoints=URI:$2"
      return 0
    }
    authority() {  # authority NAME SUBJECT
      openssl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.pem" -days 2 -subj "$2" \
        -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
    }
    request() {  # request NAME CN
      openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=$2" 2>/dev/null
    }
    authority ca "/CN=KLU Test Authority"
    openssl x509 -in ca.pem -outform DER -out ca.der
    authority other "/CN=KLU Untrusted Authority"

    request good localhost
    leaf_names "DNS:localhost,IP:127.0.0.1" "$crl" > "$leaf_ext"
    openssl x509 -req -in good.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -sha256 \
      -extfile "$leaf_ext" -out good.pem 2>/dev/null

    request untrusted localhost
    leaf_names "DNS:localhost,IP:127.0.0.1" > "$leaf_ext"
    openssl x509 -req -in untrusted.csr -CA other.pem -CAkey other.key -CAcreateserial -days 2 -sha256 \
      -extfile "$leaf_ext" -out untrusted.pem 2>/dev/null

    request wrongname other.example
    leaf_names "DNS:other.example" > "$leaf_ext"
    openssl x509 -req -in wrongname.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -sha256 \
      -extfile "$leaf_ext" -out wrongname.pem 2>/dev/null

    # A certificate out of its dates needs "openssl ca", which takes a start and an end.
    request expired localhost
    leaf_names "DNS:localhost,IP:127.0.0.1" > "$leaf_ext"
    mkdir -p ca-db; : > ca-db/index.txt; echo 1000 > ca-db/serial
    cat > ca-db/ca.cnf <<CNF
[ca]
default_ca = test
[test]
database = $dir/ca-db/index.txt
serial = $dir/ca-db/serial
new_certs_dir = $dir/ca-db
default_md = sha256
policy = any
unique_subject = no
[any]
commonName = supplied
CNF
    openssl ca -batch -notext -config ca-db/ca.cnf -cert ca.pem -keyfile ca.key -in expired.csr \
      -startdate 20200101000000Z -enddate 20200201000000Z -extfile "$leaf_ext" -out expired.pem 2>/dev/null
  )
}
