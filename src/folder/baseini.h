#pragma once

#include "data/serveurpostgresql.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

// The server named by the folder's BASE.INI (found without regard to case);
// none when the folder has no such file or the file no [postgresql] section.
// Windows-1252 or UTF-8, CR LF or LF, comments after ';' or '#' at the start
// of a line. A file that is not a small regular file (DataFile), or whose
// section names a password, both a service and a connection string, or
// neither, throws AppError with a French description.
std::optional<ServeurPostgresql> lisBaseIni(const QString &dossierBase);

class BaseServeur;

// The server of the data folder for the program's cursors: null when the
// folder keeps its databases in files; when its BASE.INI cannot be read, a
// server whose every use reports why (never the files the folder left).
std::shared_ptr<BaseServeur> serveurDuDossier(const QString &dossierBase);

// The same from the file's text; `chemin` names the file in messages.
std::optional<ServeurPostgresql> serveurDeBaseIni(const QString &texte, const QString &chemin);

// The whole file that names the server, CR LF line ends.
QByteArray texteBaseIni(const ServeurPostgresql &serveur);
