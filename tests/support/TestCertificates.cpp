#include "tests/support/TestCertificates.h"

#include <QFile>
#include <QProcess>

bool TestCertificates::Run(const QStringList& arguments)
{
    QProcess openssl;
    openssl.setWorkingDirectory(dir.path());
    openssl.start("openssl", arguments);
    if (!openssl.waitForFinished(30000) || openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0) {
        error = "openssl " + arguments.join(' ') + ": " + QString::fromLocal8Bit(openssl.readAllStandardError());
        return false;
    }
    return true;
}

bool TestCertificates::Generate()
{
    if (generated)
        return true;
    if (!dir.isValid()) {
        error = "no temporary folder";
        return false;
    }
    const QStringList ecKey{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    QFile extensions(Path("server.ext"));
    if (!extensions.open(QIODevice::WriteOnly)
        || extensions.write("subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\n"
                            "keyUsage=digitalSignature\nextendedKeyUsage=serverAuth\n") < 0) {
        error = "cannot write server.ext";
        return false;
    }
    extensions.close();
    generated = Run(QStringList{"req", "-x509"} + ecKey
                    + QStringList{"-keyout", "ca.key", "-out", "ca.pem", "-days", "2", "-subj", "/CN=Corvane Test CA",
                                  "-addext", "basicConstraints=critical,CA:TRUE", "-addext",
                                  "keyUsage=critical,keyCertSign,cRLSign"})
        && Run(QStringList{"req"} + ecKey
               + QStringList{"-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=localhost"})
        && Run({"x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
                "-out", "server.pem", "-days", "2", "-extfile", "server.ext"});
    return generated;
}

TestCertificates& TestCertificates::Shared()
{
    static TestCertificates certificates;
    return certificates;
}
