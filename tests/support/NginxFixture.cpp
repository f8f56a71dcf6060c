#include "tests/support/NginxFixture.h"

#include "tests/support/TempHome.h"
#include "tests/support/TestCertificates.h"

#include <QFile>

namespace {
QString ServerBlock(quint16 port, const QString& root, const NginxOptions& options)
{
    QString block = QStringLiteral("  server {\n    listen 127.0.0.1:%1%2;\n    root %3;\n")
                        .arg(port)
                        .arg(options.tls ? " ssl" : "")
                        .arg(root);
    if (options.limitRate > 0)
        block += QStringLiteral("    limit_rate %1;\n").arg(options.limitRate);
    if (options.tls) {
        const TestCertificates& certificates = TestCertificates::Shared();
        block += QStringLiteral("    ssl_certificate %1;\n    ssl_certificate_key %2;\n")
                     .arg(certificates.CertificateFile(), certificates.KeyFile());
    }
    // The same files without range support, for servers that always answer 200.
    block += QStringLiteral("    location /norange/ {\n      alias %1/;\n      max_ranges 0;\n    }\n").arg(root);
    return block + "  }\n";
}
}

bool NginxFixture::Start(const QString& root, const NginxOptions& options)
{
    if (options.tls && !TestCertificates::Shared().Generate()) {
        error = TestCertificates::Shared().Error();
        return false;
    }
    tls = options.tls;
    port = FreeLoopbackPort();
    const QString d = dir.path();
    // One process (no master, no daemon) so stopping it by pid stops everything.
    QString config = QStringLiteral("daemon off;\nmaster_process off;\nworker_processes 1;\n"
                                    "pid %1/nginx.pid;\nerror_log %1/error.log warn;\n"
                                    "events { worker_connections 256; }\nhttp {\n"
                                    "  default_type application/octet-stream;\n")
                         .arg(d);
    accessLog = options.accessLog;
    if (accessLog.isEmpty())
        config += "  access_log off;\n";
    else
        config += QStringLiteral("  log_format sent '$request $status $bytes_sent';\n  access_log %1 sent;\n").arg(accessLog);
    for (const char* temp : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
        config += QStringLiteral("  %1_temp_path %2/%1;\n").arg(temp, d);
    config += ServerBlock(port, root, options) + "}\n";
    QFile file(d + "/nginx.conf");
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0) {
        error = "cannot write nginx.conf";
        return false;
    }
    file.close();
    if (!process.Start("nginx", {"-p", d + "/", "-e", d + "/error.log", "-c", d + "/nginx.conf"}, d + "/output.log")
        || !process.WaitForPort(port)) {
        error = "nginx did not start: " + process.Log() + QString::fromLocal8Bit(ReadWholeFile(d + "/error.log"));
        process.Stop();
        return false;
    }
    return true;
}

QString NginxFixture::Url(const QString& path) const
{
    return QStringLiteral("%1://127.0.0.1:%2/%3").arg(tls ? "https" : "http").arg(port).arg(path);
}

namespace {
// The access log's lines of requests whose request line contains path.
QList<QByteArray> LoggedRequests(const QString& accessLog, const QString& path)
{
    QList<QByteArray> lines;
    for (const QByteArray& line : ReadWholeFile(accessLog).split('\n')) {
        if (!line.isEmpty() && line.contains(path.toUtf8()))
            lines.append(line);
    }
    return lines;
}
}

qint64 NginxFixture::BytesSent(const QString& path) const
{
    qint64 sent = 0;
    for (const QByteArray& line : LoggedRequests(accessLog, path))
        sent += line.mid(line.lastIndexOf(' ') + 1).toLongLong();
    return sent;
}

int NginxFixture::Requests(const QString& path) const
{
    return int(LoggedRequests(accessLog, path).size());
}
