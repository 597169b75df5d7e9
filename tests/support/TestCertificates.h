#pragma once
// Certificates made at run time with the openssl command line, in a folder of the test's own:
// no key material lives in the repository. Keys are P-256 (quick to make and to use); each
// authority keeps the small database `openssl ca` needs to issue, revoke and list.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace dialvane::test {

class TestCertificates {
public:
    explicit TestCertificates(QString folder) : folder_(std::move(folder)) {}

    QString cert(const QString& name) const { return path(name + ".crt"); }
    QString key(const QString& name) const { return path(name + ".key"); }
    QString crl(const QString& authority) const { return path(authority + ".crl"); }
    // Why the last step failed; empty while every step worked.
    QString error() const { return error_; }

    // A self-signed authority, with the small database `openssl ca` keeps.
    bool authority(const QString& name) {
        const QString db = path(name + ".db");
        QDir().mkpath(db);
        for (const char* file : {"index.txt", "serial", "crlnumber"})
            writeText(db + "/" + file, file[0] == 'i' ? "" : "1000\n");
        writeText(path(name + ".cnf"),
                  QString("[ca]\ndefault_ca=own\n[own]\ndir=%1\ndatabase=$dir/index.txt\n"
                          "new_certs_dir=$dir\nserial=$dir/serial\ncrlnumber=$dir/crlnumber\n"
                          "certificate=%2\nprivate_key=%3\ndefault_md=sha256\ndefault_crl_days=30\n"
                          "policy=any\nunique_subject=no\ncopy_extensions=copy\n[any]\n"
                          "commonName=supplied\n")
                      .arg(db, cert(name), key(name)));
        return newKey(name) && run({"req", "-x509", "-new", "-key", key(name), "-subj",
                                    "/CN=" + name + " CA", "-days", "30", "-addext",
                                    "basicConstraints=critical,CA:TRUE", "-out", cert(name)});
    }

    // A certificate for `commonName` from `authority`; `daysValid` < 0 is one that expired
    // that many days ago. A station's (`address` set) names the address it is called at.
    bool issue(const QString& name, const QString& authority, const QString& commonName,
               int daysValid = 30, const QString& address = {}) {
        QStringList request{"req",   "-new",
                            "-key",  key(name),
                            "-subj", "/CN=" + commonName,
                            "-out",  path(name + ".csr")};
        if (!address.isEmpty())
            request << "-addext"
                    << "subjectAltName=IP:" + address;
        QStringList sign{
            "ca",   "-batch",  "-config", path(authority + ".cnf"), "-in", path(name + ".csr"),
            "-out", cert(name)};
        if (daysValid < 0)
            sign << "-startdate" << stamp(daysValid * 2) << "-enddate" << stamp(daysValid);
        else
            sign << "-days" << QString::number(daysValid);
        return newKey(name) && run(request) && run(sign);
    }

    // Revokes `name` and lists it in the authority's revocation list (crl()).
    bool revoke(const QString& name, const QString& authority) {
        return run({"ca", "-config", path(authority + ".cnf"), "-revoke", cert(name)}) &&
               run({"ca", "-config", path(authority + ".cnf"), "-gencrl", "-out", crl(authority)});
    }

private:
    QString path(const QString& name) const { return folder_ + "/" + name; }

    bool newKey(const QString& name) {
        return run({"genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256", "-out",
                    key(name)}) &&
               QFile::setPermissions(key(name), QFile::ReadOwner | QFile::WriteOwner);
    }

    static QString stamp(int days) {
        return QDateTime::currentDateTimeUtc().addDays(days).toString("yyyyMMddHHmmss'Z'");
    }
    static void writeText(const QString& file, const QString& text) {
        QFile out(file);
        if (out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            out.write(text.toUtf8());
    }

    bool run(const QStringList& arguments) {
        QProcess openssl;
        openssl.setProcessChannelMode(QProcess::MergedChannels);
        openssl.start("openssl", arguments);
        if (!openssl.waitForFinished(30000) || openssl.exitStatus() != QProcess::NormalExit ||
            openssl.exitCode() != 0) {
            error_ = "openssl " + arguments.join(' ') + ": " + openssl.readAll();
            return false;
        }
        return true;
    }

    QString folder_;
    QString error_;
};

} // namespace dialvane::test
