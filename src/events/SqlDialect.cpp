#include "SqlDialect.h"

TSqlDialect TSqlDialect::Sqlite() {
    TSqlDialect d;
    d.Driver = QStringLiteral("QSQLITE");
    // A second program on the file gets a second to finish its write.
    d.ConnectOptions = QStringLiteral("QSQLITE_BUSY_TIMEOUT=1000");
    d.SessionStatements = {QStringLiteral("PRAGMA journal_mode=WAL"),
                           QStringLiteral("PRAGMA synchronous=FULL"),
                           QStringLiteral("PRAGMA foreign_keys=ON")};
    // The writer folds the journal into the file when it has nothing to do, so a
    // commit seldom has to, and the journal is written over from its start
    // instead of growing (a growing file costs each sync more).
    d.Checkpoint = QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)");
    return d;
}

TSqlDialect TSqlDialect::Postgres() {
    TSqlDialect d;
    d.Driver = QStringLiteral("QPSQL");
    // A held lock or a statement that does not end must not hold the station's
    // link for long: it is tried again.
    d.SessionStatements = {QStringLiteral("SET lock_timeout = 3000"),
                           QStringLiteral("SET statement_timeout = 10000")};
    return d;
}

TSqlDialect::TErrorKind TSqlDialect::Classify(const QSqlError& error) const {
    const QString code = error.nativeErrorCode();
    if (Driver == QLatin1String("QSQLITE")) {
        // Primary result codes of SQLite.
        const int c = code.toInt() & 0xff;
        switch (c) {
        case 5: // BUSY
        case 6: // LOCKED
            return TErrorKind::Locked;
        case 8: // READONLY
        case 23: // AUTH
            return TErrorKind::ReadOnly;
        case 11: // CORRUPT
        case 26: // NOTADB
            return TErrorKind::Damaged;
        case 13: // FULL
            return TErrorKind::DiskFull;
        default:
            return TErrorKind::Other;
        }
    }
    // SQLSTATE classes of PostgreSQL.
    if (code.startsWith(QLatin1String("55P03")) || code.startsWith(QLatin1String("40")) ||
        code == QLatin1String("57014")) // a lock or the statement's time ran out
        return TErrorKind::Locked;
    if (code == QLatin1String("25006") || code.startsWith(QLatin1String("42501")))
        return TErrorKind::ReadOnly;
    if (code.startsWith(QLatin1String("53"))) return TErrorKind::DiskFull;
    if (code.startsWith(QLatin1String("XX"))) return TErrorKind::Damaged;
    return TErrorKind::Other;
}
