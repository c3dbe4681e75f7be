// Adds a CA certificate (DER file) to the LocalMachine "Root" store of the
// Windows it runs on. The tests run it under Wine with the build tree's own
// prefix, so the test CA becomes trusted there and nowhere else.
//
//   trust_ca.exe <certificate.der>
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: trust_ca <certificate.der>\n");
    return 2;
  }
  std::FILE* f = std::fopen(argv[1], "rb");
  if (!f) {
    std::fprintf(stderr, "trust_ca: cannot open %s\n", argv[1]);
    return 1;
  }
  std::vector<BYTE> der;
  BYTE buffer[4096];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) der.insert(der.end(), buffer, buffer + got);
  std::fclose(f);

  PCCERT_CONTEXT cert = CertCreateCertificateContext(X509_ASN_ENCODING, der.data(),
                                                      static_cast<DWORD>(der.size()));
  if (!cert) {
    std::fprintf(stderr, "trust_ca: %s is no DER certificate (error %lu)\n", argv[1], GetLastError());
    return 1;
  }
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0,
                                   CERT_SYSTEM_STORE_LOCAL_MACHINE, "Root");
  if (!store) {
    std::fprintf(stderr, "trust_ca: cannot open the Root store (error %lu)\n", GetLastError());
    CertFreeCertificateContext(cert);
    return 1;
  }
  int rc = 0;
  if (!CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(),
                                        static_cast<DWORD>(der.size()),
                                        CERT_STORE_ADD_REPLACE_EXISTING, nullptr)) {
    std::fprintf(stderr, "trust_ca: adding the certificate failed (error %lu)\n", GetLastError());
    rc = 1;
  } else if (PCCERT_CONTEXT found = CertFindCertificateInStore(
                 store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, cert, nullptr)) {
    char name[256] = "";
    CertGetNameStringA(found, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name, sizeof name);
    std::printf("trust_ca: \"%s\" is in LocalMachine\\Root\n", name);
    CertFreeCertificateContext(found);
  } else {
    std::fprintf(stderr, "trust_ca: the certificate is not in the store after adding it\n");
    rc = 1;
  }
  CertCloseStore(store, 0);
  CertFreeCertificateContext(cert);
  return rc;
}
