#pragma once
// A throw-away PostgreSQL cluster for tests: initdb in a temporary folder, the
// server listening only on a unix socket in that folder, started and stopped by
// the test. The server refuses to run as root, so as root it runs as "nobody".
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <unistd.h>

class TPgCluster {
public:
    // The folder of initdb and pg_ctl; empty when the server is not installed.
    static QString BinDir() {
        QDir lib(QStringLiteral("/usr/lib/postgresql"));
        QStringList versions = lib.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        std::sort(versions.begin(), versions.end(),
                  [](const QString& a, const QString& b) { return a.toInt() > b.toInt(); });
        for (const QString& v : versions) {
            const QString bin = lib.absoluteFilePath(v + QStringLiteral("/bin"));
            if (QFile::exists(bin + QStringLiteral("/initdb")) && QFile::exists(bin + QStringLiteral("/pg_ctl")))
                return bin;
        }
        const QString initdb = QStandardPaths::findExecutable(QStringLiteral("initdb"));
        return initdb.isEmpty() ? QString() : QFileInfo(initdb).absolutePath();
    }

    TPgCluster() : FDir(QDir::tempPath() + QStringLiteral("/zn-pg-XXXXXX")) {}
    ~TPgCluster() { Stop(); }

    QString Error() const { return FError; }
    QString Folder() const { return FDir.path(); }

    bool Init() {
        FBin = BinDir();
        if (FBin.isEmpty()) return Fail(QStringLiteral("PostgreSQL server programs not installed"));
        if (!FDir.isValid()) return Fail(QStringLiteral("no temporary folder"));
        if (geteuid() == 0 && !Run(QStringLiteral("chown"), {QStringLiteral("nobody"), FDir.path()}, false))
            return false;
        if (!Run(FBin + QStringLiteral("/initdb"),
                 {QStringLiteral("-D"), Data(), QStringLiteral("-U"), QStringLiteral("zeitnahme"),
                  QStringLiteral("-A"), QStringLiteral("trust"), QStringLiteral("-E"), QStringLiteral("UTF8"),
                  QStringLiteral("--locale=C"), QStringLiteral("--no-sync")}))
            return false;
        QFile conf(Data() + QStringLiteral("/postgresql.conf"));
        if (!conf.open(QIODevice::Append)) return Fail(QStringLiteral("postgresql.conf not writable"));
        conf.write(QStringLiteral("listen_addresses = ''\nunix_socket_directories = '%1'\nport = 5432\n"
                                  "fsync = off\nsynchronous_commit = off\nmax_connections = 40\n"
                                  "shared_buffers = 16MB\n")
                       .arg(FDir.path())
                       .toUtf8());
        return true;
    }

    bool Start() {
        return Run(FBin + QStringLiteral("/pg_ctl"),
                   {QStringLiteral("-D"), Data(), QStringLiteral("-l"), FDir.path() + QStringLiteral("/log"),
                    QStringLiteral("-w"), QStringLiteral("-t"), QStringLiteral("30"), QStringLiteral("start")});
    }

    // Fast shutdown: connected clients are cut off as on a crash of the network.
    bool Stop() {
        if (FBin.isEmpty() || !QFile::exists(Data() + QStringLiteral("/postmaster.pid"))) return true;
        return Run(FBin + QStringLiteral("/pg_ctl"),
                   {QStringLiteral("-D"), Data(), QStringLiteral("-m"), QStringLiteral("fast"),
                    QStringLiteral("-w"), QStringLiteral("stop")});
    }

    QString ConnInfo(const QString& db = QStringLiteral("postgres")) const {
        return QStringLiteral("host=%1 port=5432 user=zeitnahme dbname=%2 connect_timeout=3")
            .arg(FDir.path(), db);
    }

    // A fresh database of that name.
    bool CreateDatabase(const QString& name) {
        return Run(FBin + QStringLiteral("/createdb"),
                   {QStringLiteral("-h"), FDir.path(), QStringLiteral("-p"), QStringLiteral("5432"),
                    QStringLiteral("-U"), QStringLiteral("zeitnahme"), name});
    }

    // Runs SQL through psql; its output.
    QString Sql(const QString& db, const QString& sql) {
        FOutput.clear();
        Run(FBin + QStringLiteral("/psql"),
            {QStringLiteral("-h"), FDir.path(), QStringLiteral("-p"), QStringLiteral("5432"),
             QStringLiteral("-U"), QStringLiteral("zeitnahme"), QStringLiteral("-d"), db,
             QStringLiteral("-At"), QStringLiteral("-c"), sql});
        return FOutput.trimmed();
    }

    // Runs SQL through psql without waiting (a session that holds a lock, say).
    void StartSql(QProcess& p, const QString& db, const QString& sql) {
        const QStringList args{QStringLiteral("-h"), FDir.path(), QStringLiteral("-p"), QStringLiteral("5432"),
                               QStringLiteral("-U"), QStringLiteral("zeitnahme"), QStringLiteral("-d"), db,
                               QStringLiteral("-At"), QStringLiteral("-c"), sql};
        p.setWorkingDirectory(FDir.path());
        if (geteuid() == 0)
            p.start(QStringLiteral("runuser"), QStringList{QStringLiteral("-u"), QStringLiteral("nobody"),
                                                           QStringLiteral("--"), FBin + QStringLiteral("/psql")} + args);
        else
            p.start(FBin + QStringLiteral("/psql"), args);
    }

private:
    QString Data() const { return FDir.path() + QStringLiteral("/data"); }

    bool Fail(const QString& text) {
        FError = text;
        return false;
    }

    bool Run(const QString& program, const QStringList& args, bool asOwner = true) {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.setWorkingDirectory(FDir.path());
        if (asOwner && geteuid() == 0)
            p.start(QStringLiteral("runuser"),
                    QStringList{QStringLiteral("-u"), QStringLiteral("nobody"), QStringLiteral("--"), program} + args);
        else
            p.start(program, args);
        if (!p.waitForFinished(60000)) {
            p.kill();
            p.waitForFinished(2000);
            return Fail(program + QStringLiteral(" did not finish"));
        }
        FOutput = QString::fromLocal8Bit(p.readAll());
        if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
            return Fail(program + QStringLiteral(": ") + FOutput);
        return true;
    }

    QTemporaryDir FDir;
    QString FBin, FError, FOutput;
};
