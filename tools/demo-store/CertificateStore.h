#pragma once
// The demo store's own certificate authority. On the first start it makes a
// CA and a server certificate for 127.0.0.1 and localhost signed by it, and
// keeps both beside the store's data; later starts reuse them, so a client
// that was told to trust ca.pem keeps trusting the store. A server
// certificate that no longer matches the CA, or is about to expire, is
// replaced; the CA itself is replaced only when it is unusable.

#include <string>

namespace demostore {

class CertificateStore {
  public:
    explicit CertificateStore(std::string dataDir);

    // Loads or creates the files. False with `error` set when they can be
    // neither read nor written.
    bool Ensure(std::string& error);

    std::string CaFile() const { return m_dir + "/ca.pem"; }
    std::string CaKeyFile() const { return m_dir + "/ca-key.pem"; }
    std::string ServerCertFile() const { return m_dir + "/server.pem"; }
    std::string ServerKeyFile() const { return m_dir + "/server-key.pem"; }

  private:
    bool MakeCa(std::string& error);
    bool MakeServerCertificate(std::string& error);
    bool ServerCertificateUsable() const;
    bool CaUsable() const;

    std::string m_dir;
};

}  // namespace demostore
