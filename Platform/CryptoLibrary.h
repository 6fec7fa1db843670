#pragma once

#include <openssl/bn.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

// OpenSSL's libcrypto, loaded the first time something asks for it rather than with the
// application: the device key's proofs and the update feed's signatures need it, the first
// screen never does, and loading it (thousands of symbols to bind) would be part of every
// start. The functions are OpenSSL's own declarations, so a call through them is checked as
// a direct call would be. Any thread.
#define VANTLE_CRYPTO_FUNCTIONS(X)                                                                                   \
    X(BN_bn2binpad)                                                                                                  \
    X(BN_free)                                                                                                       \
    X(CRYPTO_clear_free)                                                                                             \
    X(d2i_PKCS8_PRIV_KEY_INFO)                                                                                       \
    X(EVP_DigestSign)                                                                                                \
    X(EVP_DigestSignInit)                                                                                            \
    X(EVP_DigestVerify)                                                                                              \
    X(EVP_DigestVerifyInit)                                                                                          \
    X(EVP_MD_CTX_free)                                                                                               \
    X(EVP_MD_CTX_new)                                                                                                \
    X(EVP_MD_fetch)                                                                                                  \
    X(EVP_MD_free)                                                                                                   \
    X(EVP_PKCS82PKEY)                                                                                                \
    X(EVP_PKEY2PKCS8)                                                                                                \
    X(EVP_PKEY_free)                                                                                                 \
    X(EVP_PKEY_get_base_id)                                                                                          \
    X(EVP_PKEY_get_bn_param)                                                                                         \
    X(EVP_PKEY_get_utf8_string_param)                                                                                \
    X(EVP_PKEY_new_raw_public_key)                                                                                   \
    X(EVP_PKEY_Q_keygen)                                                                                             \
    X(EVP_sha256)                                                                                                    \
    X(i2d_PKCS8_PRIV_KEY_INFO)                                                                                       \
    X(PKCS8_PRIV_KEY_INFO_free)

struct CryptoLibrary {
#define VANTLE_CRYPTO_MEMBER(name) decltype(&::name) name = nullptr;
    VANTLE_CRYPTO_FUNCTIONS(VANTLE_CRYPTO_MEMBER)
#undef VANTLE_CRYPTO_MEMBER

    // The library, loaded on the first call; null when it cannot be loaded or lacks one of
    // the functions (then nothing that needs it can work, as with any OpenSSL failure).
    static const CryptoLibrary *get();
};
