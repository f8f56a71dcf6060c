#pragma once
#include <QString>
#include <QTemporaryDir>

// A throw-away certificate authority and a server certificate it signed for
// 127.0.0.1 and localhost, made with the openssl command in a temporary folder.
// Point SSL_CERT_FILE at CaFile() to make clients trust the server.
class TestCertificates {
public:
    // Generates once; false (see Error) when openssl fails.
    bool Generate();
    QString CaFile() const { return Path("ca.pem"); }
    QString CertificateFile() const { return Path("server.pem"); }
    QString KeyFile() const { return Path("server.key"); }
    const QString& Error() const { return error; }

    // One set per test process: generating takes a moment.
    static TestCertificates& Shared();

private:
    QString Path(const QString& name) const { return dir.path() + "/" + name; }
    bool Run(const QStringList& arguments);

    QTemporaryDir dir;
    bool generated = false;
    QString error;
};
