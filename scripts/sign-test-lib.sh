# Throwaway signers for the release tests, made with openssl in a folder the caller
# removes. Source this file.

# signer_new DIR NAME [EXTENSIONS] [ISSUER] : writes DIR/NAME.pem (certificate, 3 days
# valid) and DIR/NAME.key (RSA key). EXTENSIONS are the certificate's v3 extension lines,
# by default those of a code-signing certificate. ISSUER (the name of an earlier signer_new
# in DIR) signs it; without it the certificate is self-signed.
signer_new() {
    local dir="$1" name="$2"
    local ext="${3:-basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature
extendedKeyUsage=codeSigning
subjectKeyIdentifier=hash}"
    local issuer="${4:-}"
    printf '[req]\ndistinguished_name=dn\nprompt=no\n[dn]\nCN=Throwaway %s\nO=Release test\n[ext]\n%s\n' \
        "$name" "$ext" >"$dir/$name.cnf"
    if [ -z "$issuer" ]; then
        openssl req -x509 -newkey rsa:2048 -nodes -keyout "$dir/$name.key" -out "$dir/$name.pem" \
            -days 3 -config "$dir/$name.cnf" -extensions ext 2>/dev/null
    else
        openssl req -new -newkey rsa:2048 -nodes -keyout "$dir/$name.key" -out "$dir/$name.csr" \
            -config "$dir/$name.cnf" 2>/dev/null
        openssl x509 -req -in "$dir/$name.csr" -CA "$dir/$issuer.pem" -CAkey "$dir/$issuer.key" \
            -set_serial "0x$(openssl rand -hex 8)" -days 3 -extfile "$dir/$name.cnf" -extensions ext \
            -out "$dir/$name.pem" 2>/dev/null
    fi
}

# signer_pkcs12 DIR NAME PASSWORD : DIR/NAME.p12 from NAME.pem and NAME.key, its password
# in DIR/NAME.pass.
signer_pkcs12() {
    printf '%s\n' "$3" >"$1/$2.pass"
    openssl pkcs12 -export -in "$1/$2.pem" -inkey "$1/$2.key" -out "$1/$2.p12" \
        -passout "file:$1/$2.pass"
}
