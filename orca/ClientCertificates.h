#pragma once
#include "orca/TlsFailure.h"

#include <QList>

#include <exception>

typedef struct ssl_ctx_st SSL_CTX;
typedef struct x509_st X509;
typedef struct X509_name_st X509_NAME;

// TLS hooks of the HTTP client: server verification against the system's CA
// store and the client certificate taken from the user's personal store.

// What one handshake showed; reset before every request.
struct TlsHandshakeState {
    bool certRequested = false; // the server sent a certificate request
    bool certPresented = false; // and we answered it with a certificate
    int fatalAlert = -1;        // description of a fatal alert received from the server
    // An error raised inside the certificate hook (the log could not be
    // written): the handshake was ended as a failure, and the owner raises
    // this again once the TLS library has returned.
    std::exception_ptr error;
};

// Prepares a fresh TLS context of a connection: OpenSSL's default verify paths
// (the system store, or SSL_CERT_FILE / SSL_CERT_DIR when set), the
// client-certificate hook and the alert watch that fill *state.
void InstallTlsHooks(SSL_CTX *ctx, TlsHandshakeState *state);

// A distinguished name as text: "CN=..., O=..., C=..." (most specific first).
QString CertNameText(const X509_NAME *name);

// The candidate entry of a certificate: subject, issuer and end of validity.
TClientCertCandidate CandidateOf(X509 *cert);
