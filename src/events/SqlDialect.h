#pragma once
// What differs between the database drivers the event database runs on. The
// schema itself uses only types and statements both understand (VARCHAR,
// INTEGER, BIGINT, INSERT ... ON CONFLICT DO NOTHING).
#include <QSqlError>
#include <QString>
#include <QStringList>

struct TSqlDialect {
    QString Driver;                // Qt SQL driver name
    QString ConnectOptions;        // for QSqlDatabase::setConnectOptions
    QStringList SessionStatements; // run once after opening for writing
    QString Checkpoint;            // folds the write-ahead journal into the file; empty: none

    enum class TErrorKind { Other, Locked, ReadOnly, Damaged, DiskFull };
    TErrorKind Classify(const QSqlError& error) const;

    static TSqlDialect Sqlite();
    static TSqlDialect Postgres();
};
