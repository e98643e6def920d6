#pragma once

#include <QString>

// The PostgreSQL server a data folder's databases live on, as its BASE.INI
// names it: a libpq service name or a connection string (key=value or a
// postgresql:// URI), exactly one of them. Never a password: libpq's
// password file, peer or certificate authentication provide it.
struct ServeurPostgresql
{
    QString service;
    QString conninfo;
};
